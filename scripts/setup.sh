#!/usr/bin/env bash
# Installs every Debian package the project needs and prepares the private i386 root
# in which 32-bit Wine runs the i686 build (or, where the kernel refuses i386 code, the
# emulated guest of scripts/guest.sh); safe to run again.
# The host stays 64-bit only: never add the i386 architecture or wine32 to it (other
# work on the machine relies on that). 32-bit Wine lives in its own Debian root
# (scripts/wine32-ns.sh enters it), made here once and reused:
#
#   K4_BUILD_ROOT   build root (default: build/ in the checkout)
#   K4_I386_ROOT    the i386 root (default: $K4_BUILD_ROOT/i386-root)
#   K4_NO_I686_RUN=1  do not make the root or the guest (a quick local run: the i686 build
#                     is then only built; scripts/test.sh ignores it under CI=true)
#
#   setup.sh [--packages | --i386-root]   both (default), or only the one part
#   setup.sh --mirror                     print the host's release and Debian mirror
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=${K4_BUILD_ROOT:-$here/build}
i386_root=${K4_I386_ROOT:-$build_root/i386-root}
packages=(
  cmake ninja-build pkg-config g++ make perl python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  mingw-w64-x86-64-dev mingw-w64-i686-dev
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 fonts-wine xvfb xdotool imagemagick
  googletest libgtest-dev
  gcab cabextract 7zip
  zip dpkg-dev groff-base
  libz-mingw-w64-dev zlib1g-dev
  clang libclang-rt-14-dev
  osslsigncode openssl
  debootstrap util-linux
  qemu-system-x86 e2fsprogs
)
# Inside the i386 root: Debian's own 32-bit Wine, of the same version as the host's wine64.
root_packages=(wine wine32 fonts-wine)

as_root() { if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi; }

install_packages() {
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get update -qq
    as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
  echo "setup: all packages present"
}

# The Debian mirror apt already uses on this host, for the host's own release: the
# first "deb" entry of sources.list or of a one-line .list file, else the first URIs
# of a deb822 .sources file whose suites name the release itself.
host_mirror() {
  local codename url
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  url=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk -v c="$codename" '$1 == "deb" && $0 !~ /\[/ && $3 == c { print $2; exit }' || true)
  if [ -z "$url" ]; then
    url=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v c="$codename" '
      /^[[:space:]]*$/ { if (uri != "" && hit) { print uri; exit } uri = ""; hit = 0; next }
      $1 == "URIs:" { uri = $2 }
      $1 == "Suites:" { for (i = 2; i <= NF; i++) if ($i == c) hit = 1 }
      END { if (uri != "" && hit) print uri }' | head -1 || true)
  fi
  [ -n "$url" ] || { echo "setup: no Debian mirror for $codename in /etc/apt" >&2; return 1; }
  printf '%s %s\n' "$codename" "$url"
}

# Says why a root cannot run i386 programs here, or nothing when it can.
i386_probe() { "$here/scripts/wine32-run.sh" --probe "$1"; }

# Runs a command inside the root with /proc, /dev and /sys, in a private mount namespace
# that ends with it (package scripts want them; nothing stays mounted on the host).
in_root() {  # root command...
  local root=$1; shift
  unshare --mount --propagation private -- sh -c '
    root=$1; shift
    mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" &&
      mount -t sysfs sysfs "$root/sys" && exec chroot "$root" "$@"' sh "$root" "$@"
}

# Makes the root in a temporary folder beside it and renames it when complete, so an
# interrupted setup leaves no half-made root behind to be taken for a whole one.
make_i386_root() {
  local parent codename mirror tmp reason
  parent=$(dirname "$i386_root")
  mkdir -p "$parent"
  rm -rf "$i386_root".tmp.*
  read -r codename mirror < <(host_mirror)
  tmp=$(mktemp -d "$i386_root.tmp.XXXXXX")
  echo "setup: making the i386 root $i386_root from $mirror ($codename)"
  # The first stage only unpacks; the probe then tells before the rest is fetched
  # whether this kernel runs i386 programs at all.
  debootstrap --foreign --arch=i386 --variant=minbase "$codename" "$tmp" "$mirror" >"$tmp.log" 2>&1 ||
    { cat "$tmp.log" >&2; rm -rf "$tmp"; return 1; }
  if ! reason=$(i386_probe "$tmp"); then
    echo "i686: not run: $reason" >"$parent/i386-root.unusable"
    rm -rf "$tmp" "$tmp.log"
    make_guest "$reason"
    return
  fi
  in_root "$tmp" /debootstrap/debootstrap --second-stage >>"$tmp.log" 2>&1 ||
    { tail -20 "$tmp.log" >&2; return 1; }
  cp -L /etc/resolv.conf "$tmp/etc/resolv.conf"
  # The host's time zone: k4pack stamps cabinets on the host, the program reads them here.
  rm -f "$tmp/etc/localtime"; cp -L /etc/localtime "$tmp/etc/localtime"
  in_root "$tmp" env DEBIAN_FRONTEND=noninteractive sh -c \
    "apt-get update -qq && apt-get install -y -qq --no-install-recommends ${root_packages[*]} && apt-get clean" \
    >>"$tmp.log" 2>&1 || { tail -20 "$tmp.log" >&2; return 1; }
  mv "$tmp.log" "$tmp/k4-setup.log"
  mv "$tmp" "$i386_root"
  echo "setup: i386 root ready"
}

# Where this kernel refuses i386 code the i686 build runs in an emulated guest instead
# (scripts/guest.sh), made from Debian packages and kept outside the checkout.
make_guest() {  # the probe's reason
  echo "setup: $1; the i686 tests will run in the emulated guest"
  "$here/scripts/guest.sh" --image
}

# The guest also where the root works, when a run asks for it (K4_I686_GUEST=1).
forced_guest() {
  [ "${K4_I686_GUEST:-0}" != 1 ] || "$here/scripts/guest.sh" --image
}

prepare_i386_root() {
  if [ "${K4_NO_I686_RUN:-0}" = 1 ] && [ "${CI:-}" != true ]; then
    echo "i686: not run: K4_NO_I686_RUN=1"
    return 0
  fi
  rm -f "$(dirname "$i386_root")/i386-root.unusable"
  if [ -x "$i386_root/usr/lib/wine/wine" ]; then
    local reason
    if reason=$(i386_probe "$i386_root"); then
      echo "setup: i386 root present: $i386_root"
    else
      echo "i686: not run: $reason" >"$(dirname "$i386_root")/i386-root.unusable"
      make_guest "$reason"
      return
    fi
    return 0
  fi
  # Only a complete root is ever renamed into place: anything else there is not ours.
  if [ -e "$i386_root" ]; then
    echo "setup: $i386_root exists but holds no 32-bit Wine; remove it or set K4_I386_ROOT" >&2
    return 1
  fi
  make_i386_root
}

case "${1:-}" in
  "") install_packages; prepare_i386_root; forced_guest ;;
  --packages) install_packages ;;
  --i386-root) prepare_i386_root; forced_guest ;;
  --mirror) host_mirror ;;
  *) echo "usage: setup.sh [--packages | --i386-root | --mirror]" >&2; exit 2 ;;
esac
