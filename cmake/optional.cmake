# Optional tools and libraries: help2man, frei0r.h, Google Benchmark,
# GoogleTest, valgrind. Without one, configure warns and leaves out what
# needs it, and a test of the left-out part's name stands in for its
# tests: ctest counts it as skipped, and its output says why.
#   devidoriv_leave_out(TEST WHAT WHY)
# TEST is the stand-in's name; WHAT is what is left out, WHY the missing
# piece and the package that has it.
function(devidoriv_leave_out test what why)
  message(WARNING "${what} left out: ${why}")
  if(DEVIDORIV_BUILD_TESTS)
    add_test(NAME ${test} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${what}: ${why}")
    set_tests_properties(${test} PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: ")
  endif()
endfunction()
