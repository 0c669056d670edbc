#!/usr/bin/env bash
# The emulated guest in which the i686 build runs where this kernel refuses 32-bit code:
# a Debian amd64 system with Debian's 32-bit Wine, booted by qemu-system-x86_64 (with KVM
# where /dev/kvm works, otherwise pure emulation), made here from Debian packages only.
# The checkout and the build root are shared into the guest at their own absolute paths
# (virtio 9p), so the build tree's CTest files and programs run there unchanged.
#
#   guest.sh --image              make the guest image if the cache lacks it (~5 min)
#   guest.sh --run COMMAND...     boot the guest and run COMMAND there, in the caller's
#                                 working folder, under Xvfb with a 32-bit Wine prefix and
#                                 the fixture volumes; its output and exit code pass through
#   guest.sh --check              say why the guest cannot be used here, exit 1
#
#   K4_GUEST_CACHE     where images are kept, outside the checkout (default /var/cache/k4-guest)
#   K4_GUEST_SILENCE   seconds without a line of output after which the guest counts as
#                      hung (default 900; CTest's own per-test time-outs end a hung test
#                      well before)
#   K4_GUEST_TIMEOUT   seconds a whole run may take (default 2700); a run cut there is
#                      not booted again, since a second one would not fit either
#   K4_GUEST_ACCEL     kvm or tcg (default: kvm where the processor offers it to us)
#
# The image is made in a folder beside its place and renamed when complete; a run holds
# a lock on it, since the guest writes to it (its Wine prefix stays there between runs).
# A guest that dies or falls silent before the command has ended is booted once more; a
# second failure, or a run over the whole time allowed, prints its console log and fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=$(realpath -m "${K4_BUILD_ROOT:-$here/build}")
cache=${K4_GUEST_CACHE:-/var/cache/k4-guest}
timeout=${K4_GUEST_TIMEOUT:-2700}
silence=${K4_GUEST_SILENCE:-900}

# Debian 12 (its 6.1 kernel is the one known to run well under emulation) with the same
# Wine as the host's, both halves, and what the job needs: ctest, Xvfb, mount tools.
guest_packages=(
  linux-image-amd64 initramfs-tools udev kmod procps util-linux mount
  wine wine32:i386 wine64 libwine:i386 fonts-wine xvfb xauth cmake xdotool imagemagick
)
# The init the image boots: everything else comes from the job folder at each boot, so
# changing the job changes no image.
guest_init='#!/bin/sh
mount -t proc proc /proc; mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev 2>/dev/null; mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm; mount -t tmpfs tmpfs /tmp
modprobe 9pnet_virtio 2>/dev/null; modprobe 9p 2>/dev/null
mkdir -p /k4job
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=mmap k4job /k4job; then
  /bin/bash /k4job/boot.sh >/dev/ttyS0 2>&1
else
  echo "k4 guest: the job folder could not be mounted" >/dev/ttyS0
fi
sync; echo o >/proc/sysrq-trigger; sleep 60'
image_key=$(printf '%s\n' "${guest_packages[*]}" "$guest_init" | sha256sum | cut -c1-16)
image_dir=$cache/bookworm-$image_key

say() { echo "guest: $*" >&2; }

