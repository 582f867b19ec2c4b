# quillo_add_test_suite(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable per source folder; every test case becomes a CTest test.
# Tests run headless, and whatever they write per user lands in the build folder.
function(quillo_add_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QUILLO_HEADLESS=1;XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-home;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1"
               TIMEOUT 120)
endfunction()
