#!/usr/bin/env bash
# Runs the fuzz target of the cabinet check built in BUILD (tests/fuzz/CMakeLists.txt):
# first every kept finding in tests/fuzz/regressions, then fuzzing for SECONDS from the
# seed cabinets and the corpus it grew before. An input that fails is written into
# tests/fuzz/regressions, to be kept with the sources: the test of the format library
# replays that folder in every build.
#
#   run_fuzz.sh BUILD SECONDS        exit status 0 when nothing failed
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD SECONDS" >&2; exit 2; }
build=$1 seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
fuzzer=$build/k4_fuzz_cabcheck
regressions=$here/regressions
corpus=$build/corpus
mkdir -p "$corpus" "$regressions"
# Leaks are the sanitizers' business too; a single input taking seconds is a finding.
options=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -max_len=262144 -artifact_prefix="$regressions/")
if ! "$fuzzer" "${options[@]}" -runs=0 "$regressions" "$build/seeds"; then
  echo "fuzz: a kept finding or a seed fails again"; exit 1
fi
"$fuzzer" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "$build/seeds"
status=$?
[ "$status" -eq 0 ] || echo "fuzz: a failing input was kept in $regressions (add it to the sources)"
exit "$status"