make_image() {
  [ -f "$image_dir/root.img" ] && return 0
  local codename mirror tmp root
  read -r codename mirror < <("$here/scripts/setup.sh" --mirror)
  mkdir -p "$cache"
  rm -rf "$cache"/build.* 2>/dev/null || true
  tmp=$(mktemp -d "$cache/build.XXXXXX"); root=$tmp/root
  say "making the guest image in $image_dir from $mirror (debootstrap, Wine, kernel)"
  local start=$SECONDS
  debootstrap --variant=minbase "$codename" "$root" "$mirror" >"$tmp/log" 2>&1 ||
    { tail -20 "$tmp/log" >&2; return 1; }
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
  # The host's time zone: k4pack stamps cabinets on the host, the program reads them here.
  rm -f "$root/etc/localtime"; cp -L /etc/localtime "$root/etc/localtime"
  # The i386 architecture is added inside the guest's root only, never on the host.
  unshare --mount --propagation private -- sh -c '
    root=$1; shift
    mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" &&
      mount -t sysfs sysfs "$root/sys" && exec chroot "$root" env DEBIAN_FRONTEND=noninteractive sh -c "
        dpkg --add-architecture i386 && apt-get update -qq &&
        apt-get install -y -qq --no-install-recommends $* && apt-get clean"' \
    sh "$root" "${guest_packages[@]}" >>"$tmp/log" 2>&1 || { tail -20 "$tmp/log" >&2; return 1; }
  mkdir -p "$root/k4"
  printf '%s\n' "$guest_init" >"$root/k4/init"; chmod 755 "$root/k4/init"
  echo k4guest >"$root/etc/hostname"
  cp "$root"/boot/vmlinuz-* "$tmp/vmlinuz"; cp "$root"/boot/initrd.img-* "$tmp/initrd.img"
  mkfs.ext4 -q -F -L k4guest -d "$root" "$tmp/root.img" 10G >>"$tmp/log" 2>&1 ||
    { tail -20 "$tmp/log" >&2; return 1; }
  rm -rf "$root"
  mv "$tmp/log" "$tmp/make.log"
  rm -rf "$image_dir"; mv "$tmp" "$image_dir"
  say "image made in $((SECONDS - start)) s; first boot: the Wine prefix"
  # The prefix is made once, at the first boot, and stays in the image (minutes under
  # emulation): better here, beside the builds, than in the first test run.
  run true || { rm -rf "$image_dir"; say "the first boot failed"; return 1; }
  say "image ready in $((SECONDS - start)) s"
}

accel() {
  case "${K4_GUEST_ACCEL:-}" in
    kvm | tcg) echo "$K4_GUEST_ACCEL"; return ;;
  esac
  # A /dev/kvm alone is not enough: inside a virtual machine without nested
  # virtualisation it opens, and a guest started on it hangs. The processor must say so.
  if [ -c /dev/kvm ] && grep -qwE 'vmx|svm' /proc/cpuinfo; then echo kvm; else echo tcg; fi
}

check() {
  command -v qemu-system-x86_64 >/dev/null || { echo "no qemu-system-x86_64 (scripts/setup.sh installs it)"; return 1; }
  [ -f "$image_dir/root.img" ] || { echo "no guest image in $image_dir (guest.sh --image makes it)"; return 1; }
}

