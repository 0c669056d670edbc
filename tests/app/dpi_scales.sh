#!/usr/bin/env bash
# Runs the display-scale test program once per scale (100, 125, 150, 175 and 200 %), in
# a Wine prefix of its own whose system resolution (HKCU\Control Panel\Desktop,
# LogPixels, which Wine reads when a program starts) it sets before each run. The
# prefix every other test shares keeps its 96: CTest runs those two at a time. The
# prefix is a copy of the shared one, made once beside the program, and runs its own
# wine server, which is stopped at the end (and with it any desktop process that holds
# this script's output).
#
#   dpi_scales.sh EMULATOR PROGRAM [ARGS...]
#     EMULATOR  wine64, or scripts/wine32-run.sh for the i686 build
set -uo pipefail
if [ $# -lt 2 ]; then echo "usage: $0 EMULATOR PROGRAM [ARGS...]" >&2; exit 2; fi
emulator=$1 program=$2; shift 2
# Beside the program, or where K4_DPI_PREFIX says (the emulated guest keeps it on its
# own disk: a prefix copied onto the shared build folder takes minutes there).
prefix=${K4_DPI_PREFIX:-$(cd "$(dirname "$program")" && pwd)/wineprefix-dpi}  # Wine wants it absolute

case "$(basename "$emulator")" in
  wine32-run.sh)
    shared=${K4_WINE32_PREFIX:-${K4_BUILD_ROOT:-$(dirname "$emulator")/../build}/wineprefix-i686}
    export K4_WINE32_PREFIX=$prefix
    stop_server() { "$emulator" --tool wineserver -k >/dev/null 2>&1; }
    ;;
  *)
    shared=${WINEPREFIX:-$HOME/.wine}
    export WINEPREFIX=$prefix
    stop_server() { wineserver -k >/dev/null 2>&1; }
    ;;
esac

if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix" "$prefix.new"
  if [ -f "$shared/system.reg" ]; then
    cp -a "$shared" "$prefix.new" && mv "$prefix.new" "$prefix" || exit 2
  else
    mkdir -p "$prefix"
    "$emulator" wineboot -i </dev/null >/dev/null 2>&1
  fi
fi
trap stop_server EXIT

status=0
# K4_DPI_LIST: the resolutions to take (the emulated guest takes only 144, 150 %).
for dpi in ${K4_DPI_LIST:-96 120 144 168 192}; do
  # A server still ending after the last run can refuse the next client for a moment
  # (seen on a busy machine): a few tries before giving up.
  set_ok=0
  for _ in 1 2 3 4 5; do
    if "$emulator" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
         </dev/null >/dev/null 2>&1; then set_ok=1; break; fi
    sleep 1
  done
  if [ "$set_ok" -ne 1 ]; then
    echo "cannot set the resolution $dpi in $prefix" >&2
    exit 2
  fi
  echo "=== $((dpi * 100 / 96)) % ($dpi dpi)"
  K4_EXPECT_DPI=$dpi "$emulator" "$program" --gtest_color=no "$@" </dev/null || status=1
done
exit $status
