#!/usr/bin/env bash
# Configures and builds the three builds under ${K4_BUILD_ROOT:-build}:
# x86_64 (tested under Wine), i686 (the shipped program) and host (the packer).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${K4_BUILD_ROOT:-$here/build}
jobs=${K4_JOBS:-$(nproc)}
configure() {  # dir, extra cmake args...
  local dir=$1; shift
  # Configured on every run: new folders add themselves only at configure time.
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}
configure "$root/host"
cmake --build "$root/host" -j "$jobs"
configure "$root/x86_64" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" -DK4PACK_EXECUTABLE="$root/host/tools/k4pack/k4pack" \
  -DK4_I686_BUILD_DIR="$root/i686"
cmake --build "$root/x86_64" -j "$jobs"
configure "$root/i686" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake"
cmake --build "$root/i686" -j "$jobs"
