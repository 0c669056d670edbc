#!/usr/bin/env bash
# Configures and builds the three builds under ${K4_BUILD_ROOT:-build}: host (the
# packer), x86_64 (tested under wine64) and i686 (the shipped program, tested under the
# 32-bit Wine of the i386 root). Both Windows builds pack their end-to-end programs
# with the host's k4pack. The order matters: k4pack carries both extractor programs, so
# their K4EXTRACTOR targets come first, then the host build with their paths, then
# everything else (whose end-to-end tests run that k4pack). k4pack.exe, in the x86_64
# build, carries its own build's program and the i686 one, named once that is built.
#
#   build.sh               everything
#   build.sh --demo ARCH   only what scripts/demo.sh runs: both extractor programs,
#                          k4pack, and the window driver of the ARCH build; no tests
#
#   K4_CCACHE=1   compile through ccache (for work trees that share one cache; CI leaves
#                 it off so that the reproducibility check compiles everything twice)
set -euo pipefail
demo_arch=""
case "${1:-}" in
  "") ;;
  --demo) demo_arch=${2:?"build.sh --demo needs x86_64 or i686"} ;;
  *) echo "usage: build.sh [--demo x86_64|i686]" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
root=${K4_BUILD_ROOT:-$here/build}
jobs=${K4_JOBS:-$(nproc)}
configure() {  # dir, extra cmake args...
  local dir=$1; shift
  # Configured on every run: new folders add themselves only at configure time.
  local launcher=()
  [ "${K4_CCACHE:-0}" != 1 ] || launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" "$@"
}
for arch in x86_64 i686; do
  configure "$root/$arch" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$arch.cmake" \
    -DK4PACK_EXECUTABLE="$root/host/tools/k4pack/k4pack"
done
# ---- the extractor programs k4pack carries, then k4pack ----
for arch in x86_64 i686; do cmake --build "$root/$arch" --target K4EXTRACTOR -j "$jobs"; done
# k4pack.exe (x86_64 build) carries the i686 program too, which exists only now.
configure "$root/x86_64" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" -DK4_STUB_I686="$root/i686/app/K4EXTRACTOR.exe"
configure "$root/host" -DK4_STUB_I686="$root/i686/app/K4EXTRACTOR.exe" -DK4_STUB_X86_64="$root/x86_64/app/K4EXTRACTOR.exe"
if [ -n "$demo_arch" ]; then
  cmake --build "$root/host" --target k4pack -j "$jobs"
  cmake --build "$root/$demo_arch" --target k4_window_demo_driver -j "$jobs"
  exit 0
fi
cmake --build "$root/host" -j "$jobs"
# ---- end of the stubs block ----
for arch in x86_64 i686; do
  cmake --build "$root/$arch" -j "$jobs"
done
