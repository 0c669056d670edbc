#!/usr/bin/env bash
# The main demonstration: sets up and builds everything, packs samples/demo into a
# self-extractor with the host k4pack, runs it under Wine in an empty folder and shows that
# it wrote its cabinet to DATAFILE.K4A (the cabinet followed by the 4 trailer bytes).
#
#   K4_BUILD_ROOT   build root (default: build/ in the checkout)
#   K4_DEMO_STUB    extractor program to pack into (default: the x86_64 build's K4EXTRACTOR.exe)
#   K4_DEMO_SKIP_BUILD=1   use the builds as they are (no setup, no build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${K4_BUILD_ROOT:-$here/build}
export K4_BUILD_ROOT=$root
stub=${K4_DEMO_STUB:-$root/x86_64/app/K4EXTRACTOR.exe}
k4pack=$root/host/tools/k4pack/k4pack
work=$root/demo                 # the packed program and what the checks compare against
run_dir=$work/run               # the empty folder the program runs in
program=$work/K4DEMO.EXE
program_pid=""

say() { printf '\n== %s\n' "$*"; }
fail() { printf 'demo: %s\n' "$*" >&2; exit 1; }

step_build() {
  say "Setting up and building (host, x86_64, i686)"
  "$here/scripts/setup.sh"
  "$here/scripts/build.sh"
}

step_pack() {
  say "Packing samples/demo into $program"
  [ -x "$k4pack" ] || fail "k4pack not built: $k4pack"
  [ -f "$stub" ] || fail "extractor program not found: $stub (build it, or set K4_DEMO_STUB)"
  rm -rf "$work"
  mkdir -p "$run_dir"
  "$k4pack" -o "$program" -s "$stub" \
    -t 'C:\K4Demo' -c 'K4 demo archive' -T 'Sample files packed by k4pack' \
    "$here/samples/demo"
  "$k4pack" inspect "$program"
}

# The bytes DATAFILE.K4A must hold: everything after the third text up to the end of the
# file, that is the cabinet and the 4 trailer bytes.
step_expected_datafile() {
  local size
  size=$("$k4pack" inspect "$program" | awk '$1 == "cabinet:" { print $2 }')
  [ -n "$size" ] || fail "inspect did not report the cabinet's size"
  tail -c "$((size + 4))" "$program" >"$work/expected.k4a"
  [ "$(head -c 4 "$work/expected.k4a")" = "MSCF" ] || fail "no cabinet where inspect put it"
}

step_start_program() {
  say "Starting the program under Wine in the empty folder $run_dir"
  . "$here/scripts/wine-env.sh"
  k4_env_start "$root"
  trap step_stop_program EXIT
  (cd "$run_dir" && exec wine64 "$program" </dev/null >"$work/program.log" 2>&1) &
  program_pid=$!
}

# Waits until DATAFILE.K4A has its full length (it is written in one piece at start-up).
step_check_datafile() {
  local datafile=$run_dir/DATAFILE.K4A expected_size size=0
  expected_size=$(stat -c %s "$work/expected.k4a")
  for _ in $(seq 300); do
    [ -f "$datafile" ] && size=$(stat -c %s "$datafile")
    [ "$size" -ge "$expected_size" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -f "$datafile" ] || fail "DATAFILE.K4A did not appear in $run_dir"
  cmp "$datafile" "$work/expected.k4a" || fail "DATAFILE.K4A differs from cabinet + trailer"
  say "DATAFILE.K4A appeared: $size bytes, the cabinet ($((size - 4)) bytes) and the 4 trailer bytes"
  ls -l "$run_dir"
}

step_stop_program() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=""
  fi
  k4_env_stop
}

main() {
  [ "${K4_DEMO_SKIP_BUILD:-0}" = 1 ] || step_build
  step_pack
  step_expected_datafile
  step_start_program
  step_check_datafile
  step_stop_program
  trap - EXIT
  say "Demo finished"
}

main "$@"
