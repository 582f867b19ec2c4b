# quillo_add_test_suite(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable per source folder; every test case becomes a CTest test.
# Tests run headless; their main (tests/support/test_main.cpp) points HOME and the XDG
# folders at a temporary folder of their own and removes it at the end.
function(quillo_add_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  if(NOT TARGET quillo_test_main)
    add_library(quillo_test_main STATIC ${PROJECT_SOURCE_DIR}/tests/support/test_main.cpp)
    target_include_directories(quillo_test_main PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(quillo_test_main PUBLIC GTest::gtest)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest quillo_test_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # Parameterised cases are named by their generators; without NO_PRETTY_VALUES the
  # printed parameter (raw bytes for a plain struct) would be glued to the test name.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT "QUILLO_HEADLESS=1;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1"
               TIMEOUT 120)
endfunction()
