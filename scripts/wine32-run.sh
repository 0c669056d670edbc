#!/usr/bin/env bash
# Runs Windows programs with the 32-bit Wine of the private i386 root (made by
# scripts/setup.sh): CTest's emulator for the i686 build, and the keeper of the one
# namespace in which all those runs share their mounts and one persistent wine server.
#
#   wine32-run.sh PROGRAM [ARGS...]      run a Windows program (the emulator's use)
#   wine32-run.sh --tool COMMAND [ARGS...]  run a command of the root (wineboot, wineserver)
#   wine32-run.sh --check                say why 32-bit programs cannot run here, exit 1
#   wine32-run.sh --probe ROOT           say why ROOT's programs cannot run here, exit 1
#   wine32-run.sh --start | --stop       start or stop the kept namespace and its server
#
#   K4_BUILD_ROOT     build root (default: build/ in the checkout)
#   K4_I386_ROOT      the i386 root (default: $K4_BUILD_ROOT/i386-root)
#   K4_WINE32_PREFIX  the 32-bit Wine prefix (default: $K4_BUILD_ROOT/wineprefix-i686)
#
# The 32-bit wine server opens files by path and outlives a run by a few seconds, so every
# run must see the same folders at the same paths: the checkout, the build root and /tmp
# (temporary files and the X display's socket). With the kept namespace there (--start),
# runs enter it with nsenter; without, each run makes an identical one for itself.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=${K4_BUILD_ROOT:-$here/build}
build_root=$(realpath -m "$build_root")
i386_root=$(realpath -m "${K4_I386_ROOT:-$build_root/i386-root}")
prefix=$(realpath -m "${K4_WINE32_PREFIX:-$build_root/wineprefix-i686}")
pidfile=$build_root/wine32-ns.pid

