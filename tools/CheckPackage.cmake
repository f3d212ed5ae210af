# Builds the .deb with CPack into WORK and checks it with dpkg-deb: the files
# it installs, the dependencies dpkg-shlibdeps found, the desktop entry (with
# desktop-file-validate), the MIME entry (with update-mime-database), the
# AppStream metainfo (appstreamcli) and its screenshots, the manual page (it
# renders cleanly and names every command --help names), the bash completion
# (it offers those commands), lintian's verdict, and that the packaged program
# runs and finds the packaged demo's clips.
#   cmake -DBUILD_DIR=build -DWORK=dir -DVERSION=x.y -DSOURCE_DIR=src [-DDESKTOP_FILE_VALIDATE=prog]
#         [-DLINTIAN=prog] [-DAPPSTREAMCLI=prog] [-DHARDENED=ON] -P CheckPackage.cmake
cmake_minimum_required(VERSION 3.25)

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
# Libraries the program links (found by dpkg-shlibdeps) and what it loads at
# run time, added by hand.
foreach(dependency libc6 libstdc\\+\\+6 libqt6widgets6 libqt6gui6 libqt6core6 libportaudio2 libavformat59
                   libavcodec59 libswresample4 libavutil57 libxcb1 libxcb-keysyms1 qt6-qpa-plugins
                   qt6-translations-l10n)
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
             ./usr/share/vomrella/demo/Hangok/dallam.wav ./usr/share/doc/vomrella/README.md
             ./usr/share/doc/vomrella/copyright ./usr/share/doc/vomrella/changelog.gz
             ./usr/share/man/man1/vomrella.1.gz ./usr/share/metainfo/hu.vomrella.vomrella.metainfo.xml
             ./usr/share/bash-completion/completions/vomrella)
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

# The commands the packaged program's help lists: the manual page and the
# completion must know each of them.
run(${root}/usr/bin/vomrella --help)
string(REGEX MATCHALL "\n  vomrella --[a-z-]+" entries "${out}")
list(TRANSFORM entries REPLACE "^\n  vomrella " "")
list(LENGTH entries count)
if(count LESS 10)
  message(FATAL_ERROR "vomrella --help lists only ${count} commands:\n${out}")
endif()

# The manual page: groff renders it without a warning, and it holds every command.
find_program(MAN man)
if(MAN)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANWIDTH=80
                          ${MAN} --warnings -E UTF-8 -l ${root}/usr/share/man/man1/vomrella.1.gz
                  RESULT_VARIABLE status OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "man vomrella: status ${status}\n${warnings}")
  endif()
  foreach(command IN LISTS entries)
    if(NOT page MATCHES "vomrella ${command}")
      message(FATAL_ERROR "the manual page lacks ${command}:\n${page}")
    endif()
  endforeach()
endif()

# Bash completion: "vomrella --<Tab>" offers every command, "--remote <Tab>" the actions.
set(bash_completion /usr/share/bash-completion/bash_completion)
if(EXISTS ${bash_completion})
  set(complete_script "source ${bash_completion}; source ${root}/usr/share/bash-completion/completions/vomrella
complete_words() { COMP_WORDS=(\"$@\"); COMP_CWORD=$((\${#COMP_WORDS[@]} - 1)); COMP_LINE=\"$*\";
  COMP_POINT=\${#COMP_LINE}; COMPREPLY=(); _vomrella; echo \"\${COMPREPLY[*]}\"; }
complete_words vomrella --; complete_words vomrella --remote ''")
  # Not through run(): the script's semicolons would split it into arguments.
  execute_process(COMMAND bash -c "${complete_script}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "bash completion: status ${status}\n${out}\n${err}")
  endif()
  string(REPLACE "\n" ";" offered "${out}")
  list(GET offered 0 commands_offered)
  list(GET offered 1 actions_offered)
  foreach(command IN LISTS entries)
    if(NOT " ${commands_offered} " MATCHES " ${command} ")
      message(FATAL_ERROR "completion of 'vomrella --' lacks ${command}: ${commands_offered}")
    endif()
  endforeach()
  if(NOT actions_offered STREQUAL "play pause next prev stop status")
    message(FATAL_ERROR "completion of 'vomrella --remote' offers: ${actions_offered}")
  endif()
endif()

# AppStream: the metainfo validates, and its screenshots are the project's
# docs/screenshots at their real sizes.
set(metainfo ${root}/usr/share/metainfo/hu.vomrella.vomrella.metainfo.xml)
if(APPSTREAMCLI)
  run(${APPSTREAMCLI} validate --no-net ${metainfo})
endif()
file(READ ${metainfo} metainfo_text)
string(REGEX MATCHALL "<image type=\"source\" width=\"[0-9]+\" height=\"[0-9]+\">[^<]*/[^</]+</image>" images
       "${metainfo_text}")
list(LENGTH images count)
if(count LESS 3)
  message(FATAL_ERROR "the metainfo names ${count} screenshots:\n${metainfo_text}")
endif()
foreach(image IN LISTS images)
  string(REGEX MATCH "width=\"([0-9]+)\" height=\"([0-9]+)\">.*/([^/]+)</image>" _ "${image}")
  set(width ${CMAKE_MATCH_1})
  set(height ${CMAKE_MATCH_2})
  set(png ${SOURCE_DIR}/docs/screenshots/${CMAKE_MATCH_3})
  if(NOT EXISTS ${png})
    message(FATAL_ERROR "the metainfo's screenshot ${CMAKE_MATCH_3} is not in docs/screenshots")
  endif()
  # PNG: the IHDR chunk's width and height, big-endian, from byte 16.
  file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${header}" 0 8 png_width)
  string(SUBSTRING "${header}" 8 8 png_height)
  math(EXPR png_width "0x${png_width}")
  math(EXPR png_height "0x${png_height}")
  if(NOT width EQUAL png_width OR NOT height EQUAL png_height)
    message(FATAL_ERROR "${png} is ${png_width}x${png_height}, the metainfo says ${width}x${height}")
  endif()
endforeach()

# lintian: no error and no warning; in a hardened build not even an
# informational hardening tag.
if(LINTIAN)
  execute_process(COMMAND ${LINTIAN} --display-info --fail-on none --tag-display-limit 0 ${debs}
                  RESULT_VARIABLE status OUTPUT_VARIABLE tags ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lintian: status ${status}\n${tags}\n${err}")
  endif()
  set(refused "^[EW]: ")
  if(HARDENED)
    set(refused "^[EW]: |hardening-")
  endif()
  string(REPLACE "\n" ";" tag_lines "${tags}")
  foreach(line IN LISTS tag_lines)
    if(line MATCHES "${refused}")
      message(FATAL_ERROR "lintian:\n${tags}")
    endif()
  endforeach()
  message(STATUS "lintian:\n${tags}")
endif()

# Every dependency can be met from the configured archives (apt reads the
# .deb but installs nothing).
find_program(APT_GET apt-get)
if(APT_GET)
  run(${APT_GET} install --simulate --no-install-recommends ${debs})
endif()
file(REMOVE_RECURSE ${root})
message(STATUS "${debs}: ${fields}")