# The folders shared into the guest, each once: a folder inside another one listed comes along.
shared_dirs() {
  printf '%s\n' "$here"
  case "$build_root/" in "$here"/*) ;; *) printf '%s\n' "$build_root" ;; esac
}

# Writes the job folder: the boot script the image's init runs, and the command.
write_job() {  # job dir, command...
  local job=$1; shift
  local dirs=() d i=0 env=() name
  mapfile -t dirs < <(shared_dirs)
  for name in LANG LC_ALL TZ $(compgen -e | grep -E '^(GTEST_|K4_)' || true); do
    case "$name" in K4_GUEST_* | K4_IN_FIXTURE_MOUNTS | K4_WINE32_PREFIX | K4_I386_ROOT) continue ;; esac
    [ -z "${!name+x}" ] || env+=("$name=${!name}")
  done
  {
    echo 'set -u'
    echo 'echo "k4 guest: booted"'
    for d in "${dirs[@]}"; do
      printf 'mkdir -p %q && mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose k4share%d %q || echo "k4 guest: share %q not mounted"\n' "$d" "$i" "$d" "$d"
      i=$((i + 1))
    done
    # What runs in the guest, every 30 s, for a run that hangs (guest.sh prints it then).
    echo '(while sleep 30; do ps -eo pid,etimes,time,stat,args --sort=pid >/k4job/ps.tmp 2>&1 && mv /k4job/ps.tmp /k4job/ps; done) &'
    printf 'cd %q || exit 125\n' "$PWD"
    printf 'export %q\n' "${env[@]}" K4_GUEST=1 "K4_BUILD_ROOT=$build_root"
    printf '%q ' "$here/scripts/guest-job.sh" "$@"
    echo ' >/k4job/out 2>&1 </dev/null; rc=$?'
    echo 'echo "$rc" >/k4job/rc.tmp && mv /k4job/rc.tmp /k4job/rc; echo "k4 guest: done ($rc)"'
  } >"$job/boot.sh"
}

# 0 when the guest ran the job to its end, 1 when it died or fell silent (worth one
# more boot), 2 when the whole run took longer than allowed.
boot() {  # job dir
  local job=$1 mode pid waited=0 quiet=0 size=0 now args=() d i=0 status=1
  mode=$(accel)
  while read -r d; do
    args+=(-virtfs "local,path=$d,mount_tag=k4share$i,security_model=none,id=k4share$i")
    i=$((i + 1))
  done < <(shared_dirs)
  # The host's processor less the one register KVM refuses to set in a nested guest.
  if [ "$mode" = kvm ]; then args+=(-accel kvm -cpu host,-arch-capabilities); else args+=(-accel tcg); fi
  rm -f "$job/rc" "$job/out" "$job/console.log"; : >"$job/out"
  qemu-system-x86_64 "${args[@]}" -m 6144 -smp "$(nproc)" -nographic -no-reboot \
    -kernel "$image_dir/vmlinuz" -initrd "$image_dir/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 init=/k4/init quiet panic=1" \
    -drive "file=$image_dir/root.img,if=virtio,format=raw" \
    -virtfs "local,path=$job,mount_tag=k4job,security_model=none,id=k4job" \
    -rtc base=utc -nic none </dev/null >"$job/console.log" 2>&1 &
  pid=$!
  qemu_pid=$pid
  trap 'kill "$qemu_pid" 2>/dev/null || true' EXIT
  tail -n +1 -f --pid="$pid" "$job/out" &
  local tailer=$!
  while kill -0 "$pid" 2>/dev/null; do
    sleep 2; waited=$((waited + 2)); quiet=$((quiet + 2))
    now=$(stat -c %s "$job/out" 2>/dev/null || echo 0)
    [ "$now" = "$size" ] || { size=$now; quiet=0; }
    if [ "$waited" -ge "$timeout" ]; then
      say "the guest did not end within $timeout s ($mode)"; status=2; kill "$pid" 2>/dev/null || true; break
    fi
    if [ "$quiet" -ge "$silence" ]; then
      say "the guest printed nothing for $silence s ($mode)"; kill "$pid" 2>/dev/null || true; break
    fi
  done
  wait "$pid" 2>/dev/null || true
  sleep 0.5; kill "$tailer" 2>/dev/null || true; wait "$tailer" 2>/dev/null || true
  [ ! -f "$job/rc" ] || status=0
  return "$status"
}

run() {
  check >&2 || exit 1
  local job rc=1 try
  mkdir -p "$build_root"
  exec 9>"$image_dir/lock"
  flock 9
  job=$(mktemp -d "$build_root/guest-job.XXXXXX")
  write_job "$job" "$@"
  local status
  for try in 1 2; do
    say "booting ($(accel), try $try): $*"
    status=0; boot "$job" || status=$?
    if [ "$status" -eq 0 ]; then
      rc=$(cat "$job/rc"); rm -rf "$job"; return "$rc"
    fi
    say "the guest ended before the command did; its console:"
    tail -n 60 "$job/console.log" >&2
    [ ! -f "$job/ps" ] || { say "what ran in it last:"; cat "$job/ps" >&2; }
    [ "$status" -eq 1 ] || break
  done
  rm -rf "$job"
  if [ "$status" -eq 2 ]; then say "the guest run took longer than allowed"; else say "the guest failed twice"; fi
  return 1
}

case "${1:-}" in
  --image) command -v qemu-system-x86_64 >/dev/null || { say "no qemu-system-x86_64"; exit 1; }; make_image ;;
  --check) check ;;
  --run) shift; [ $# -gt 0 ] || exit 2; run "$@" ;;
  *) echo "usage: guest.sh --image | --check | --run COMMAND..." >&2; exit 2 ;;
esac
