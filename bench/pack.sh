#!/usr/bin/env bash
# Packing speed: k4pack (one thread and every core) against gcab -c -z, and the cabinet
# sizes, on the benchmark's mixed200 and small20k source folders (bench/pack.py). Uses
# the builds under $K4_BUILD_ROOT (scripts/build.sh makes them) and the data sets under
# $K4_BENCH_DATA (bench/make_data.py makes them).
#   K4_BUILD_ROOT=build K4_BENCH_DATA=build-bench/bench-data bash bench/pack.sh [REPS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
root=${K4_BUILD_ROOT:-$here/build}
data=${K4_BENCH_DATA:-$root/bench-data}
k4pack=$root/host/tools/k4pack/k4pack
[ -x "$k4pack" ] || { echo "pack.sh: no k4pack at $k4pack (run scripts/build.sh)" >&2; exit 1; }
for set in mixed200 small20k; do
  [ -d "$data/src-$set" ] || { echo "pack.sh: no $data/src-$set (run bench/make_data.py $data)" >&2; exit 1; }
done
python3 "$here/bench/pack.py" "$k4pack" "$data" "$root/bench-pack-out" "${1:-5}"
