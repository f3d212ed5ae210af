# Installing like a desktop program, and the Debian package.
#
# cmake --install puts the program, its desktop entry, icons (SVG and PNG
# sizes in the hicolor theme), the shared-mime-info entry for *.vrs scripts
# and the demo (script and generated clips) under the prefix. CPack builds a
# .deb whose dependencies come from dpkg-shlibdeps; Debian's own triggers
# refresh the desktop, MIME and icon caches when the package is installed.

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
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vomrella)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vomrella)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vomrella")
set(CPACK_PACKAGE_CONTACT "Vomrella maintainers <vomrella@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "public-address announcement simulator (Hungarian)")
set(CPACK_PACKAGE_DESCRIPTION
    "Vomrella builds named compositions of recorded clips with pauses, test-plays them as one\n"
    "continuous announcement and runs them live with system-wide hotkeys. Its window and\n"
    "command line speak Hungarian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's X11 platform
# plugin (the window opens nowhere without it).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
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
  add_test(NAME Package.DebHoldsTheProgramItsDesktopFilesAndTheDemo
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DWORK=${CMAKE_BINARY_DIR}/package-check
                   -DVERSION=${PROJECT_VERSION} -DDESKTOP_FILE_VALIDATE=${DESKTOP_FILE_VALIDATE}
                   -P ${PROJECT_SOURCE_DIR}/tools/CheckPackage.cmake)
  set_tests_properties(Package.DebHoldsTheProgramItsDesktopFilesAndTheDemo PROPERTIES LABELS "package" TIMEOUT 300
                       RUN_SERIAL ON)
endif()
