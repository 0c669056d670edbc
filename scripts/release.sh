#!/usr/bin/env bash
# Makes k4pack's release artefacts from the builds of scripts/build.sh, in
# ${K4_RELEASE_DIR:-$K4_BUILD_ROOT/release}:
#   k4pack-VERSION-linux-x86_64.tar.gz  CPack, from the host build: bin/k4pack and
#   k4pack_VERSION_amd64.deb            share/man/man1/k4pack.1.gz
#   k4pack-VERSION-windows-x86_64.zip   k4pack.exe of the x86_64 build and README.txt
#   SHA256SUMS                          all of them, as sha256sum -c reads it
#
#   release.sh [--no-build] [--linux-only]
#     --no-build    package the builds as they are (scripts/build.sh is not run)
#     --linux-only  the .tar.gz and the .deb alone (no k4pack.exe needed)
#
#   K4_BUILD_ROOT, K4_CCACHE  as for scripts/build.sh
#   SOURCE_DATE_EPOCH         the time every packaged file carries (default: the last
#                             commit's); the same builds and time give the same bytes
set -euo pipefail
usage() { echo "usage: release.sh [--no-build] [--linux-only]" >&2; exit 2; }
die() { echo "release: $*" >&2; exit 1; }
here=$(cd "$(dirname "$0")/.." && pwd)
root=$(realpath -m "${K4_BUILD_ROOT:-$here/build}")
build=1
windows=1
for arg in "$@"; do
  case "$arg" in
    --no-build) build=0 ;;
    --linux-only) windows=0 ;;
    *) usage ;;
  esac
done
out=$(realpath -m "${K4_RELEASE_DIR:-$root/release}")
host=$root/host
exe=$root/x86_64/tools/k4pack/k4pack.exe

if [ "$build" = 1 ]; then K4_BUILD_ROOT=$root "$here/scripts/build.sh"; fi
# Everything is looked for before anything is written: a refused release leaves nothing.
[ -x "$host/tools/k4pack/k4pack" ] && [ -f "$host/CPackConfig.cmake" ] ||
  die "k4pack was not built in $host (scripts/build.sh builds it)"
[ "$windows" = 0 ] || [ -f "$exe" ] ||
  die "k4pack.exe was not built: no $exe (the x86_64 build's target k4pack makes it; --linux-only packages Linux alone)"
for tool in cpack sha256sum gzip; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/setup.sh installs it)"
done
[ "$windows" = 0 ] || command -v zip >/dev/null || die "zip is missing (scripts/setup.sh installs it)"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$host/CPackConfig.cmake")
[ -n "$version" ] || die "no package version in $host/CPackConfig.cmake"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$here" log -1 --format=%ct 2>/dev/null) ||
    die "SOURCE_DATE_EPOCH is not set and $here is no git checkout to take it from"
fi
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH is not a number of seconds: $SOURCE_DATE_EPOCH"
export SOURCE_DATE_EPOCH

work=$(mktemp -d "${TMPDIR:-/tmp}/k4release.XXXXXX")
trap 'rm -rf "$work"' EXIT
artefacts=()

# ---- Linux: CPack's .tar.gz and .deb ----
if ! cpack --config "$host/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  die "cpack failed"
fi
for made in "$work"/cpack/*.tar.gz "$work"/cpack/*.deb; do
  [ -f "$made" ] || die "cpack made no $(basename "$made")"
  mv "$made" "$work/"
  artefacts+=("$(basename "$made")")
done

# ---- Windows: k4pack.exe and its README in a .zip ----
# The manual as plain text: groff where it is installed, else the packer's README.
manual_text() {
  if command -v groff >/dev/null; then
    groff -man -Tascii -rLL=78n -P-c -P-b -P-o -P-u "$here/tools/k4pack/k4pack.1"
  else
    cat "$here/tools/k4pack/README.md"
  fi
}

windows_readme() {
  cat <<EOF
k4pack $version for Windows x86_64
===================================

k4pack builds self-extracting cabinet archives for Windows, and inspects and
verifies them. This is the packer for 64-bit Windows; it carries the extractor
programs for i686 and x86_64 itself and needs nothing installed.

Running it: unpack the .zip into a folder of your choice and run k4pack.exe from
a command prompt in that folder (or add the folder to PATH), for example

    k4pack.exe --version
    k4pack.exe -o setup.exe C:\\path\\to\\files
    k4pack.exe verify setup.exe C:\\path\\to\\files

Checking the download: in PowerShell,

    Get-FileHash k4pack-$version-windows-x86_64.zip -Algorithm SHA256

gives the .zip's SHA-256, which must equal its line in SHA256SUMS.

The manual follows.

EOF
  manual_text
}

if [ "$windows" = 1 ]; then
  zipname=k4pack-$version-windows-x86_64.zip
  mkdir "$work/zip"
  cp "$exe" "$work/zip/k4pack.exe"
  windows_readme | sed 's/$/\r/' >"$work/zip/README.txt"
  touch -d "@$SOURCE_DATE_EPOCH" "$work/zip"/*
  # -X: no owners or extra time stamps; the times are kept in UTC.
  (cd "$work/zip" && TZ=UTC zip -X -q -9 "$work/$zipname" README.txt k4pack.exe)
  artefacts+=("$zipname")
fi

# ---- into the release folder, with one checksum list ----
mkdir -p "$out"
for name in "${artefacts[@]}"; do mv -f "$work/$name" "$out/$name"; done
(cd "$out" && sha256sum -- "${artefacts[@]}" >SHA256SUMS)
echo "release: k4pack $version in $out:"
(cd "$out" && cat SHA256SUMS)
