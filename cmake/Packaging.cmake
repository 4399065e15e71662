# The Debian package: the program and its help page together in /usr/lib/skorvatin, a link in
# /usr/bin, the desktop integration in /usr/share. `make deb` builds it with the `package` preset.

set(SKORVATIN_MAINTAINER "Skorvatin maintainers <maintainers@skorvatin.org>")
set(SKORVATIN_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/skorvatin)

# Debian wants its changelog and the manual page compressed, without timestamps (gzip -n).
find_program(GZIP_EXECUTABLE gzip REQUIRED)
foreach(pair "packaging/changelog;changelog.gz" "packaging/skorvatin.1;skorvatin.1.gz")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${target}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
                     COMMAND ${GZIP_EXECUTABLE} -9n -c ${PROJECT_SOURCE_DIR}/${source} > ${PROJECT_BINARY_DIR}/packaging/${target}
                     DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND SKORVATIN_PACKAGING_FILES ${PROJECT_BINARY_DIR}/packaging/${target})
endforeach()
add_custom_target(skorvatin_packaging_files ALL DEPENDS ${SKORVATIN_PACKAGING_FILES})

install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${SKORVATIN_DOC_DIR})
install(FILES ${PROJECT_BINARY_DIR}/packaging/skorvatin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME skorvatin)

# /usr/bin/skorvatin is a relative link, so the program still finds its own folder through it.
install(CODE "
  set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bindir}\")
  file(CREATE_LINK ../${SKORVATIN_PROGRAM_DIR}/skorvatin \"\${bindir}/skorvatin\" SYMBOLIC)
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skorvatin)
set(CPACK_PACKAGE_VENDOR "Skorvatin")
set(CPACK_PACKAGE_VERSION ${SKORVATIN_DISPLAY_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SKORVATIN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are sized for Liberation Sans; "Expolator" and "Pomoc" hand the folder and
# the help page to xdg-open. shlibdeps adds the libraries after them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, xdg-utils")
# Qt's own strings (the text boxes' menus) in Polish, and the window on a Wayland desktop without
# going through XWayland; the program works without either.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, qt6-wayland")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch file renamer for one folder (Polish interface)")
# CPack puts the summary first and indents these lines itself; a blank line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
    "Skorvatin renames, in one batch, every file of a folder that matches a
file mask: it numbers them (prefix, running number with optional leading
zeros, text after the number, the old extension), changes the letter case
of their names, or replaces spaces, underscores and Polish letters.
It never replaces an existing file, and a numbering run either renames
every file or gives every file its old name back.

Skorvatin zmienia w jednym przebiegu nazwy wszystkich plików folderu
pasujących do maski: numeruje je, zmienia wielkość liter albo zamienia
spacje, podkreślenia i polskie litery. Nigdy nie zastępuje istniejącego
pliku.")
include(CPack)
