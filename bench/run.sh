#!/usr/bin/env bash
# Runs the whole benchmark: builds the packer, the extractor and the benchmark programs
# in the build root, writes the data sets once (bench/make_data.py, gcab), then times
# everything under a Wine environment of its own (bench/run.py). Results go to
# $K4_BUILD_ROOT/bench-data/results.md; copy the tables into bench/README.md.
#   K4_BUILD_ROOT=/work/main/build-bench bash bench/run.sh [--quick | --reps N] [--sets A,B] [--no-build]
# (--reps: repetitions of every set, 5 unless said; --quick: one; --sets: those sets alone)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${K4_BUILD_ROOT:-$here/build-bench}
jobs=${K4_JOBS:-2}
build=1
for arg in "$@"; do [ "$arg" = --no-build ] && build=0; done

if [ "$build" = 1 ]; then
  cmake -S "$here" -B "$root/host" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/host" --target k4pack -j "$jobs"
  cmake -S "$here" -B "$root/x86_64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-x86_64.cmake" \
    -DK4PACK_EXECUTABLE="$root/host/tools/k4pack/k4pack" >/dev/null
  cmake --build "$root/x86_64" --target K4EXTRACTOR k4bench_fdi k4bench_copy k4bench_drive -j "$jobs"
fi

python3 "$here/bench/make_data.py" "$root/bench-data"

. "$here/scripts/wine-env.sh"
k4_env_start "$root"
trap k4_env_stop EXIT
python3 -B "$here/bench/run.py" "$root" "$@"
