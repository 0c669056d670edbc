# Sourced by the test and demo scripts: a project-local Wine prefix under the build
# root, one persistent wine server (later starts take ~0.1 s instead of ~3 s) and an
# Xvfb display for anything that opens a window; the same for 32-bit Wine in the i386
# root when it can run here (scripts/wine32-run.sh keeps its namespace, its prefix in
# $root/wineprefix-i686 and its server). k4_env_stop undoes what k4_env_start did.
k4_wine32_run=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine32-run.sh

k4_env_start() {  # build root
  local root=$1
  # In the emulated guest scripts/guest-job.sh has made all of this already.
  [ "${K4_GUEST:-0}" != 1 ] || return 0
  export K4_BUILD_ROOT=$root
  export PATH="/usr/lib/wine:$PATH"
  export WINEPREFIX="${K4_WINEPREFIX:-$root/wineprefix}"  # another one for a run of its own
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local n=${K4_DISPLAY:-}
  if [ -z "$n" ]; then
    n=90
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
  fi
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  K4_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${n}" ] && break; sleep 0.1; done
  mkdir -p "$WINEPREFIX"
  setsid wineserver -p >/dev/null 2>&1 &
  # Start Wine's own service processes now, on /dev/null: started later by a test
  # program they would inherit its output pipe and keep CTest waiting for its end.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
  else
    wine64 wineboot </dev/null >/dev/null 2>&1 || true
  fi
  # Unmanaged windows: Xvfb has no window manager, and for windows left to one Wine
  # waits 2 s at every hide or destroy for a state change that never comes. Wine
  # then also draws the title bars itself, so screenshots show them.
  wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  # The desktop must outlive every gap between tests (see tests/support/DesktopKeeper.cpp).
  local keeper=$root/x86_64/tests/support/k4_desktop_keeper.exe
  [ -f "$keeper" ] && (setsid wine64 "$keeper" </dev/null >/dev/null 2>&1 &)
  [ "${K4_NO_WINE32:-0}" = 1 ] || "$k4_wine32_run" --start || echo "i686: the 32-bit Wine did not start" >&2
}

k4_env_stop() {
  [ "${K4_GUEST:-0}" != 1 ] || return 0
  "$k4_wine32_run" --stop >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${K4_XVFB_PID:-}" ] && kill "$K4_XVFB_PID" >/dev/null 2>&1 || true
  return 0
}
