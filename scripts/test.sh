#!/usr/bin/env bash
# Sets up, builds x86_64, i686 and host, and runs every test: host tests natively,
# Win32 tests under wine64 through CTest. Ends with one summary line and a non-zero
# exit on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${K4_BUILD_ROOT:-$here/build}
"$here/scripts/setup.sh" || exit 1
"$here/scripts/build.sh" || { echo "build failed"; exit 1; }
. "$here/scripts/wine-env.sh"
k4_env_start "$root"
trap k4_env_stop EXIT

passed=0; failed=0
run_ctest() {  # build dir
  local log
  log=$(mktemp)
  (cd "$1" && ctest --output-on-failure -j "${K4_TEST_JOBS:-2}" ${K4_CTEST_ARGS:-}) 2>&1 | tee "$log"
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    grep -q 'No tests were found' "$log" || failed=$((failed + 1))
  else
    local total fails
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fails=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - fails)); failed=$((failed + fails))
  fi
  rm -f "$log"
}
# Reproducible stub: the i686 program built a second time from the same sources in
# another folder must come out byte for byte the same. Counts as one test.
check_reproducible() {
  local again=$root/i686-again
  echo "== reproducible build (i686 program built again in $again)"
  if ! cmake -S "$here" -B "$again" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" >/dev/null ||
     ! cmake --build "$again" --target K4EXTRACTOR -j "${K4_JOBS:-$(nproc)}" >/dev/null; then
    echo "reproducible build: the second build failed"; failed=$((failed + 1)); return
  fi
  if cmp "$root/i686/app/K4EXTRACTOR.exe" "$again/app/K4EXTRACTOR.exe"; then
    echo "reproducible build: identical ($(stat -c %s "$again/app/K4EXTRACTOR.exe") bytes)"; passed=$((passed + 1))
  else
    echo "reproducible build: the two builds differ"; failed=$((failed + 1))
  fi
}
echo "== host tests"; run_ctest "$root/host"
echo "== Win32 tests (x86_64 under Wine)"; run_ctest "$root/x86_64"
check_reproducible
echo
echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
