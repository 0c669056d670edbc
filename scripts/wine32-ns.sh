#!/usr/bin/env bash
# Runs inside a private mount namespace made by unshare: mounts into the i386 root what
# 32-bit Wine needs, each host folder at its own absolute path, then runs a command
# chrooted there. Nothing reaches the host's mounts; they end with the namespace.
#
#   wine32-ns.sh ROOT PIDFILE DIR... -- COMMAND [ARGS...]
#
# PIDFILE ("-" for none) receives this process's id just before the command replaces
# it, so a caller can enter the namespace later (nsenter --target ID --mount --root).
set -euo pipefail
root=$1 pidfile=$2
shift 2
dirs=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do dirs+=("$1"); shift; done
[ $# -gt 1 ] || { echo "usage: wine32-ns.sh ROOT PIDFILE DIR... -- COMMAND..." >&2; exit 2; }
shift

mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t sysfs sysfs "$root/sys"
for dir in "${dirs[@]}"; do
  mkdir -p "$root$dir"
  mount --rbind "$dir" "$root$dir"   # with what is mounted below it (an X socket folder)
done
[ "$pidfile" = - ] || echo $$ >"$pidfile"
exec chroot "$root" "$@"
