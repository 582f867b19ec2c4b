# Run after a test program is linked (cmake -P): lists its GoogleTest cases and writes the
# CTest file that registers them.
#
# A test process costs about half a second before its first case runs (the sanitizers'
# start, a large program's static set-up), which over ~1,700 cases was the larger part of a
# two-core `make test`. So the cases of one GoogleTest suite run in one process, as one
# CTest test named after the suite; a suite listed in ALONE (suites whose cases each take
# seconds: whole program runs, long play-throughs) gets one process per case instead, so
# that ctest spreads them over the cores and each stays far inside its time limit.
#
# Variables: EXE, OUT (the file to write), WORKDIR, ALONE (;-list of suite names), ONLY (a
# regular expression: only the cases whose full names match are registered; empty: all),
# TIMEOUT, ENVIRONMENT (;-list, passed through with | in place of ;).
cmake_policy(VERSION 3.25)
execute_process(COMMAND "${EXE}" --gtest_list_tests
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${EXE} --gtest_list_tests failed (${result}):\n${errors}")
endif()
string(REPLACE "|" ";" environment "${ENVIRONMENT}")
string(REPLACE "|" ";" ALONE "${ALONE}")
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")

set(suites "")
set(suite "")
foreach(line IN LISTS lines)
  # Parameterised suites and cases carry "  # GetParam() = ..." comments.
  string(REGEX REPLACE "[ ]+#.*$" "" line "${line}")
  if(line MATCHES "^([^ ].*)\\.$")
    set(suite "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  ([^ ]+)$" AND NOT suite STREQUAL "")
    set(name "${suite}.${CMAKE_MATCH_1}")
    if(ONLY STREQUAL "" OR name MATCHES "${ONLY}")
      string(MAKE_C_IDENTIFIER "${suite}" key)
      if(NOT DEFINED cases_${key})
        list(APPEND suites "${suite}")
        set(cases_${key} "")
      endif()
      list(APPEND cases_${key} "${name}")
    endif()
  endif()
endforeach()

set(content "# Written by QuilloDiscoverTests.cmake from ${EXE}\n")
macro(register test_name filter)
  string(APPEND content "add_test([==[${test_name}]==] [==[${EXE}]==] [==[--gtest_filter=${filter}]==])\n")
  string(APPEND content "set_tests_properties([==[${test_name}]==] PROPERTIES WORKING_DIRECTORY [==[${WORKDIR}]==]"
                        " TIMEOUT ${TIMEOUT} ENVIRONMENT [==[${environment}]==]")
  # A skip marks the whole CTest test skipped, so only a single case may report one.
  if(NOT "${filter}" MATCHES "[*:]")
    string(APPEND content " SKIP_REGULAR_EXPRESSION [==[\\[  SKIPPED \\]]==]")
  endif()
  string(APPEND content ")\n")
endmacro()
foreach(suite IN LISTS suites)
  string(MAKE_C_IDENTIFIER "${suite}" key)
  if(suite IN_LIST ALONE)
    foreach(name IN LISTS cases_${key})
      register("${name}" "${name}")
    endforeach()
  elseif(ONLY STREQUAL "")
    register("${suite}" "${suite}.*")
  else()
    string(REPLACE ";" ":" filter "${cases_${key}}")
    register("${suite}" "${filter}")
  endif()
endforeach()
file(WRITE "${OUT}.new" "${content}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
