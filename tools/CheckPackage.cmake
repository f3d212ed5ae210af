# Builds the .deb with CPack into WORK and checks it with dpkg-deb: the files
# it installs, the dependencies dpkg-shlibdeps found, the desktop entry (with
# desktop-file-validate), the MIME entry (with update-mime-database), and
# that the packaged program runs and finds the packaged demo's clips.
#   cmake -DBUILD_DIR=build -DWORK=dir -DVERSION=x.y [-DDESKTOP_FILE_VALIDATE=prog] -P CheckPackage.cmake
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(JOIN " " command ${ARGN})
    message(FATAL_ERROR "${command}: status ${status}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND cpack -G DEB -B ${WORK} WORKING_DIRECTORY ${BUILD_DIR}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed (${status}):\n${out}\n${err}")
endif()
file(GLOB debs ${WORK}/vomrella_${VERSION}_*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one vomrella_${VERSION}_*.deb in ${WORK}, found: ${debs}")
endif()

run(dpkg-deb -f ${debs} Package Version Depends)
set(fields "${out}")
foreach(expected "Package: vomrella\n" "Version: ${VERSION}\n")
  string(FIND "${fields}" "${expected}" at)
  if(at LESS 0)
    message(FATAL_ERROR "control fields lack '${expected}':\n${fields}")
  endif()
endforeach()
# Libraries the program links (found by dpkg-shlibdeps) and the plugin added by hand.
foreach(dependency libc6 libstdc\\+\\+6 libqt6widgets6 libqt6gui6 libqt6core6 libportaudio2 libavformat59
                   libavcodec59 libswresample4 libavutil57 libxcb1 libxcb-keysyms1 qt6-qpa-plugins)
  if(NOT fields MATCHES "Depends:.*[ ,]${dependency}( |,|\n)")
    message(FATAL_ERROR "Depends lacks ${dependency}:\n${fields}")
  endif()
endforeach()

run(dpkg-deb -c ${debs})
set(listing "${out}")
foreach(file ./usr/bin/vomrella ./usr/share/applications/vomrella.desktop ./usr/share/mime/packages/vomrella.xml
             ./usr/share/icons/hicolor/scalable/apps/vomrella.svg ./usr/share/icons/hicolor/16x16/apps/vomrella.png
             ./usr/share/icons/hicolor/48x48/apps/vomrella.png ./usr/share/icons/hicolor/256x256/apps/vomrella.png
             ./usr/share/vomrella/demo/demo.vrs ./usr/share/vomrella/demo/Hangok/vonat.mp3
             ./usr/share/vomrella/demo/Hangok/dallam.wav ./usr/share/doc/vomrella/README.md)
  string(FIND "${listing}" " ${file}\n" at)
  if(at LESS 0)
    message(FATAL_ERROR "the package lacks ${file}:\n${listing}")
  endif()
endforeach()

set(root ${WORK}/root)
run(dpkg-deb -x ${debs} ${root})
if(DESKTOP_FILE_VALIDATE)
  run(${DESKTOP_FILE_VALIDATE} ${root}/usr/share/applications/vomrella.desktop)
endif()
find_program(UPDATE_MIME update-mime-database)
if(UPDATE_MIME)
  file(COPY ${root}/usr/share/mime/packages/vomrella.xml DESTINATION ${WORK}/mime/packages)
  run(${UPDATE_MIME} ${WORK}/mime)
  file(READ ${WORK}/mime/globs2 globs)
  string(FIND "${globs}" ":application/x-vomrella-script:*.vrs" at)
  if(at LESS 0)
    message(FATAL_ERROR "update-mime-database does not map *.vrs:\n${globs}")
  endif()
endif()

run(${root}/usr/bin/vomrella --version)
if(NOT out STREQUAL "vomrella ${VERSION}\n")
  message(FATAL_ERROR "the packaged program says '${out}'")
endif()
execute_process(COMMAND ${root}/usr/bin/vomrella --check demo.vrs WORKING_DIRECTORY ${root}/usr/share/vomrella/demo
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "--check of the packaged demo: status ${status}\n${out}\n${err}")
endif()

# Every dependency can be met from the configured archives (apt reads the
# .deb but installs nothing).
find_program(APT_GET apt-get)
if(APT_GET)
  run(${APT_GET} install --simulate --no-install-recommends ${debs})
endif()
file(REMOVE_RECURSE ${root})
message(STATUS "${debs}: ${fields}")
