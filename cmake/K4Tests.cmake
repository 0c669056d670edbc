# Test time limits are multiplied by K4_TEST_TIMEOUT_SCALE: the i686 build's programs
# may run in a fully emulated guest (scripts/guest.sh), several times slower than
# natively, where a limit made for native runs would cut sound tests short.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(K4_TEST_TIMEOUT_SCALE 4 CACHE STRING "factor on every test's time limit")
else()
  set(K4_TEST_TIMEOUT_SCALE 1 CACHE STRING "factor on every test's time limit")
endif()

# k4_test_timeout(test seconds): the test's limit, scaled.
function(k4_test_timeout test seconds)
  math(EXPR scaled "${seconds} * ${K4_TEST_TIMEOUT_SCALE}")
  set_tests_properties(${test} PROPERTIES TIMEOUT ${scaled})
endfunction()

# k4_add_test(NAME src... [LIBS lib...]): one GoogleTest program, run by CTest
# (under wine64 in the x86_64 build through CMAKE_CROSSCOMPILING_EMULATOR).
# Test programs are console programs; each one is one CTest entry, and
# GoogleTest's own output names the failing case.
function(k4_add_test name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  k4_test_timeout(${name} 600)
endfunction()

# k4_windows_path(out path): the Windows path under which Wine shows a host path
# (drive Z: is the host's root), for test data made at build time on the host.
function(k4_windows_path out path)
  string(REPLACE "/" "\\" win "${path}")
  set(${out} "Z:${win}" PARENT_SCOPE)
endfunction()
