#!/usr/bin/env bash
# The main demonstration: sets up and builds what it runs, packs samples/demo into a
# self-extractor with the host k4pack, runs it under Wine + Xvfb in an empty folder, shows
# that it wrote its cabinet to DATAFILE.K4A (the cabinet alone),
# prints what its window lists, takes a screenshot of the window, presses Start, and shows
# that the extracted files are byte-identical to samples/demo.
#
#   K4_BUILD_ROOT   build root (default: build/ in the checkout)
#   K4_DEMO_ARCH    x86_64 (default, under wine64) or i686: the shipped 32-bit program and
#                   its driver under the 32-bit Wine of the i386 root (scripts/wine32-run.sh),
#                   or, where this kernel refuses i386 code, in the emulated guest
#                   (scripts/guest.sh; K4_I686_GUEST=1 takes it anyway): packed here,
#                   run and checked there
#   K4_DEMO_STUB    extractor program to pack into (default: the one k4pack carries for
#                   K4_DEMO_ARCH, no -s)
#   K4_DEMO_SKIP_BUILD=1   use the builds as they are (no setup, no build)
#   K4_DEMO_DPI     display resolution to run at (144: 150 %), set in a Wine prefix of its
#                   own (wineprefix-dpi, or wineprefix-i686-dpi, in the build root), so the
#                   tests' prefix keeps its 96; the screenshot is then window-150.png
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${K4_BUILD_ROOT:-$here/build}
export K4_BUILD_ROOT=$root
arch=${K4_DEMO_ARCH:-x86_64}
case "$arch" in
  x86_64) runner=(wine64); prefix() { printf '%s\n' "$WINEPREFIX"; } ;;
  i686)
    runner=("$here/scripts/wine32-run.sh")
    prefix() { printf '%s\n' "${K4_WINE32_PREFIX:-$root/wineprefix-i686}"; } ;;
  *) printf 'demo: K4_DEMO_ARCH must be x86_64 or i686, not %s\n' "$arch" >&2; exit 2 ;;
esac
stub=${K4_DEMO_STUB:-$root/$arch/app/K4EXTRACTOR.exe}
k4pack=$root/host/tools/k4pack/k4pack
work=$root/demo                 # the packed program and what the checks compare against
run_dir=$work/run               # the empty folder the program runs in
program=$work/K4DEMO.EXE
program_pid=""
caption='K4 demo archive'
target_win='C:\K4Demo'          # the payload's target directory, inside the Wine prefix
driver=$root/$arch/tests/e2e/k4_window_demo_driver.exe
shot=$work/window.png
dpi=${K4_DEMO_DPI:-}
[ -z "$dpi" ] || shot=$work/window-$((dpi * 100 / 96)).png

say() { printf '\n== %s\n' "$*"; }
fail() { printf 'demo: %s\n' "$*" >&2; exit 1; }

# Only what the demo runs: both extractor programs (k4pack carries both), k4pack and
# the window driver; no tests. The i386 root only when the demo runs the i686 program.
step_build() {
  say "Setting up and building the extractor programs, k4pack and the $arch window driver"
  "$here/scripts/setup.sh" --packages
  [ "$arch" = x86_64 ] || "$here/scripts/setup.sh" --i386-root
  "$here/scripts/build.sh" --demo "$arch"
}

step_pack() {
  say "Packing samples/demo into $program"
  [ -x "$k4pack" ] || fail "k4pack not built: $k4pack"
  # The program k4pack carries for the architecture, unless K4_DEMO_STUB names another.
  local stub_args=(--arch "${arch:-x86_64}")
  if [ -n "${K4_DEMO_STUB:-}" ]; then
    [ -f "$stub" ] || fail "extractor program not found: $stub"
    stub_args=(-s "$stub")
  fi
  rm -rf "$work"
  mkdir -p "$run_dir"
  "$k4pack" -o "$program" "${stub_args[@]}" \
    -t "$target_win" -c "$caption" -T 'Sample files packed by k4pack' \
    "$here/samples/demo"
  "$k4pack" inspect "$program"
  "$k4pack" verify "$program" "$here/samples/demo"
}

