# quillo_add_test_suite(<name> SOURCES <files...> LIBS <targets...> [ALONE <suites...>])
# One GoogleTest executable per source folder. The cases of each GoogleTest suite run as one
# CTest test named after the suite; the suites named after ALONE (cases that take seconds
# each) run one CTest test per case, named Suite.Case (cmake/QuilloDiscoverTests.cmake).
# Tests run headless; their main (tests/support/test_main.cpp) points HOME and the XDG
# folders at a temporary folder of their own and removes it at the end.
#
# QUILLO_TESTS_ONLY: a regular expression over Suite.Case; only matching cases are
# registered (the optimised test build registers the golden-frame tests: "Golden").
set(QUILLO_TESTS_ONLY "" CACHE STRING "Register only the test cases whose Suite.Case matches this expression")

function(quillo_add_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ALONE" ${ARGN})
  find_package(GTest REQUIRED)
  if(NOT TARGET quillo_test_main)
    add_library(quillo_test_main STATIC ${PROJECT_SOURCE_DIR}/tests/support/test_main.cpp)
    target_include_directories(quillo_test_main PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(quillo_test_main PUBLIC GTest::gtest)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest quillo_test_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Every test file parses GoogleTest and much of the standard library: once per program.
  target_precompile_headers(${name} PRIVATE
    <gtest/gtest.h> <gmock/gmock.h>
    <algorithm> <array> <atomic> <chrono> <cmath> <cstdint> <cstdlib> <cstring> <filesystem>
    <fstream> <functional> <map> <memory> <set> <sstream> <string> <thread> <vector>)

  set(ctest_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_ctest.cmake)
  set(environment "QUILLO_HEADLESS=1|ASAN_OPTIONS=detect_leaks=1|UBSAN_OPTIONS=print_stacktrace=1")
  string(REPLACE ";" "|" alone "${ARG_ALONE}")
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -D EXE=$<TARGET_FILE:${name}> -D OUT=${ctest_file}
            -D WORKDIR=${CMAKE_CURRENT_BINARY_DIR} "-D ALONE=${alone}" "-D ONLY=${QUILLO_TESTS_ONLY}"
            -D TIMEOUT=120 "-D ENVIRONMENT=${environment}"
            -P ${PROJECT_SOURCE_DIR}/cmake/QuilloDiscoverTests.cmake
    VERBATIM)
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_include.cmake)
  file(WRITE ${include_file}
    "if(EXISTS \"${ctest_file}\")\n  include(\"${ctest_file}\")\n"
    "else()\n  add_test(${name}_NOT_BUILT ${name}_NOT_BUILT)\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
