# Helpers shared by every folder's CMakeLists.txt.
#
# Layering: each folder of src/ is one library that declares the libraries it
# uses (DEPENDS). Headers are included as "folder/File.h", but no target sees
# src/ as a whole: each one gets an include root of its own in the build tree
# that holds links to the headers of its own folder and of the libraries it
# declares (and theirs, transitively). A header of an undeclared library, an
# upper layer's above all, is simply not found, and a source that reaches
# around the roots with "../" stops the configuration.

# The vomrella libraries `out` reaches from the targets given: each one, then
# its declared dependencies, transitively. Other targets (Qt, FFmpeg, ...)
# are left out.
function(vomrella_dependency_closure out)
  set(result "")
  set(queue ${ARGN})
  while(queue)
    list(POP_FRONT queue lib)
    if(NOT TARGET ${lib} OR lib IN_LIST result)
      continue()
    endif()
    get_target_property(folder ${lib} VOMRELLA_FOLDER)
    if(NOT folder)
      continue()
    endif()
    list(APPEND result ${lib})
    get_target_property(deps ${lib} VOMRELLA_DEPENDS)
    if(deps)
      list(APPEND queue ${deps})
    endif()
  endwhile()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# vomrella_include_root(TARGET LIBS...): TARGET includes the headers of LIBS
# (vomrella libraries, with their dependencies) and nothing else of src/.
# One link per header, not per folder, so that a folder's sub-folder (a
# library of its own) stays out of sight.
function(vomrella_include_root target)
  vomrella_dependency_closure(libs ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  # Made afresh at each configuration, so a dropped dependency or a renamed
  # header leaves no link behind (the links themselves are removed, never
  # what they point at).
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(lib IN LISTS libs)
    get_target_property(folder ${lib} VOMRELLA_FOLDER)
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header IN LISTS headers)
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} PRIVATE ${root})
endfunction()

# Stops the configuration when a source includes a header by a relative path
# that leaves its folder ("../ui/TFrm_Main.h"): that would get round the
# include roots.
function(vomrella_check_includes)
  foreach(source IN LISTS ARGN)
    file(STRINGS ${source} escapes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\./")
    if(escapes)
      message(FATAL_ERROR "${source}: include headers as \"folder/File.h\", not by a relative path: ${escapes}")
    endif()
  endforeach()
endfunction()

# vomrella_library(NAME FOLDER folder [DEPENDS vomrella libs...]
#                  [PUBLIC_LIBS ...] [PRIVATE_LIBS ...] [SOURCES ...] [AUTOMOC])
# A static library of src/FOLDER (its *.cpp and *.h unless SOURCES names
# them). DEPENDS are the vomrella libraries it may include and link;
# PUBLIC_LIBS are outside libraries its own headers expose (Qt types in a
# public header), PRIVATE_LIBS those only its sources use.
function(vomrella_library name)
  cmake_parse_arguments(ARG "AUTOMOC" "FOLDER" "SOURCES;DEPENDS;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${ARG_FOLDER}/*.cpp
                                            ${PROJECT_SOURCE_DIR}/src/${ARG_FOLDER}/*.h)
  endif()
  vomrella_check_includes(${ARG_SOURCES})
  add_library(${name} STATIC ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES VOMRELLA_FOLDER ${ARG_FOLDER} VOMRELLA_DEPENDS "${ARG_DEPENDS}")
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_DEPENDS} ${ARG_PRIVATE_LIBS})
  if(ARG_AUTOMOC)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()
  vomrella_include_root(${name} ${name})
endfunction()

# vomrella_link(TARGET LIBS...): an executable (test, benchmark, fuzzer, the
# program) links LIBS and includes the headers of the vomrella ones among
# them (with their dependencies).
function(vomrella_link target)
  target_link_libraries(${target} PRIVATE ${ARGN})
  vomrella_include_root(${target} ${ARGN})
endfunction()

# vomrella_test(NAME SOURCES ... LIBS ... [LABELS ...]): one GoogleTest
# executable; its tests are discovered when ctest runs (not at build time, so
# building never needs a display or a sound device). Tests include their
# helpers from tests/ ("support/WavBuilder.h", "show/ChainTestSupport.h").
function(vomrella_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  vomrella_link(${name} ${ARG_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT ARG_LIBS MATCHES "GTest::gtest_main" AND NOT ARG_SOURCES MATCHES "(^|[;/])main\\.cpp(;|$)")
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if("tsan" IN_LIST ARG_LABELS)
    set_property(GLOBAL APPEND PROPERTY VOMRELLA_TSAN_TESTS ${name})
  endif()
  # gtest_discover_tests passes properties on as a flat list, so a property
  # can carry only one value: each test is labelled with its executable's name,
  # and the "tsan" set is kept as a list of executables (see tsan_tests).
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${name} TIMEOUT 300 ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()

# vomrella_layering_test(LIB HEADER): a test that compiles `#include
# "HEADER"` as a source of LIB would be compiled, and passes only when the
# compiler cannot find the header: LIB's layer cannot reach it.
function(vomrella_layering_test lib header)
  string(MAKE_C_IDENTIFIER "${header}" stem)
  set(probe ${CMAKE_BINARY_DIR}/layering/${lib}_${stem}.cpp)
  file(WRITE ${probe} "#include \"${header}\"\n")
  add_test(NAME Layering.${lib}.CannotInclude.${header}
           COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -I${CMAKE_BINARY_DIR}/include-roots/${lib} ${probe})
  string(REPLACE "." "\\." pattern "${header}")
  set_tests_properties(Layering.${lib}.CannotInclude.${header} PROPERTIES
                       PASS_REGULAR_EXPRESSION "${pattern}'?(: No such file| file not found)" LABELS layering)
endfunction()
