# Installs the build into a scratch root and checks that a desktop finds the program there.
file(REMOVE_RECURSE ${DEST})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DEST} ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/skorvatin share/applications/skorvatin.desktop share/metainfo/io.github.skorvatin.metainfo.xml
          share/icons/hicolor/16x16/apps/skorvatin.png share/icons/hicolor/32x32/apps/skorvatin.png)
  if(NOT EXISTS ${DEST}/usr/${f})
    message(FATAL_ERROR "not installed: /usr/${f}")
  endif()
endforeach()
file(REMOVE_RECURSE ${DEST})
