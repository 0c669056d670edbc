#!/usr/bin/env bash
# Host test of cmake/K4TestedToolchain.cmake: the tested GCC and mingw-w64 versions
# pass; any other GCC, any other runtime, and a runtime whose headers cannot be read
# stop the configuration with a message that names what was found and what is
# tested. The runtime's version is read through both cross compilers' preprocessors.
#
#   tested_toolchain_test.sh CHECK.cmake
set -uo pipefail
check=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect NAME STATUS PATTERN cmake-args...: the check's exit status and what it says.
expect() {
  local name=$1 status=$2 pattern=$3 out got
  shift 3
  out=$(cmake "$@" -P "$check" 2>&1); got=$?
  [ "$got" -eq "$status" ] || fail "$name: exit $got, not $status ($out)"
  # CMake folds long messages: compare with the line breaks as spaces.
  out=$(tr -s '\n ' '  ' <<<"$out")
  [[ "$out" == *$pattern* ]] || fail "$name: said \"$out\", not *$pattern*"
}

tested="tested with GCC 12.0.0 (libstdc++ 20220819, Debian's mingw-w64 GCC 12.2) with mingw-w64 10.0.0 only"
ok=(-DK4_CHECK_GCC=12.0.0 -DK4_CHECK_LIBSTDCXX=20220819 -DK4_CHECK_MINGW=10.0.0)
expect "tested versions" 0 "" "${ok[@]}"
expect "another GCC" 1 "GCC 13.0.0 (libstdc++ 20220819) with mingw-w64 10.0.0; the Windows builds are $tested" \
  "${ok[@]}" -DK4_CHECK_GCC=13.0.0
expect "GCC 12 without its minor and patch level" 1 "GCC 12 (libstdc++" "${ok[@]}" -DK4_CHECK_GCC=12
expect "another 12 release's C++ library" 1 "GCC 12.0.0 (libstdc++ 20230508) with" \
  "${ok[@]}" -DK4_CHECK_LIBSTDCXX=20230508
expect "older runtime" 1 "with mingw-w64 9.0.0;" "${ok[@]}" -DK4_CHECK_MINGW=9.0.0
expect "unreadable headers" 1 "GCC 12.0.0 (libstdc++ unknown) with mingw-w64 unknown;" \
  "${ok[@]}" -DK4_CHECK_LIBSTDCXX= -DK4_CHECK_MINGW=
expect "the way forward" 1 "change the K4_TESTED_ versions in cmake/K4TestedToolchain.cmake" \
  "${ok[@]}" -DK4_CHECK_MINGW=11.0.0

# Both installed cross compilers as the build reads them, and nothing from a compiler
# without the runtime's headers or from none at all.
for compiler in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
  command -v "$compiler" >/dev/null || { fail "$compiler not installed"; continue; }
  expect "$compiler" 0 "libstdc++ 20220819, mingw-w64 10.0.0" -DK4_PROBE_COMPILER="$compiler"
done
for compiler in "$scratch/no-such-compiler" g++; do
  out=$(cmake -DK4_PROBE_COMPILER="$compiler" -P "$check" 2>&1)
  [ "$out" = "libstdc++ , mingw-w64 " ] || fail "$compiler gave \"$out\""
done
[ -z "$(ls -A "$scratch")" ] || fail "the probe left files behind: $(ls -A "$scratch")"

[ "$failures" -eq 0 ] && echo "all cases passed"
exit $((failures > 0))
