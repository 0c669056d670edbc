#!/usr/bin/env bash
# The branded self-extractors of the branded end-to-end test, made and checked natively
# (k4pack and the signing tools run on the host, the programs then run under Wine).
#
#   BrandedFixture.sh DIR K4PACK ARCH US_STUB ICON INPUT   writes into DIR (emptied first):
#     branded.exe          the carried ARCH program packed from INPUT with every branding
#                          option (icon ICON, version 1.2.3.4, requireAdministrator); packed
#                          twice, the same bytes; k4pack verify passes on it
#     branded-signed.exe   branded.exe signed by osslsigncode: the signature verifies, and so
#                          does k4pack verify
#     test.ico             ICON, for the test to compare the images with
#     about.exe            US_STUB (version strings in the table the About window reads)
#                          packed with --file-version 7.8.9.10
set -euo pipefail
export LC_ALL=C
export SOURCE_DATE_EPOCH=1600000000  # for packing and for verify, which compares the stored times
[ $# -eq 6 ] || { echo "usage: $0 DIR K4PACK ARCH US_STUB ICON INPUT" >&2; exit 2; }
dir=$1 k4pack=$2 arch=$3 us_stub=$4 icon=$5 input=$6
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
brand() {  # output
  "$k4pack" -q -o "$1" --arch "$arch" -t 'C:\K4Branded' -c 'K4 branded test' \
    --icon "$icon" --product-name 'Example' --company 'Example Ltd' --description 'Example setup' \
    --copyright '(c) Example' --product-version 5.6.7.8 --file-version 1.2.3.4 \
    --execution-level requireAdministrator "$input" >/dev/null
}
brand branded.exe
brand again.exe
cmp branded.exe again.exe || { echo "two runs gave different bytes" >&2; exit 1; }
"$k4pack" verify branded.exe "$input" >/dev/null
cp "$icon" test.ico
"$k4pack" -q -o about.exe -s "$us_stub" -c 'K4 branded about' --file-version 7.8.9.10 "$input" >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 7 \
  -subj '/CN=K4 Test Publisher' 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -n 'K4 branded test' -in branded.exe -out branded-signed.exe >/dev/null
osslsigncode verify -CAfile cert.pem -in branded-signed.exe >verify.log 2>&1 ||
  { cat verify.log; echo "branded-signed.exe: signature not accepted" >&2; exit 1; }
"$k4pack" verify branded-signed.exe "$input" >/dev/null
