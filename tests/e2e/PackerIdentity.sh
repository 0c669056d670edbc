#!/usr/bin/env bash
# The same files and options give the same archive from k4pack on Linux and from
# k4pack.exe under Wine, byte for byte; and the same refusal, word for word.
#
#   PackerIdentity.sh DIR K4PACK K4PACK_EXE WINE MAKE_ICON   works in DIR (emptied first):
#     a folder of files (sizes around a block's 32768 bytes, a large one, nested folders,
#     names whose order differs by letter case), their times set, packed by both programs
#     with each set of options below, in two time zones, with SOURCE_DATE_EPOCH later than
#     some times and earlier than others; relative and absolute (Z:) paths for Wine.
set -euo pipefail
# Wine reads file names in the locale's character set: UTF-8, as Linux programs write them.
export LC_ALL=C.UTF-8
[ $# -eq 5 ] || { echo "usage: $0 DIR K4PACK K4PACK_EXE WINE MAKE_ICON" >&2; exit 2; }
dir=$1 linux=$2 exe=$3 wine=$4 make_icon=$5
rm -rf "$dir"
mkdir -p "$dir/in/sub/deeper" "$dir/in/Upper" "$dir/foreign"
cd "$dir"

filler() {  # size seed: repetitive text and incompressible bytes by turns
  python3 -c 'import random, sys
n, seed = int(sys.argv[1]), int(sys.argv[2])
r = random.Random(seed)
out = bytearray()
while len(out) < n:
    out += r.randbytes(40000) if len(out) // 40000 % 2 else b"k4pack identity " * 2500
sys.stdout.buffer.write(out[:n])' "$1" "$2"
}
: > in/empty.txt
printf 1 > in/one.bin
filler 32767 1 > in/sub/almost.bin
filler 32768 2 > in/sub/block.bin
filler 32769 3 > in/sub/deeper/over.bin
filler 2500000 4 > in/large.bin
printf 'upper\r\n' > in/Upper/B.txt
printf 'lower\r\n' > in/a.txt
printf 'underscore\r\n' > in/_x.txt
printf 'run me\r\n' > in/sub/setup.cmd
# Times before SOURCE_DATE_EPOCH stay (one on an odd second), the one after is clamped.
export SOURCE_DATE_EPOCH=1600000000
find in -type f -exec touch -d @1500000000 {} +
touch -d @1555555555 in/sub/block.bin
touch -d @1700000000 in/large.bin
python3 "$make_icon" icon.ico
printf 'refused\n' > "foreign/$(printf 'caf\xc3\xa9.txt')"

winpath() { local p; p=$(realpath -m "$1"); p=${p//\//\\}; printf 'Z:%s' "$p"; }
failed=0
n=0
# Both programs with the same arguments (relative paths, which Wine completes from the
# current folder as Z:\...); their outputs compared.
both() {  # zone, arguments...
  local zone=$1; shift
  n=$((n + 1))
  TZ=$zone "$linux" -q -o "linux-$n.exe" "$@" >/dev/null
  TZ=$zone "$wine" "$exe" -q -o "windows-$n.exe" "$@" >/dev/null
  cmp -s "linux-$n.exe" "windows-$n.exe" ||
    { echo "different bytes (TZ=$zone): $*" >&2; failed=1; }
}
for zone in UTC XST-5:30; do
  both "$zone" in
  both "$zone" -0 in
  both "$zone" -j 1 in
  both "$zone" -j 3 in
  both "$zone" --arch x86_64 in
  both "$zone" in/sub in/a.txt in/Upper/B.txt
  both "$zone" -t 'C:\Target' -c 'Identity caption' -T 'The title line' in
  both "$zone" --icon icon.ico --product-name Example --company 'Example Ltd' --file-version 1.2.3.4 \
    --execution-level requireAdministrator in
  both "$zone" --run 'sub\setup.cmd /quiet' --run-temporary in
done
# An absolute path for Wine (Z:\...) and for Linux give the same bytes as the relative ones.
TZ=UTC "$wine" "$exe" -q -o "$(winpath absolute.exe)" "$(winpath in)" >/dev/null
cmp -s absolute.exe linux-1.exe || { echo "an absolute Z: path gave other bytes" >&2; failed=1; }
# The times were stored as the zone gives them: the two zones' archives differ.
cmp -s linux-1.exe "linux-$((n / 2 + 1)).exe" && { echo "the time zone changed nothing" >&2; failed=1; }

# A refusal: the same status and the same message (the name as the same UTF-8 bytes).
set +e
"$linux" -q -o refused.exe foreign 2>linux.err; linux_status=$?
"$wine" "$exe" -q -o refused.exe foreign 2>windows.err; windows_status=$?
set -e
[ "$linux_status" = 1 ] && [ "$windows_status" = 1 ] ||
  { echo "refusal: status $linux_status on Linux, $windows_status under Wine" >&2; failed=1; }
cmp -s linux.err windows.err || { echo "refusal: other messages:" >&2; cat linux.err windows.err >&2; failed=1; }
grep -q 'caf' linux.err || { echo "refusal: no message" >&2; failed=1; }
[ ! -e refused.exe ] || { echo "refusal: an output was written" >&2; failed=1; }
[ "$failed" = 0 ] && echo "$n packs: the same bytes from both programs"
exit "$failed"
