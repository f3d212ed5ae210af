# Helpers shared by every folder's CMakeLists.txt.

# vomrella_library(NAME SOURCES ... [LIBS ...]): a static library whose headers
# are included as "folder/File.h" relative to src/.
function(vomrella_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# vomrella_test(NAME SOURCES ... LIBS ... [LABELS ...]): one GoogleTest
# executable; its tests are discovered when ctest runs (not at build time, so
# building never needs a display or a sound device).
function(vomrella_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT ARG_LIBS MATCHES "GTest::gtest_main" AND NOT ARG_SOURCES MATCHES "/main\\.cpp")
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
