#!/usr/bin/env bash
# Sets up, builds x86_64, i686 and host, and runs every test: host tests natively,
# Win32 tests through CTest, the x86_64 ones under wine64 and the i686 ones under the
# 32-bit Wine of the i386 root (scripts/wine32-run.sh). Says per build how many ran and
# ends with one summary line counting all builds, and a non-zero exit on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${K4_BUILD_ROOT:-$here/build}
export K4_BUILD_ROOT=$root
# The placement tests' volumes (a read-only folder, small tmpfs volumes) exist only in a
# private mount namespace, where the wine servers and every test must run, since Wine's
# server opens files by path: the whole run goes there (scripts/fixture-mounts.sh;
# where the system refuses namespaces it runs as it is, and those tests skip).
if [ -z "${K4_IN_FIXTURE_MOUNTS:-}" ]; then
  export K4_IN_FIXTURE_MOUNTS=1
  exec "$here/scripts/fixture-mounts.sh" "$here/scripts/test.sh" "$@"
fi
# The time of each phase, said at the end.
phases=(); phase_start=$SECONDS
phase_done() { phases+=("$1: $((SECONDS - phase_start)) s"); phase_start=$SECONDS; }
"$here/scripts/setup.sh" --packages || exit 1
phase_done "packages"
# The i386 root (or, where the kernel refuses i386 code, the emulated guest's image) is
# mostly download and unpacking: made while the builds compile.
root_log=$(mktemp)
root_started=$SECONDS
"$here/scripts/setup.sh" --i386-root >"$root_log" 2>&1 &
root_pid=$!
"$here/scripts/build.sh" || { echo "build failed"; wait "$root_pid"; cat "$root_log"; exit 1; }
phase_done "build (host, x86_64, i686)"
wait "$root_pid"; root_status=$?
cat "$root_log"; rm -f "$root_log"
phases+=("i386 root or guest image (beside the build): $((SECONDS - root_started)) s in all")
phase_start=$SECONDS
[ "$root_status" -eq 0 ] || { echo "setup of the i386 root or the guest failed"; exit 1; }
. "$here/scripts/wine-env.sh"
k4_env_start "$root"
trap k4_env_stop EXIT

