#!/usr/bin/env bash
# Installs every Debian package the project needs; safe to run again.
# 64-bit Wine only: never add the i386 architecture or wine32 (the wrapper would
# then pick the 32-bit loader, which this kernel refuses).
set -euo pipefail
packages=(
  cmake ninja-build pkg-config g++ make perl python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  mingw-w64-x86-64-dev mingw-w64-i686-dev
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 fonts-wine xvfb xdotool imagemagick
  googletest libgtest-dev
  gcab cabextract libgcab-dev
  osslsigncode openssl
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"
