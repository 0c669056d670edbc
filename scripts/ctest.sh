#!/usr/bin/env bash
# Runs the tests of one build that is already built, for work between full runs of
# scripts/test.sh: the host build natively, x86_64 under wine64, with the same Wine
# prefix, Xvfb display and fixture volumes that scripts/test.sh gives them.
#
#   scripts/ctest.sh host|x86_64 [CTEST ARGS...]   e.g. scripts/ctest.sh x86_64 -R placement
#
# The i686 build's tests run through scripts/test.sh (natively where the kernel runs
# 32-bit code, otherwise in the emulated guest of scripts/guest.sh).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${K4_BUILD_ROOT:-$here/build}")
export K4_BUILD_ROOT=$root
[ $# -ge 1 ] || { echo "usage: ctest.sh host|x86_64 [CTEST ARGS...]" >&2; exit 2; }
arch=$1; shift
case "$arch" in
  host) cd "$root/host" && exec ctest --output-on-failure "$@" ;;
  x86_64) ;;
  *) echo "ctest.sh: host or x86_64 (i686 runs through scripts/test.sh)" >&2; exit 2 ;;
esac
if [ -z "${K4_IN_FIXTURE_MOUNTS:-}" ]; then
  export K4_IN_FIXTURE_MOUNTS=1
  exec "$here/scripts/fixture-mounts.sh" "$here/scripts/ctest.sh" "$arch" "$@"
fi
export K4_NO_WINE32=1   # this run starts only the 64-bit Wine
. "$here/scripts/wine-env.sh"
k4_env_start "$root"
trap k4_env_stop EXIT
cd "$root/$arch" && ctest --output-on-failure "$@"
