#!/usr/bin/env bash
# The signed self-extractors of the signed end-to-end test, made and checked natively
# (signing tools run on the host, the signed programs then run under Wine).
#
#   SignedFixture.sh make   DIR K4PACK STUB CABINET   writes into DIR (emptied first):
#     packed.exe            STUB packed by k4pack with --cab CABINET (a multiple of 8 bytes)
#     packed-signed.exe     packed.exe signed: its certificate table follows the trailer
#     unpadded.exe          STUB + payload appended by hand, deliberately not a multiple of 8
#     unpadded-signed.exe   unpadded.exe signed: zero bytes inserted before the table
#     cert.pem, key.pem     the self-made certificate and its key
#   SignedFixture.sh verify DIR                       both signatures verify with cert.pem as
#                                                     CA, and a changed payload byte breaks one
set -euo pipefail
export LC_ALL=C

# A 32-bit little-endian integer as 4 bytes.
le32() {
  local v=$1
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)))"
}

sign() {  # name
  osslsigncode sign -certs cert.pem -key key.pem -n 'K4 signed test' \
    -in "$1.exe" -out "$1-signed.exe" >/dev/null
}

make_unpadded() {  # stub cabinet
  local stub=$1 cabinet=$2 t1='C:\K4Unpadded' t2='K4 unpadded test' t3='Signed after a plain append'
  local fixed=$(( $(stat -c %s "$stub") + 12 + ${#t1} + ${#t2} + $(stat -c %s "$cabinet") + 4 ))
  # The title grows until the file is not a multiple of 8, so signing must insert bytes.
  while [ $(( (fixed + ${#t3}) % 8 )) -eq 0 ]; do t3="$t3."; done
  local block=$(( 12 + ${#t1} + ${#t2} + ${#t3} + $(stat -c %s "$cabinet") ))
  { cat "$stub"; le32 ${#t1}; printf '%s' "$t1"; le32 ${#t2}; printf '%s' "$t2"
    le32 ${#t3}; printf '%s' "$t3"; cat "$cabinet"; le32 "$block"; } >unpadded.exe
}

make() {  # dir k4pack stub cabinet
  local dir=$1 k4pack=$2 stub=$3 cabinet=$4
  rm -rf "$dir"
  mkdir -p "$dir"
  cd "$dir"
  "$k4pack" -o packed.exe -s "$stub" -t 'C:\K4Signed' -c 'K4 signed test' -T 'Signed files' \
    --cab "$cabinet" >/dev/null
  make_unpadded "$stub" "$cabinet"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 7 \
    -subj '/CN=K4 Test Publisher' 2>/dev/null
  sign packed
  sign unpadded
  "$k4pack" inspect packed-signed.exe | grep -q '^signature: *certificate table of'
}

verify() {  # dir
  cd "$1"
  for name in packed unpadded; do
    osslsigncode verify -CAfile cert.pem -in "$name-signed.exe" >"$name-verify.log" 2>&1 ||
      { cat "$name-verify.log"; echo "$name-signed.exe: signature not accepted" >&2; exit 1; }
  done
  # The signature covers the payload: one changed byte in the cabinet must break it.
  cp packed-signed.exe changed-signed.exe
  local at=$(( $(stat -c %s packed.exe) - 100 ))
  printf 'X' | dd of=changed-signed.exe bs=1 seek="$at" conv=notrunc status=none
  if osslsigncode verify -CAfile cert.pem -in changed-signed.exe >changed-verify.log 2>&1; then
    echo "a changed payload byte still verifies: the signature does not cover the payload" >&2
    exit 1
  fi
}

case "${1:-}" in
  make) shift; [ $# -eq 4 ] || { echo "usage: $0 make DIR K4PACK STUB CABINET" >&2; exit 2; }; make "$@" ;;
  verify) shift; [ $# -eq 1 ] || { echo "usage: $0 verify DIR" >&2; exit 2; }; verify "$1" ;;
  *) echo "usage: $0 make|verify ..." >&2; exit 2 ;;
esac
