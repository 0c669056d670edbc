#!/usr/bin/env bash
# Time to the window with the smallest payload for the stubs named on the command
# line (bench/startup.py), in a Wine environment of its own. Builds the packer and
# the driver in the build root first.
#   K4_BUILD_ROOT=build bash bench/startup.sh [--reps N] LABEL=STUB.exe ...
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: Wine refuses a relative prefix, and the build root names it.
root=$(cd "${K4_BUILD_ROOT:-$here/build}" && pwd)
cmake --build "$root/host" --target k4pack -j "${K4_JOBS:-2}" >/dev/null
cmake --build "$root/x86_64" --target k4bench_drive -j "${K4_JOBS:-2}" >/dev/null
. "$here/scripts/wine-env.sh"
k4_env_start "$root"
trap k4_env_stop EXIT
python3 "$here/bench/startup.py" "$root" "$@"
