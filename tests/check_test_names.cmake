# Lists every test program's tests and fails on a parameterised test whose
# row has no name of its own: named by its index only (the suite has no name
# generator) or by its raw bytes (the generator prints a row that has no
# printer). Such names change from build to build or say nothing, and ctest
# -R and the test history cannot follow them.
# cmake -D PROGRAMS=<file, one program a line> -P check_test_names.cmake
file(STRINGS "${PROGRAMS}" programs)
set(unnamed)
foreach(program IN LISTS programs)
  execute_process(COMMAND "${program}" --gtest_list_tests
    OUTPUT_VARIABLE listing RESULT_VARIABLE result TIMEOUT 60)
  if(NOT result EQUAL 0)
    list(APPEND unnamed "${program}: --gtest_list_tests failed (${result})")
    continue()
  endif()
  string(REPLACE ";" "," listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(suite)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^  ")
      string(REGEX REPLACE "\\..*" "" suite "${line}")
    elseif(line MATCHES "GetParam\\(\\)")
      string(REGEX REPLACE "^ +([^ ]+).*" "\\1" test "${line}")
      if(test MATCHES "/[0-9]+$" OR test MATCHES "byte_object")
        get_filename_component(name "${program}" NAME)
        list(APPEND unnamed "${name}: ${suite}.${test}")
      endif()
    endif()
  endforeach()
endforeach()
if(unnamed)
  list(JOIN unnamed "\n  " unnamed)
  message(FATAL_ERROR "Parameterised tests without a name of their own (give "
    "INSTANTIATE_TEST_SUITE_P a name generator, tests/support/param_name.h):\n  ${unnamed}")
endif()
