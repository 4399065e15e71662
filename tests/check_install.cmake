# Installs the build into a scratch root and checks that a desktop finds the program there.
file(REMOVE_RECURSE ${DEST})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DEST} ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/skorvatin share/applications/skorvatin.desktop share/metainfo/io.github.skorvatin.metainfo.xml
          share/icons/hicolor/scalable/apps/skorvatin.svg)
  if(NOT EXISTS ${DEST}/usr/${f})
    message(FATAL_ERROR "not installed: /usr/${f}")
  endif()
endforeach()
# A desktop takes an icon's size from its folder: the picture inside (the PNG header's width and
# height, as hex) must be that size.
foreach(pair "16;0000001000000010" "32;0000002000000020" "48;0000003000000030" "64;0000004000000040"
             "128;0000008000000080" "256;0000010000000100")
  list(GET pair 0 size)
  list(GET pair 1 expected)
  set(f ${DEST}/usr/share/icons/hicolor/${size}x${size}/apps/skorvatin.png)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "not installed: the icon of ${size} pixels")
  endif()
  file(READ ${f} header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 32 16 dimensions)
  if(NOT dimensions STREQUAL expected)
    message(FATAL_ERROR "the ${size}x${size} icon is not ${size} by ${size} pixels (header ${dimensions})")
  endif()
endforeach()
file(REMOVE_RECURSE ${DEST})
