#!/usr/bin/env bash
# Runs inside the emulated guest (scripts/guest.sh): the same surroundings scripts/test.sh
# gives a test run on the host (an Xvfb display, a persistent wine server with its
# services started, the desktop keeper, the fixture volumes), with the guest's 32-bit Wine
# and a win32 prefix kept on the guest's own disk, then the command given.
#
#   guest-job.sh COMMAND [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# The wine server opens files by path: it must run inside the namespace that holds the
# fixture volumes, as the tests do, or a file "on" the small volume lands on the share.
if [ -z "${K4_IN_FIXTURE_MOUNTS:-}" ]; then
  export K4_IN_FIXTURE_MOUNTS=1
  exec "$here/scripts/fixture-mounts.sh" "$0" "$@"
fi
root=${K4_BUILD_ROOT:-$here/build}
export PATH=/usr/lib/wine:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
export WINEPREFIX=/var/k4/wineprefix-i686 WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d" K4_WINE32_PREFIX=/var/k4/wineprefix-i686
# The display-scale test's prefix on the guest's disk too; K4_EMULATED tells the few
# tests that are too slow for full-system emulation (they say so when they skip).
export K4_DPI_PREFIX=/var/k4/wineprefix-dpi K4_EMULATED=1
# Of the display scales, 150 % (the others run natively), unless every test was asked for.
[ "${K4_EMULATED_ALL:-0}" = 1 ] || export K4_DPI_LIST=${K4_DPI_LIST:-144}
export LANG=${LANG:-C.UTF-8}
mkdir -p /var/k4 /tmp/.X11-unix
Xvfb :90 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:90
for _ in $(seq 100); do [ -e /tmp/.X11-unix/X90 ] && break; sleep 0.1; done
setsid wineserver -p >/dev/null 2>&1 &
started=$SECONDS
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i </dev/null >/dev/null 2>&1 || true
else
  wine wineboot </dev/null >/dev/null 2>&1 || true
fi
# Unmanaged windows, as on the host (see scripts/wine-env.sh).
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
# A program that crashes: its backtrace on the test's output, not a dialog that waits.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 || true
echo "guest: Wine ready in $((SECONDS - started)) s ($(nproc) processors)"
keeper=$root/i686/tests/support/k4_desktop_keeper.exe
[ ! -f "$keeper" ] || (setsid wine "$keeper" </dev/null >/dev/null 2>&1 &)
"$@"
rc=$?
wineserver -k >/dev/null 2>&1 || true
exit "$rc"
