#!/usr/bin/env bash
# Runs a command in a private mount namespace that holds the volumes the placement
# tests (tests/e2e/PlacementE2ETest.cpp) need, under $K4_BUILD_ROOT/mounts:
#   ro/         a read-only view of ro-src/ (a test writes in ro-src/, runs from ro/)
#   small/      a tmpfs of 4 MiB: a target volume without room
#   fill/tiny/  a tmpfs of 1 MiB below the ordinary folder fill/: a target whose
#               subfolder fills part way through an extraction
# Each mounted volume holds an empty file ".k4-mounted". Wine's server opens files by
# path, so the wine server and the test programs must all run inside the namespace:
# the command given starts them (scripts/test.sh runs itself through this script).
#
#   scripts/fixture-mounts.sh COMMAND [ARGS...]
#   scripts/fixture-mounts.sh --release     (inside such a run only)
#   e.g. scripts/fixture-mounts.sh /work/wt/dev.sh ctest x86_64 -R placement
#
# Where the system refuses a mount namespace (no privilege), the command runs as it
# is, without the volumes, and the tests that need them skip with the reason.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${K4_BUILD_ROOT:-$here/build}")
mounts=$root/mounts

# --release: the volumes unmounted again, in the namespace the caller runs in (its own,
# made by this script): before the emulated guest, which makes its own. Shared into the
# guest, the read-only view would be the same directory as ro-src (one inode), and the
# guest's share client would then write to ro-src through the read-only view (Wine's
# answer: access denied).
if [ "${1:-}" = --release ]; then
  for volume in "$mounts/fill/tiny" "$mounts/small" "$mounts/ro"; do
    ! mountpoint -q "$volume" || umount "$volume"
  done
  exit 0
fi

if [ "${1:-}" = --inside ]; then
  shift
  mkdir -p "$mounts/ro-src" "$mounts/ro" "$mounts/small" "$mounts/fill/tiny"
  if mount --bind "$mounts/ro-src" "$mounts/ro" && mount -o remount,bind,ro "$mounts/ro" &&
     mount -t tmpfs -o size=4m,mode=0777 k4small "$mounts/small" &&
     mount -t tmpfs -o size=1m,mode=0777 k4tiny "$mounts/fill/tiny"; then
    : >"$mounts/small/.k4-mounted"
    : >"$mounts/fill/tiny/.k4-mounted"
  else
    echo "fixture mounts: refused; the tests that need them will skip" >&2
  fi
  exec "$@"
fi

[ $# -gt 0 ] || { echo "usage: fixture-mounts.sh COMMAND [ARGS...]" >&2; exit 2; }
if unshare --mount --propagation private true 2>/dev/null; then
  exec unshare --mount --propagation private "$0" --inside "$@"
fi
echo "fixture mounts: no private mount namespace here (unshare refused); the tests that need them will skip" >&2
exec "$@"