passed=0; failed=0; summary=()
run_ctest() {  # name, build dir
  local log line total=0 fails=0
  log=$(mktemp)
  (cd "$2" && ctest --output-on-failure -j "${K4_TEST_JOBS:-2}" ${K4_CTEST_ARGS:-}) 2>&1 | tee "$log"
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fails=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  elif ! grep -q 'No tests were found' "$log"; then
    fails=1   # CTest itself failed: counted as one failure
  fi
  passed=$((passed + total - fails)); failed=$((failed + fails))
  summary+=("$1: $total ran, $((total - fails)) passed, $fails failed")
  rm -f "$log"
}
# Reproducible stub: the i686 program built a second time from the same sources in
# another folder must come out byte for byte the same. Counts as one test.
check_reproducible() {
  local again=$root/i686-again
  echo "== reproducible build (i686 program built again in $again)"
  if ! cmake -S "$here" -B "$again" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
        -DK4PACK_EXECUTABLE="$root/host/tools/k4pack/k4pack" >/dev/null ||
     ! cmake --build "$again" --target K4EXTRACTOR -j "${K4_JOBS:-$(nproc)}" >/dev/null; then
    echo "reproducible build: the second build failed"; failed=$((failed + 1))
    summary+=("reproducible i686 program: the second build failed"); return
  fi
  if cmp "$root/i686/app/K4EXTRACTOR.exe" "$again/app/K4EXTRACTOR.exe"; then
    echo "reproducible build: identical ($(stat -c %s "$again/app/K4EXTRACTOR.exe") bytes)"; passed=$((passed + 1))
    summary+=("reproducible i686 program: identical")
  else
    echo "reproducible build: the two builds differ"; failed=$((failed + 1))
    summary+=("reproducible i686 program: the two builds differ")
  fi
}
# The fuzz target of the cabinet check, built natively with clang in a project of its
# own (tests/fuzz), its kept findings replayed, then fuzzed for K4_FUZZ_SECONDS (60).
# Counts as one test; a failing input stays in tests/fuzz/regressions.
check_fuzz() {
  local dir=$root/fuzz seconds=${K4_FUZZ_SECONDS:-60}
  echo "== fuzzing the cabinet check for $seconds s (build in $dir)"
  if ! cmake -S "$here/tests/fuzz" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_COMPILER=clang++ >/dev/null ||
     ! cmake --build "$dir" -j "${K4_JOBS:-$(nproc)}" >/dev/null; then
    echo "fuzz: the build failed"; failed=$((failed + 1))
    summary+=("fuzz target: the build failed"); return
  fi
  if bash "$here/tests/fuzz/run_fuzz.sh" "$dir" "$seconds" 2>&1 | tail -n 40; [ "${PIPESTATUS[0]}" -eq 0 ]; then
    passed=$((passed + 1)); summary+=("fuzz target: $seconds s, nothing found")
  else
    failed=$((failed + 1)); summary+=("fuzz target: a failing input, kept in tests/fuzz/regressions")
  fi
}
echo "== host tests"; run_ctest host "$root/host"; phase_done "host tests"
echo "== Win32 tests (x86_64 under wine64)"; run_ctest x86_64 "$root/x86_64"; phase_done "x86_64 tests"
# The i686 build: natively under the i386 root's 32-bit Wine where this kernel runs i386
# code, otherwise in the emulated guest (scripts/guest.sh): there the tests that run a
# Windows program go to the guest, and the checks of files (sizes, imports, maps, the
# packing fixtures, which need the host's tools) run here first.
run_i686() {
  local reason started=$SECONDS
  # K4_I686_GUEST=1 takes the guest even where the kernel runs i386 code: the way to
  # prove the guest on a machine that does not need it.
  if [ "${K4_I686_GUEST:-0}" != 1 ] && reason=$("$here/scripts/wine32-run.sh" --check); then
    echo "== Win32 tests (i686 under 32-bit Wine in the i386 root)"; run_ctest i686 "$root/i686"
    return
  fi
  [ "${K4_I686_GUEST:-0}" != 1 ] || reason="K4_I686_GUEST=1"
  echo "i686: not natively ($reason); using the emulated guest"
  if ! reason=$("$here/scripts/guest.sh" --check); then
    echo "i686: not run: $reason"; failed=$((failed + 1)); summary+=("i686: not run: $reason (a failure)")
    return
  fi
  # Emulation is some twenty times slower: the guest takes the tests and cases that
  # tests/emulated.txt chooses (every module end to end once, the engine's and the
  # format's unit programs whole); K4_EMULATED_ALL=1 takes every one.
  local split host_tests guest_tests native_tests list=()
  export K4_EMULATED_FILTERS=$root/i686/emulated-filters.txt
  [ "${K4_EMULATED_ALL:-0}" = 1 ] || list=(--emulated "$here/tests/emulated.txt" --filters "$K4_EMULATED_FILTERS")
  rm -f "$K4_EMULATED_FILTERS"
  split=$(cd "$root/i686" && ctest --show-only=json-v1 | python3 "$here/scripts/split_i686.py" "${list[@]}") ||
    { echo "i686: the test list could not be split"; failed=$((failed + 1)); return; }
  host_tests=$(sed -n 1p <<<"$split"); guest_tests=$(sed -n 2p <<<"$split"); native_tests=$(sed -n 3p <<<"$split")
  [ "$native_tests" = '^$' ] || echo "i686: natively only, not emulated: $native_tests"
  echo "== i686 checks of files (here)"
  K4_CTEST_ARGS="-R $host_tests" run_ctest "i686 (files, here)" "$root/i686"
  echo "== Win32 tests (i686 in the emulated guest)"
  # The guest makes the fixture volumes itself; this run's own must not reach it.
  "$here/scripts/fixture-mounts.sh" --release
  local log; log=$(mktemp)
  # A test that fails in the guest runs once more: pure emulation has been seen to crash a
  # Wine process once in several runs (a single-step trap no native run ever showed). A
  # fault of the program fails both times; one that passes the second time is named below.
  (cd "$root/i686" && "$here/scripts/guest.sh" --run ctest --output-on-failure -j "${K4_TEST_JOBS:-2}" \
      --repeat until-pass:2 -R "$guest_tests" -FS '.*' ${K4_CTEST_ARGS:-}) 2>&1 | tee "$log"
  local line total=0 fails=1
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fails=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  fi
  passed=$((passed + total - fails)); failed=$((failed + fails))
  summary+=("i686 (in the emulated guest): $total ran, $((total - fails)) passed, $fails failed, $((SECONDS - started)) s with the checks")
  local again
  again=$(sed -nE 's/.*Test +#[0-9]+: ([A-Za-z0-9_]+) .*\*\*\*Failed.*/\1/p' "$log" | sort -u | tr '\n' ' ')
  [ -z "$again" ] || summary+=("i686 (in the emulated guest): failed once, then ran again: $again")
  rm -f "$log"
}
if [ "${K4_NO_I686_RUN:-0}" = 1 ] && [ "${CI:-}" != true ]; then
  echo "i686: not run: K4_NO_I686_RUN=1 (a quick local run; never in CI)"
  summary+=("i686: not run: K4_NO_I686_RUN=1")
else
  run_i686
fi
phase_done "i686 tests"
check_reproducible; phase_done "reproducible i686 build"
check_fuzz; phase_done "fuzzing"
echo
echo "Time per phase:"; printf '  %s\n' "${phases[@]}"
printf '%s\n' "${summary[@]}"
echo "${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