# The folders every run mounts, each once: a folder inside another one listed comes along.
mount_dirs() {
  local dirs=(/tmp "$here") dir
  case "$build_root/" in "$here"/*) ;; *) dirs+=("$build_root") ;; esac
  case "$prefix/" in "$here"/* | "$build_root"/*) ;; *) dirs+=("$prefix") ;; esac
  for dir in "${dirs[@]}"; do printf '%s\n' "$dir"; done
}

# Says why ROOT cannot run its programs here, or nothing. A kernel without 32-bit
# support refuses the root's own /bin/true (an i386 program) with "Exec format error".
probe() {  # root
  local out
  out=$(chroot "$1" /bin/true 2>&1) && return 0
  case "$out" in
    *"Exec format error"*) echo "this kernel cannot run i386 programs (chroot $1 /bin/true: Exec format error)" ;;
    *) echo "chroot $1 /bin/true failed: ${out:-no reason given}" ;;
  esac
  return 1
}

check() {
  local unusable
  unusable=$(dirname "$i386_root")/i386-root.unusable
  if [ -f "$unusable" ]; then sed 's/^i686: not run: //' "$unusable"; return 1; fi
  if [ ! -x "$i386_root/usr/lib/wine/wine" ]; then
    echo "no i386 root with 32-bit Wine at $i386_root (scripts/setup.sh makes it)"
    return 1
  fi
  probe "$i386_root"
}

# The id of the kept namespace's first process, when it is alive and chrooted in our root.
kept_namespace() {
  local pid
  pid=$(cat "$pidfile" 2>/dev/null) || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 1
  [ "$(readlink "/proc/$pid/root")" = "$i386_root" ] || return 1
  printf '%s\n' "$pid"
}

# The command line that runs COMMAND... in the root with a clean environment, in the
# caller's working directory (the same path there).
inner_command() {
  local env=(PATH=/usr/lib/wine:/usr/bin:/bin HOME="$prefix.home" WINEPREFIX="$prefix" WINEARCH=win32)
  local name
  for name in DISPLAY WINEDEBUG WINEDLLOVERRIDES LANG LC_ALL TZ $(compgen -e | grep -E '^(GTEST_|K4_)' || true); do
    [ -n "${!name+x}" ] && env+=("$name=${!name}")
  done
  printf '%s\0' env -i "${env[@]}" /bin/sh -c 'cd "$1" || exit 125; shift; exec "$@"' sh "$PWD" "$@"
}

# Runs a command of the root: in the kept namespace when there is one, else in one of its own.
in_root() {
  local cmd=() pid dirs
  mapfile -d '' cmd < <(inner_command "$@")
  mkdir -p "$prefix.home"
  if pid=$(kept_namespace); then
    exec nsenter --target "$pid" --mount --root --wd -- "${cmd[@]}"
  fi
  mapfile -t dirs < <(mount_dirs)
  exec unshare --mount --propagation private -- "$here/scripts/wine32-ns.sh" "$i386_root" - "${dirs[@]}" -- "${cmd[@]}"
}

start() {
  local dirs _
  check >/dev/null || return 0
  if ! kept_namespace >/dev/null; then
    rm -f "$pidfile"
    mapfile -t dirs < <(mount_dirs)
    setsid unshare --mount --propagation private -- "$here/scripts/wine32-ns.sh" "$i386_root" "$pidfile" \
      "${dirs[@]}" -- /bin/sleep infinity </dev/null >/dev/null 2>&1 &
    for _ in $(seq 100); do kept_namespace >/dev/null && break; sleep 0.05; done
    kept_namespace >/dev/null || { echo "wine32-run.sh: the namespace did not start" >&2; return 1; }
  fi
  mkdir -p "$prefix"
  ("$0" --tool wineserver -p </dev/null >/dev/null 2>&1 &)
  # Wine's service processes start here, on /dev/null, not later inside a test whose
  # output pipe they would inherit and keep open.
  if [ ! -f "$prefix/system.reg" ]; then
    "$0" --tool wineboot -i </dev/null >/dev/null 2>&1 || true
  else
    "$0" --tool wineboot </dev/null >/dev/null 2>&1 || true
  fi
  # Unmanaged windows, as in the 64-bit prefix (see scripts/wine-env.sh).
  "$0" --tool wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  # The desktop must outlive every gap between tests (see tests/support/DesktopKeeper.cpp).
  local keeper=$build_root/i686/tests/support/k4_desktop_keeper.exe
  [ ! -f "$keeper" ] || ("$0" "$keeper" </dev/null >/dev/null 2>&1 &)
}

stop() {
  local pid
  pid=$(kept_namespace) || { rm -f "$pidfile"; return 0; }
  "$0" --tool wineserver -k >/dev/null 2>&1 || true
  kill "$pid" 2>/dev/null || true
  rm -f "$pidfile"
}

# In the emulated guest (scripts/guest.sh) the kernel runs 32-bit code and the guest's
# own Wine is 32-bit capable: programs run directly, in the prefix scripts/guest-job.sh set
# (or the one a caller names in K4_WINE32_PREFIX, as the display-scale test does).
if [ "${K4_GUEST:-0}" = 1 ]; then
  export WINEPREFIX=${K4_WINE32_PREFIX:-${WINEPREFIX:-}}
  case "${1:-}" in
    --check | --start | --stop) exit 0 ;;
    --probe) exit 2 ;;
    --tool) shift; exec "$@" ;;
    "" | -*) exit 2 ;;
    *)
      # The emulated run takes only some cases of some programs (tests/emulated.txt):
      # the program's GoogleTest filter, where the list gives one.
      if [ -n "${K4_EMULATED_FILTERS:-}" ] && [ -f "$K4_EMULATED_FILTERS" ]; then
        filter=$(awk -v p="$(basename "$1" .exe)" '$1 == p { print $2; exit }' "$K4_EMULATED_FILTERS")
        [ -z "$filter" ] || export GTEST_FILTER=$filter
      fi
      exec wine "$@" ;;
  esac
fi

case "${1:-}" in
  --check) check ;;
  --probe) [ $# -eq 2 ] || exit 2; probe "$2" ;;
  --start) start ;;
  --stop) stop ;;
  --tool) shift; check >&2 || exit 1; in_root "$@" ;;
  "" | -*) echo "usage: wine32-run.sh PROGRAM [ARGS...] | --tool COMMAND... | --check | --probe ROOT | --start | --stop" >&2; exit 2 ;;
  *) check >&2 || exit 1; in_root /usr/lib/wine/wine "$@" ;;
esac