# The bytes DATAFILE.K4A must hold: the cabinet alone, from the end of the third text for
# the cabinet's own length (not the padding or the trailer behind it).
step_expected_datafile() {
  local offset size
  offset=$("$k4pack" inspect "$program" | awk '$1 == "cabinet:" && $5 == "offset" { print $6 }')
  size=$("$k4pack" inspect "$program" | awk '$1 == "cabinet:" && $5 == "offset" { print $2 }')
  [ -n "$offset" ] && [ -n "$size" ] || fail "inspect did not report where the cabinet lies"
  tail -c "+$((offset + 1))" "$program" | head -c "$size" >"$work/expected.k4a"
  [ "$(head -c 4 "$work/expected.k4a" | tr -d '\0')" = "MSCF" ] || fail "no cabinet where inspect put it"
}

step_start_program() {
  say "Starting the $arch program under Wine in the empty folder $run_dir"
  . "$here/scripts/wine-env.sh"
  if [ -n "$dpi" ]; then
    export K4_WINEPREFIX=$root/wineprefix-dpi K4_WINE32_PREFIX=$root/wineprefix-i686-dpi
  fi
  k4_env_start "$root"
  trap step_stop_program EXIT
  if [ -n "$dpi" ]; then
    say "Display resolution $dpi dpi in $(prefix)"
    "${runner[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null
  fi
  if [ "$arch" = i686 ] && ! reason=$("$here/scripts/wine32-run.sh" --check); then
    fail "i686: not run: $reason"
  fi
  target_dir=$(prefix)/drive_c/K4Demo
  rm -rf "$target_dir"
  (cd "$run_dir" && exec "${runner[@]}" "$program" </dev/null >"$work/program.log" 2>&1) &
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
  cmp "$datafile" "$work/expected.k4a" || fail "DATAFILE.K4A differs from the cabinet"
  say "DATAFILE.K4A appeared: $size bytes, the cabinet alone"
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

step_show_window() {
  say "The extractor window"
  [ -f "$driver" ] || fail "window driver not built: $driver"
  "${runner[@]}" "$driver" show "$caption" </dev/null || fail "the window did not appear"
  local xid
  xid=$(xdotool search --name "^$caption\$" | head -1)
  [ -n "$xid" ] || fail "no X window named $caption"
  sleep 0.5   # let the first paint finish
  import -window "$xid" "$shot"
  say "Screenshot of the window: $shot"
}

step_press_start() {
  say "Pressing Start"
  local out
  out=$("${runner[@]}" "$driver" start "$caption" </dev/null) || fail "pressing Start failed"
  printf '%s\n' "$out"
  grep -qF 'box:    Ok Files have been extracted as "C:\K4Demo\"' <<<"$out" || fail "no success message"
  for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program_pid" 2>/dev/null && fail "the program did not end after its success message"
  program_pid=""
}

step_check_extracted() {
  say "Extracted files in $target_dir"
  (cd "$target_dir" && find . -type f | sort | xargs ls -l --time-style=+%F.%T)
  diff -r "$here/samples/demo" "$target_dir" || fail "extracted files differ from samples/demo"
  [ ! -e "$run_dir/DATAFILE.K4A" ] || fail "DATAFILE.K4A was not deleted"
  say "All files byte-identical to samples/demo; DATAFILE.K4A deleted; the program has ended"
}

# The i686 program where this kernel refuses i386 code: k4pack packs here, the guest runs
# the rest of the demo (its own Wine, display and driver; the build root is shared).
in_guest() {
  [ "$arch" = i686 ] && [ "${K4_GUEST:-0}" != 1 ] &&
    { [ "${K4_I686_GUEST:-0}" = 1 ] || ! "$here/scripts/wine32-run.sh" --check >/dev/null 2>&1; }
}

main() {
  if [ "${K4_DEMO_PACKED:-0}" != 1 ]; then
    [ "${K4_DEMO_SKIP_BUILD:-0}" = 1 ] || step_build
    step_pack
    step_expected_datafile
  fi
  if in_guest; then
    say "This kernel cannot run i386 code: the rest runs in the emulated guest"
    exec "$here/scripts/guest.sh" --run env K4_DEMO_SKIP_BUILD=1 K4_DEMO_PACKED=1 bash "$here/scripts/demo.sh"
  fi
  step_start_program
  step_check_datafile
  step_show_window
  step_press_start
  step_check_extracted
  step_stop_program
  trap - EXIT
  say "Demo finished"
}

main "$@"
