#!/usr/bin/env bash
# Host test of scripts/release.sh on the build it runs in (--no-build): the .deb's files,
# fields and Depends, the .tar.gz's files and times, the checksums, the packaged k4pack
# starting, the same bytes from a second run, the .zip where the x86_64 build made
# k4pack.exe; and the refusals, which write nothing.
#
#   release_test.sh RELEASE.sh HOST_BUILD_DIR K4PACK_SOURCE_DIR VERSION
set -uo pipefail
release=$1
root=$(dirname "$(realpath -s "$2")")
source_dir=$3
version=$4
. "$(dirname "$0")/expect.sh"
epoch=1700000000   # even: a .zip keeps times to 2 seconds
# release_into DIR [ARGS...]: release.sh --no-build on this build into DIR.
release_into() {
  local dir=$1; shift
  env K4_BUILD_ROOT="$root" K4_RELEASE_DIR="$dir" SOURCE_DATE_EPOCH=$epoch bash "$release" --no-build "$@"
}

# ---- refusals ----
expect "bad word" 2 "usage: release.sh" bash "$release" --no-build --fast
mkdir -p "$scratch/empty"
expect "no k4pack" 1 "release: k4pack was not built in $scratch/empty/host" \
  env K4_BUILD_ROOT="$scratch/empty" K4_RELEASE_DIR="$scratch/refused" bash "$release" --no-build
# A build root with the host build but no Windows packer.
mkdir -p "$scratch/no-exe"
ln -s "$root/host" "$scratch/no-exe/host"
expect "no k4pack.exe" 1 "release: k4pack.exe was not built: no $scratch/no-exe/x86_64/tools/k4pack/k4pack.exe" \
  env K4_BUILD_ROOT="$scratch/no-exe" K4_RELEASE_DIR="$scratch/refused" bash "$release" --no-build
expect "not a time" 1 "SOURCE_DATE_EPOCH is not a number of seconds: yesterday" \
  env K4_BUILD_ROOT="$root" K4_RELEASE_DIR="$scratch/refused" SOURCE_DATE_EPOCH=yesterday bash "$release" --no-build --linux-only
[ ! -e "$scratch/refused" ] || fail "a refused release wrote $(ls -A "$scratch/refused")"

# ---- the release, twice ----
exe=$root/x86_64/tools/k4pack/k4pack.exe
mode=()
if [ ! -f "$exe" ]; then
  mode=(--linux-only)
  echo "NOT CHECKED: the .zip (k4pack.exe was not built: no $exe)"
fi
expect "release" 0 "release: k4pack $version in $scratch/a:" release_into "$scratch/a" "${mode[@]}"
expect "again" 0 "" release_into "$scratch/b" "${mode[@]}"
cmp -s "$scratch/a/SHA256SUMS" "$scratch/b/SHA256SUMS" ||
  fail "two releases of the same build differ: $(diff "$scratch/a/SHA256SUMS" "$scratch/b/SHA256SUMS")"
out=$scratch/a
expect "checksums" 0 "OK" bash -c "cd '$out' && sha256sum -c SHA256SUMS"
listed=$(awk '{print $2}' "$out/SHA256SUMS" | sort | tr '\n' ' ')
present=$(cd "$out" && ls | grep -vx SHA256SUMS | sort | tr '\n' ' ')
[ "$listed" = "$present" ] || fail "SHA256SUMS lists \"$listed\", the folder holds \"$present\""

# ---- the .deb ----
deb=$out/k4pack_${version}_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
  fail "no $deb"
else
  contents=$(dpkg-deb -c "$deb")
  for member in ./usr/bin/k4pack ./usr/share/man/man1/k4pack.1.gz; do
    grep -q " $member\$" <<<"$contents" || fail "the .deb holds no $member: $contents"
  done
  [ "$(dpkg-deb -f "$deb" Package)" = k4pack ] || fail "Package: $(dpkg-deb -f "$deb" Package)"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
  depends=$(dpkg-deb -f "$deb" Depends)
  # The packages by name, without their versions.
  depends_names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
  for lib in libc6 libgcc-s1 libstdc++6 zlib1g; do
    grep -qxF "$lib" <<<"$depends_names" || fail "Depends names no $lib: $depends"
  done
  dpkg-deb -x "$deb" "$scratch/deb"
  gunzip -c "$scratch/deb/usr/share/man/man1/k4pack.1.gz" | cmp -s - "$source_dir/k4pack.1" ||
    fail "the .deb's manual page is not tools/k4pack/k4pack.1"
  expect "the .deb's k4pack" 0 "$version" "$scratch/deb/usr/bin/k4pack" --version
fi

# ---- the .tar.gz: its members, their times, and its k4pack ----
top=k4pack-$version-linux-x86_64
tgz=$out/$top.tar.gz
if [ ! -f "$tgz" ]; then
  fail "no $tgz"
else
  expect "tar.gz members" 0 "" python3 - "$tgz" "$top" "$epoch" <<'PY'
import sys, tarfile
path, top, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
with tarfile.open(path) as t:
    files = sorted(m.name for m in t.getmembers() if m.isfile())
    want = [f"{top}/bin/k4pack", f"{top}/share/man/man1/k4pack.1.gz"]
    if files != want:
        sys.exit(f"files {files}, not {want}")
    late = [m.name for m in t.getmembers() if m.mtime != epoch]
    if late:
        sys.exit(f"not stamped with SOURCE_DATE_EPOCH: {late}")
PY
  mkdir "$scratch/tgz"
  tar -xzf "$tgz" -C "$scratch/tgz"
  expect "the .tar.gz's k4pack" 0 "$version" "$scratch/tgz/$top/bin/k4pack" --version
fi

# ---- the .zip ----
if [ -f "$exe" ]; then
  expect "zip members" 0 "" python3 - "$out/k4pack-$version-windows-x86_64.zip" "$exe" "$version" "$epoch" <<'PY'
import sys, time, zipfile
path, exe, version, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
with zipfile.ZipFile(path) as z:
    names = sorted(z.namelist())
    if names != ["README.txt", "k4pack.exe"]:
        sys.exit(f"members {names}")
    if z.read("k4pack.exe") != open(exe, "rb").read():
        sys.exit("k4pack.exe is not the x86_64 build's")
    readme = z.read("README.txt").decode("ascii")
    for text in (f"k4pack {version} for Windows", "k4pack.exe --version", "SYNOPSIS"):
        if text not in readme:
            sys.exit(f"README.txt says nothing of {text!r}")
    if "\n" in readme.replace("\r\n", ""):
        sys.exit("README.txt has lines not ended by CR LF")
    stamp = time.gmtime(epoch)[:6]
    for info in z.infolist():
        if info.date_time != stamp:
            sys.exit(f"{info.filename} dated {info.date_time}, not {stamp}")
PY
fi

[ "$failures" -eq 0 ] && echo "all cases passed"
exit $((failures > 0))
