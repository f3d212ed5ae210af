# Installing like a desktop program, and the Debian package.
#
# cmake --install puts the program, its desktop entry, icons (SVG and PNG
# sizes in the hicolor theme), the shared-mime-info entry for *.vrs scripts,
# the AppStream metainfo, bash completion, the manual page and the demo
# (script and generated clips) under the prefix. CPack builds a .deb whose
# dependencies come from dpkg-shlibdeps, with Debian's copyright file and
# changelog; Debian's own triggers refresh the desktop, MIME and icon caches
# when the package is installed.

include(GNUInstallDirs)

set(VOMRELLA_DATA ${PROJECT_SOURCE_DIR}/data)
install(TARGETS vomrella RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VOMRELLA_DATA}/desktop/vomrella.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VOMRELLA_DATA}/desktop/vomrella-script.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME vomrella.xml)
install(FILES ${VOMRELLA_DATA}/icons/vomrella.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${VOMRELLA_DATA}/icons/hicolor/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
# The demo, to copy and try: "cd demo-copy && vomrella demo.vrs".
install(FILES ${VOMRELLA_DATA}/demo/demo.vrs DESTINATION ${CMAKE_INSTALL_DATADIR}/vomrella/demo)
install(DIRECTORY ${VOMRELLA_DATA}/demo/Hangok DESTINATION ${CMAKE_INSTALL_DATADIR}/vomrella/demo
        FILES_MATCHING PATTERN "*.wav" PATTERN "*.mp3")
install(FILES ${VOMRELLA_DATA}/metainfo/hu.vomrella.vomrella.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VOMRELLA_DATA}/completion/vomrella DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${VOMRELLA_DATA}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vomrella)

# The package's version is the latest entry of its changelog.
file(STRINGS ${VOMRELLA_DATA}/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^vomrella \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "data/debian/changelog starts with '${changelog_head}', not version ${PROJECT_VERSION}")
endif()

# The manual page is made from the built program's --help (tools/HelpToMan.cmake),
# so it says what the program says. Both it and the changelog are compressed
# as Debian wants them: gzip -9, without a time stamp. Not for sanitizer or
# fuzzing builds, which nobody packages and whose program should not run
# during the build.
if(NOT VOMRELLA_SANITIZE AND NOT VOMRELLA_FUZZ)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(man_page ${CMAKE_BINARY_DIR}/vomrella.1)
  add_custom_command(
    OUTPUT ${man_page}.gz
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:vomrella> -DVERSION=${PROJECT_VERSION} -DOUTPUT=${man_page}
            -P ${PROJECT_SOURCE_DIR}/tools/HelpToMan.cmake
    COMMAND ${GZIP_PROGRAM} -9nf ${man_page}
    DEPENDS vomrella ${PROJECT_SOURCE_DIR}/tools/HelpToMan.cmake
    COMMENT "Making the manual page from vomrella --help"
    VERBATIM)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9nc ${VOMRELLA_DATA}/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${VOMRELLA_DATA}/debian/changelog
    VERBATIM)
  add_custom_target(package_documents ALL DEPENDS ${man_page}.gz ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # A native package: the project packages itself, so its one changelog is
  # the Debian changelog, installed as changelog.gz.
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vomrella)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vomrella)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vomrella")
# The project's packaging address (also in data/debian and data/metainfo).
set(VOMRELLA_MAINTAINER "Vomrella maintainers <maintainers@vomrella.hu>" CACHE STRING "Maintainer field of the .deb")
set(CPACK_PACKAGE_CONTACT "${VOMRELLA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "public-address announcement simulator (Hungarian)")
# One string: separate arguments would make a CMake list, whose ";" would
# start every continuation line of the control file's Description.
set(CPACK_PACKAGE_DESCRIPTION "\
Vomrella builds named compositions of recorded clips with pauses,
test-plays them as one continuous announcement and runs them live with
system-wide hotkeys. Its window and command line speak Hungarian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's X11 platform
# plugin (the window opens nowhere without it) and Qt's Hungarian catalogue
# (Qt's own buttons and dialogs in Hungarian).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
# The window asks for Arial and MS Sans Serif; Liberation stands in for them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
include(CPack)

# The desktop entry as desktop-file-validate sees it, and the .deb as built:
# its files, its dependency list, and the program and demo it installs.
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  add_test(NAME Desktop.EntryIsValid COMMAND ${DESKTOP_FILE_VALIDATE} ${VOMRELLA_DATA}/desktop/vomrella.desktop)
  set_tests_properties(Desktop.EntryIsValid PROPERTIES LABELS "package")
endif()
# Not under sanitizers: such a build is not what anyone would package.
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS AND NOT VOMRELLA_SANITIZE)
  find_program(LINTIAN lintian)
  find_program(APPSTREAMCLI appstreamcli)
  add_test(NAME Package.DebHoldsTheProgramItsDesktopFilesAndTheDemo
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DWORK=${CMAKE_BINARY_DIR}/package-check
                   -DVERSION=${PROJECT_VERSION} -DDESKTOP_FILE_VALIDATE=${DESKTOP_FILE_VALIDATE}
                   -DLINTIAN=${LINTIAN} -DAPPSTREAMCLI=${APPSTREAMCLI} -DHARDENED=${VOMRELLA_HARDENED}
                   -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                   -P ${PROJECT_SOURCE_DIR}/tools/CheckPackage.cmake)
  set_tests_properties(Package.DebHoldsTheProgramItsDesktopFilesAndTheDemo PROPERTIES LABELS "package" TIMEOUT 300
                       RUN_SERIAL ON)
endif()
