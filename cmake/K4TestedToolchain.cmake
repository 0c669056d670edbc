# The one mingw-w64 toolchain the Windows builds are tested with, and the check that
# stops the configuration on any other. The extractor's own start-up
# (runtime/K4StubStart.cpp, cmake/K4StubStart.specs) and its stand-ins for runtime
# pieces (runtime/K4StubRuntime.cpp) rely on this compiler's and this runtime's insides:
# which archive member defines which symbol, the layout of the C++ runtime's exception
# state, libgcc's constructor runner, the start files that enclose the unwind tables.
# Another version may well link and then fail only when an exception is thrown, so it
# is refused here, before anything is built. Included by the top CMakeLists for the
# Windows builds only; the host build (the packer) takes any compiler.
#
# Debian's mingw-w64 GCC 12.2 states its version as 12.0.0 (its __GNUC_MINOR__ is 0),
# so CMAKE_CXX_COMPILER_VERSION alone does not tell 12.2 from another 12 release: the
# C++ library's release stamp (__GLIBCXX__, the date of GCC 12.2.0's release) does.
#
# Run as a script (cmake -P) by its test, tests/scripts/tested_toolchain_test.sh:
#   -DK4_CHECK_GCC=V -DK4_CHECK_LIBSTDCXX=D -DK4_CHECK_MINGW=V   checks the given versions
#   -DK4_PROBE_COMPILER=CXX          prints "libstdc++ D, mingw-w64 V" as read through CXX
set(K4_TESTED_GCC_VERSION 12.0.0)
set(K4_TESTED_LIBSTDCXX 20220819)
set(K4_TESTED_MINGW_VERSION 10.0.0)

# The C++ library's release stamp and the mingw-w64 runtime's version as the compiler
# sees them: __GLIBCXX__ and the runtime headers' own __MINGW64_VERSION_MAJOR, _MINOR
# and _BUGFIX, through the compiler's preprocessor, so that the headers it really
# includes are the ones read. Each is empty when it cannot be read.
function(k4_runtime_versions compiler libstdcxx_var mingw_var)
  set(probe ${CMAKE_CURRENT_BINARY_DIR}/k4_runtime_versions.cpp)
  file(WRITE ${probe} "#include <_mingw_mac.h>\n#include <bits/c++config.h>\n"
                      "k4_libstdcxx __GLIBCXX__\n"
                      "k4_mingw __MINGW64_VERSION_MAJOR __MINGW64_VERSION_MINOR __MINGW64_VERSION_BUGFIX\n")
  execute_process(COMMAND ${compiler} -E -P -x c++ ${probe}
                  OUTPUT_VARIABLE text ERROR_QUIET RESULT_VARIABLE status)
  file(REMOVE ${probe})
  set(libstdcxx "")
  set(mingw "")
  if(status EQUAL 0 AND text MATCHES "k4_libstdcxx ([0-9]+)")
    set(libstdcxx "${CMAKE_MATCH_1}")
  endif()
  if(status EQUAL 0 AND text MATCHES "k4_mingw ([0-9]+) ([0-9]+) ([0-9]+)")
    set(mingw "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}")
  endif()
  set(${libstdcxx_var} "${libstdcxx}" PARENT_SCOPE)
  set(${mingw_var} "${mingw}" PARENT_SCOPE)
endfunction()

# Stops with a message that names what was found, what is tested and what to do.
function(k4_check_tested_toolchain gcc libstdcxx mingw)
  if(gcc STREQUAL K4_TESTED_GCC_VERSION AND libstdcxx STREQUAL K4_TESTED_LIBSTDCXX
     AND mingw STREQUAL K4_TESTED_MINGW_VERSION)
    return()
  endif()
  foreach(part libstdcxx mingw)
    if(${part} STREQUAL "")
      set(${part} "unknown")
    endif()
  endforeach()
  message(FATAL_ERROR
    "Untested Windows toolchain: GCC ${gcc} (libstdc++ ${libstdcxx}) with mingw-w64 ${mingw}; the "
    "Windows builds are tested with GCC ${K4_TESTED_GCC_VERSION} (libstdc++ ${K4_TESTED_LIBSTDCXX}, "
    "Debian's mingw-w64 GCC 12.2) with mingw-w64 ${K4_TESTED_MINGW_VERSION} only, which "
    "scripts/setup.sh installs. The extractor's own start-up and runtime stand-ins "
    "(runtime/K4StubStart.cpp, runtime/K4StubRuntime.cpp) depend on that compiler's and runtime's "
    "insides; to move to another version, check them against it, run the whole suite, then "
    "change the K4_TESTED_ versions in cmake/K4TestedToolchain.cmake.")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  if(DEFINED K4_PROBE_COMPILER)
    k4_runtime_versions(${K4_PROBE_COMPILER} libstdcxx mingw)
    message("libstdc++ ${libstdcxx}, mingw-w64 ${mingw}")
  else()
    k4_check_tested_toolchain("${K4_CHECK_GCC}" "${K4_CHECK_LIBSTDCXX}" "${K4_CHECK_MINGW}")
  endif()
  return()
endif()

if(NOT CMAKE_C_COMPILER_ID STREQUAL "GNU" OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  message(FATAL_ERROR "Untested Windows toolchain: C compiler ${CMAKE_C_COMPILER_ID}, C++ compiler "
                      "${CMAKE_CXX_COMPILER_ID}; the Windows builds are tested with mingw-w64's GCC only.")
endif()
if(NOT CMAKE_C_COMPILER_VERSION STREQUAL CMAKE_CXX_COMPILER_VERSION)
  message(FATAL_ERROR "Untested Windows toolchain: C compiler GCC ${CMAKE_C_COMPILER_VERSION}, C++ "
                      "compiler GCC ${CMAKE_CXX_COMPILER_VERSION}; both must be GCC ${K4_TESTED_GCC_VERSION}.")
endif()
k4_runtime_versions(${CMAKE_CXX_COMPILER} k4_libstdcxx k4_mingw)
k4_check_tested_toolchain("${CMAKE_CXX_COMPILER_VERSION}" "${k4_libstdcxx}" "${k4_mingw}")
