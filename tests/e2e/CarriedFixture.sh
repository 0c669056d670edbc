#!/usr/bin/env bash
# The self-extractor of the carried-stub end-to-end test, made natively with k4pack and
# no -s: the extractor program k4pack carries for this build's architecture.
#
#   CarriedFixture.sh DIR K4PACK ARCH INPUT STUB   writes DIR/carried.exe (DIR emptied first):
#     INPUT packed by K4PACK with the carried ARCH program (i686 without --arch: the default),
#     whose program bytes must be exactly STUB, the program this build made.
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 DIR K4PACK ARCH INPUT STUB" >&2; exit 2; }
dir=$1 k4pack=$2 arch=$3 input=$4 stub=$5
rm -rf "$dir"
mkdir -p "$dir"
arch_args=(--arch "$arch")
[ "$arch" = i686 ] && arch_args=()
"$k4pack" -o "$dir/carried.exe" "${arch_args[@]}" -t 'C:\K4Carried' -c 'K4 carried test' \
  -T 'Packed with the carried program' "$input" >/dev/null
"$k4pack" --version | grep -q "^  $arch " || { echo "k4pack carries no $arch program" >&2; exit 1; }
size=$(stat -c %s "$stub")
cmp -n "$size" "$stub" "$dir/carried.exe" ||
  { echo "carried.exe does not start with this build's $stub" >&2; exit 1; }
"$k4pack" verify "$dir/carried.exe" "$input"
