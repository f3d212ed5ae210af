# Debian's compiler and linker flags, as dpkg-buildflags gives them with every
# hardening feature on (stack protector, _FORTIFY_SOURCE, format checks,
# read-only relocations, immediate binding), so that the program the .deb
# carries is built the way Debian builds its own packages.
#
# Used for builds that may be packaged: not under sanitizers or fuzzing (they
# bring their own instrumentation, and _FORTIFY_SOURCE hides calls from
# AddressSanitizer) and not in Debug (_FORTIFY_SOURCE needs the optimiser).
# The build type keeps choosing optimisation and debug information, and
# source paths stay as they are, so debuggers find the sources.
#
# Sets VOMRELLA_HARDENED to ON when the flags are in use.

option(VOMRELLA_DPKG_BUILDFLAGS "Build with the flags dpkg-buildflags gives (hardening)" ON)
set(VOMRELLA_HARDENED OFF)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT VOMRELLA_DPKG_BUILDFLAGS OR NOT DPKG_BUILDFLAGS OR VOMRELLA_SANITIZE OR VOMRELLA_FUZZ
   OR CMAKE_BUILD_TYPE STREQUAL "Debug")
  return()
endif()

# The caller's own DEB_BUILD_MAINT_OPTIONS wins, as with debhelper.
if(NOT DEFINED ENV{DEB_BUILD_MAINT_OPTIONS})
  set(ENV{DEB_BUILD_MAINT_OPTIONS} "hardening=+all")
endif()

function(vomrella_dpkg_buildflags kind out)
  execute_process(COMMAND ${DPKG_BUILDFLAGS} --get ${kind} OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (${status})")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^(-O.*|-g.*|-f(file|debug|macro)-prefix-map=.*)$")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

vomrella_dpkg_buildflags(CPPFLAGS cppflags)
vomrella_dpkg_buildflags(CFLAGS cflags)
vomrella_dpkg_buildflags(CXXFLAGS cxxflags)
vomrella_dpkg_buildflags(LDFLAGS ldflags)
add_compile_options(${cppflags})
foreach(flag IN LISTS cflags)
  add_compile_options($<$<COMPILE_LANGUAGE:C>:${flag}>)
endforeach()
foreach(flag IN LISTS cxxflags)
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:${flag}>)
endforeach()
add_link_options(${ldflags})
set(VOMRELLA_HARDENED ON)
message(STATUS "dpkg-buildflags: ${cppflags} ${cxxflags} ${ldflags}")
