#!/usr/bin/env bash
# Host test of scripts/wine32-run.sh's refusals: a root whose programs this kernel cannot
# run (as an i386 root on a kernel without 32-bit support), a root found unusable by the
# setup, no root at all; and a root whose programs do run. Each refusal must say why,
# exit non-zero and run nothing. Needs root (chroot); exit 77 (skipped) otherwise.
#
#   wine32_run_test.sh WINE32_RUN
set -uo pipefail
run=$1
# The cases name their roots through K4_BUILD_ROOT; a shared root that the calling run
# names in K4_I386_ROOT would take their place.
unset K4_I386_ROOT
[ "$(id -u)" -eq 0 ] || { echo "skipped: chroot needs root"; exit 77; }
. "$(dirname "$0")/expect.sh"

# A root whose /bin/true and /bin/sh are not programs for this kernel: execve refuses
# them with ENOEXEC, exactly as a kernel without IA32 emulation refuses i386 programs.
foreign=$scratch/build/i386-root
mkdir -p "$foreign/bin" "$foreign/usr/lib/wine"
for f in bin/true bin/sh usr/lib/wine/wine; do
  head -c 64 /dev/zero >"$foreign/$f"; chmod +x "$foreign/$f"
done
expect "probe, foreign programs" 1 "this kernel cannot run i386 programs" "$run" --probe "$foreign"
expect "check, foreign programs" 1 "cannot run i386 programs" env K4_BUILD_ROOT="$scratch/build" "$run" --check
touch "$scratch/ran"
expect "program, foreign programs" 1 "cannot run i386 programs" \
  env K4_BUILD_ROOT="$scratch/build" "$run" "$scratch/ran.exe"
expect "tool, foreign programs" 1 "cannot run i386 programs" \
  env K4_BUILD_ROOT="$scratch/build" "$run" --tool /bin/true
[ ! -e "$scratch/build/wine32-ns.pid" ] || fail "a refused run left a namespace behind"
expect "start, foreign programs" 0 "" env K4_BUILD_ROOT="$scratch/build" "$run" --start
[ ! -e "$scratch/build/wine32-ns.pid" ] || fail "start made a namespace for an unusable root"

# The setup's verdict, kept beside the root, is said as it was found.
echo "i686: not run: kernel said no" >"$scratch/build/i386-root.unusable"
expect "check, setup's verdict" 1 "kernel said no" env K4_BUILD_ROOT="$scratch/build" "$run" --check
rm -f "$scratch/build/i386-root.unusable"

# No root at all.
expect "check, no root" 1 "no i386 root with 32-bit Wine" env K4_BUILD_ROOT="$scratch/none" "$run" --check

# A root whose /bin/true runs (the host's own, with its libraries) passes the probe.
native=$scratch/native
for f in /bin/true $(ldd /bin/true | grep -o '/[^ ]*'); do
  mkdir -p "$native$(dirname "$f")"; cp -L "$f" "$native$f"
done
expect "probe, runnable programs" 0 "" "$run" --probe "$native"

[ "$failures" -eq 0 ] && echo "all wine32-run.sh refusals hold"
exit $((failures > 0))
