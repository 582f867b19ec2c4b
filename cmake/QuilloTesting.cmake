# quillo_add_test_suite(<name> SOURCES <files...> LIBS <targets...> [ALONE <suites...>] [GOLDEN])
# One GoogleTest executable per source folder. The cases of each GoogleTest suite run as one
# CTest test named after the suite; the suites named after ALONE (cases that take seconds
# each) run one CTest test per case, named Suite.Case (cmake/QuilloDiscoverTests.cmake).
# Tests run headless; their main (tests/support/test_main.cpp) points HOME and the XDG
# folders at a temporary folder of their own and removes it at the end.
#
# QUILLO_TESTS_ONLY: a regular expression over Suite.Case; only matching cases are
# registered, and only the programs flagged GOLDEN are built (the optimised test build
# reruns the golden tests: "Golden"). In the full build, a program with cases named
# *Golden* that is not flagged stops the build, so the optimised build never misses one.
set(QUILLO_TESTS_ONLY "" CACHE STRING "Register only the test cases whose Suite.Case matches this expression")

function(quillo_add_test_suite name)
  cmake_parse_arguments(ARG "GOLDEN" "" "SOURCES;LIBS;ALONE" ${ARGN})
  find_package(GTest REQUIRED)
  if(NOT TARGET quillo_test_main)
    add_library(quillo_test_main STATIC ${PROJECT_SOURCE_DIR}/tests/support/test_main.cpp)
    target_include_directories(quillo_test_main PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(quillo_test_main PUBLIC GTest::gtest)
  endif()
  if(NOT QUILLO_TESTS_ONLY STREQUAL "" AND NOT ARG_GOLDEN)
    # Nothing of it runs in this build.
    add_executable(${name} EXCLUDE_FROM_ALL ${ARG_SOURCES})
  elseif(NOT QUILLO_TESTS_ONLY STREQUAL "")
    # Only the test files that name a matching case are compiled, with the support files
    # (those without test cases): the optimised build compiles a fraction of the tests.
    set(sources "")
    foreach(source ${ARG_SOURCES})
      get_filename_component(path ${source} ABSOLUTE)
      if(path MATCHES "\\.(cpp|cc)$" AND EXISTS ${path})
        file(READ ${path} text)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
        if(text MATCHES "(^|\n)(TEST|TEST_F|TEST_P|TYPED_TEST)\\(" AND NOT text MATCHES "${QUILLO_TESTS_ONLY}")
          continue()
        endif()
      endif()
      list(APPEND sources ${source})
    endforeach()
    add_executable(${name} ${sources})
  else()
    add_executable(${name} ${ARG_SOURCES})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest quillo_test_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Test files are mostly template instantiations and inline code that every file repeats
  # (GoogleTest's assertions, the engine's headers): compiled eight to a unit they cost about
  # a third, which is most of a two-core `make test`. Helpers in a test file's anonymous
  # namespace must therefore be unique among the files of its program.
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  # Every test file parses GoogleTest and much of the standard library: once per unit.
  target_precompile_headers(${name} PRIVATE
    <gtest/gtest.h> <gmock/gmock.h>
    <algorithm> <array> <atomic> <chrono> <cmath> <cstdint> <cstdlib> <cstring> <filesystem>
    <fstream> <functional> <map> <memory> <set> <sstream> <string> <thread> <vector>)

  if(NOT QUILLO_TESTS_ONLY STREQUAL "" AND NOT ARG_GOLDEN)
    return()
  endif()
  set(ctest_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_ctest.cmake)
  set(environment "QUILLO_HEADLESS=1|ASAN_OPTIONS=detect_leaks=1|UBSAN_OPTIONS=print_stacktrace=1")
  string(REPLACE ";" "|" alone "${ARG_ALONE}")
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -D EXE=$<TARGET_FILE:${name}> -D OUT=${ctest_file}
            -D WORKDIR=${CMAKE_CURRENT_BINARY_DIR} "-D ALONE=${alone}" "-D ONLY=${QUILLO_TESTS_ONLY}"
            -D TIMEOUT=120 "-D ENVIRONMENT=${environment}" -D GOLDEN=${ARG_GOLDEN}
            -P ${PROJECT_SOURCE_DIR}/cmake/QuilloDiscoverTests.cmake
    VERBATIM)
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_include.cmake)
  file(WRITE ${include_file}
    "if(EXISTS \"${ctest_file}\")\n  include(\"${ctest_file}\")\n"
    "else()\n  add_test(${name}_NOT_BUILT ${name}_NOT_BUILT)\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
