#!/usr/bin/env bash
# Tries the rename service on file systems that ignore letter case (vfat, exfat, ext4 with casefold,
# and XFS ascii-ci when mkfs.xfs is there) inside a throw-away qemu machine that boots Debian's own
# kernel from a busybox initramfs. The kernel this runs on may have no driver for them, and FUSE is
# no stand-in: fusefat has lost a file on a refused rename and fuse2fs ignores casefold. Nothing is
# ever mounted on this machine.
#
#   scripts/test-fs.sh                   install what is missing, build the probe, run it via ctest
#   scripts/test-fs.sh --vm PROBE OUTDIR boot the machine with the static PROBE and judge its report;
#                                        exits non-zero on any failed check or an unfinished run
#
# The kernel and busybox packages are fetched once with `apt-get download` (nothing is installed)
# into $SKORVATIN_VM_CACHE, by default OUTDIR/cache.
#
# SKORVATIN_VM_ACCEL picks qemu's accelerator: `auto` (the default) tries KVM and falls back to TCG
# when KVM does not bring the guest's init to its first console line within
# $SKORVATIN_VM_WATCHDOG seconds (default 15); `kvm` or `tcg` runs that one only. A /dev/kvm that
# is there and writable proves nothing: on some hosts qemu then hangs after "Booting from ROM..."
# or aborts on an MSR it cannot set. The guest takes about 15 s under TCG.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" != --vm ]; then
  "$ROOT/scripts/install-deps.sh" qemu-system-x86 dosfstools exfatprogs e2fsprogs xfsprogs cpio
  cd "$ROOT"
  cmake --preset dev
  cmake --build --preset dev -j2 --target casefold_probe
  exec ctest --preset casefold
fi

[ $# -eq 3 ] || { echo "usage: $0 --vm PROBE OUTDIR" >&2; exit 2; }
PROBE=$(realpath "$2")
OUT=$(mkdir -p "$3" && realpath "$3")
CACHE=${SKORVATIN_VM_CACHE:-$OUT/cache}
WORK=$OUT/work
mkdir -p "$CACHE"
rm -rf "$WORK" && mkdir -p "$WORK/rootfs/bin" "$WORK/rootfs/mod" "$WORK/img"

# Debian's kernel and a static busybox, unpacked once per kernel version.
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}' || true
}
KPKG=$(kernel_package)
if [ -z "$KPKG" ] && ! ls -d "$CACHE"/linux-image-* >/dev/null 2>&1; then
  # A fresh container has no package lists yet.
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq || true
  KPKG=$(kernel_package)
fi
if [ -z "$KPKG" ]; then
  KPKG=$(ls -d "$CACHE"/linux-image-* 2>/dev/null | tail -1 | xargs -r basename || true)
  [ -n "$KPKG" ] || { echo "no linux-image-amd64 known to apt; run apt-get update" >&2; exit 1; }
fi
KDIR=$CACHE/$KPKG
if [ ! -f "$KDIR/ready" ]; then
  echo "Fetching $KPKG and busybox-static into $CACHE"
  rm -rf "$KDIR" && mkdir -p "$KDIR/debs"
  (cd "$KDIR/debs" && apt-get download "$KPKG" busybox-static >/dev/null 2>&1) || {
    echo "apt-get download $KPKG busybox-static failed" >&2; exit 1; }
  dpkg-deb -x "$KDIR"/debs/"$KPKG"_*.deb "$KDIR/kx"
  dpkg-deb -x "$KDIR"/debs/busybox-static_*.deb "$KDIR/bx"
  KV=$(ls "$KDIR/kx/lib/modules")
  cp "$KDIR/kx/boot/vmlinuz-$KV" "$KDIR/vmlinuz"
  cp "$KDIR/bx/bin/busybox" "$KDIR/busybox"
  # The modules the machine needs, each after the modules it depends on.
  mkdir -p "$KDIR/mod"
  declare -A where=() seen=()
  while IFS= read -r f; do b=${f##*/}; b=${b%.ko}; where[${b//-/_}]=$f; done \
    < <(find "$KDIR/kx/lib/modules/$KV/kernel" -name '*.ko')
  order=()
  visit() {
    local m=$1 d
    [ -n "${seen[$m]:-}" ] && return
    seen[$m]=1
    [ -n "${where[$m]:-}" ] || { echo "module $m missing from $KPKG" >&2; exit 1; }
    for d in $(tr '\0' '\n' < "${where[$m]}" | sed -n 's/^depends=//p' | tr ',' ' '); do visit "${d//-/_}"; done
    order+=("$m")
  }
  for m in crc32c_generic virtio_pci virtio_blk vfat exfat ext4 xfs nls_ascii nls_cp437 nls_iso8859_1 nls_utf8; do
    visit "$m"
  done
  for m in "${order[@]}"; do cp "${where[$m]}" "$KDIR/mod/"; basename "${where[$m]}"; done > "$KDIR/mod/order"
  rm -rf "$KDIR/kx" "$KDIR/bx" "$KDIR/debs"
  touch "$KDIR/ready"
fi

WITH_XFS=0
command -v mkfs.xfs >/dev/null && WITH_XFS=1

# The machine's whole life: load the drivers, mount each file system, run the probe on it, power off.
# Console protocol: @@BEGIN fs / probe lines / @@END fs rc=N, @@NOTE text, @@DONE.
cp "$KDIR/busybox" "$WORK/rootfs/bin/busybox"
cp "$KDIR"/mod/* "$WORK/rootfs/mod/"
cp "$PROBE" "$WORK/rootfs/casefold_probe"
cat > "$WORK/rootfs/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
echo "@@INIT"
mkdir -p /proc /sys /dev /mnt /tmp
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in \$(cat /mod/order); do insmod /mod/\$m 2>/dev/null; done
sleep 1
echo "@@NOTE kernel \$(uname -r)"
run() { # label dir
  echo "@@BEGIN \$1"; mkdir -p "\$2/probe"; /casefold_probe "\$2/probe"; rc=\$?; echo "@@END \$1 rc=\$rc"
}
try() { # label device dir mount-arguments...
  l=\$1 dev=\$2 dir=\$3; shift 3; mkdir -p \$dir
  if mount "\$@" \$dev \$dir 2>/tmp/err; then echo "@@NOTE mount \$l (\$*): OK"; return 0; fi
  echo "@@NOTE mount \$l (\$*): FAILED \$(cat /tmp/err) \$(dmesg | tail -1)"; return 1
}
mount -t tmpfs tmpfs /tmp && run tmpfs /tmp
# The options a desktop uses when it mounts a stick (udisks): mixed short names, UTF-8.
try vfat /dev/vda /mnt/vfat -t vfat -o shortname=mixed,utf8=1,flush && run vfat /mnt/vfat
try exfat /dev/vdb /mnt/exfat -t exfat && run exfat /mnt/exfat
if try ext4-casefold /dev/vdc /mnt/cf -t ext4; then
  mkdir /mnt/cf/ci && echo "@@NOTE chattr +F: \$(/casefold_probe --casefold /mnt/cf/ci)" && run ext4-casefold /mnt/cf/ci
fi
[ $WITH_XFS = 1 ] && try xfs-ascii-ci /dev/vdd /mnt/xfs -t xfs && run xfs-ascii-ci /mnt/xfs
sync; umount -a 2>/dev/null
echo "@@DONE"
poweroff -f
EOF
chmod +x "$WORK/rootfs/init"
(cd "$WORK/rootfs" && find . | cpio -o -H newc 2>/dev/null | gzip -1) > "$WORK/initrd.gz"

img() { truncate -s "$2" "$WORK/img/$1"; echo "$WORK/img/$1"; }
expected=(tmpfs vfat exfat ext4-casefold)
drives=()
I=$(img vfat.img 64M);   mkfs.vfat -F 32 "$I" >/dev/null;       drives+=(-drive "file=$I,if=virtio,format=raw")
I=$(img exfat.img 64M);  mkfs.exfat "$I" >/dev/null;            drives+=(-drive "file=$I,if=virtio,format=raw")
I=$(img ext4cf.img 64M); mkfs.ext4 -q -O casefold "$I";         drives+=(-drive "file=$I,if=virtio,format=raw")
if [ $WITH_XFS = 1 ]; then
  I=$(img xfsci.img 320M); mkfs.xfs -q -n version=ci "$I";       drives+=(-drive "file=$I,if=virtio,format=raw")
  expected+=(xfs-ascii-ci)
fi

# One boot of the machine under accelerator $1. The guest's init must print its first line within
# $2 seconds, or the machine is stopped and the boot counts as failed (return 3, reason in $why).
why=""
console_tail() { # the last $1 lines the machine printed, on one line
  tr -d '\r' < "$OUT/console.log" | sed -E 's/\x1b(c|\[[0-9;?]*[A-Za-z])//g' | grep -v -e '^\s*$' -e 'terminating on signal' |
    tail -"$1" | tr '\n' ' '
}
boot() {
  local accel=$1 limit=$2 t0 pid
  t0=$(date +%s)
  : > "$OUT/console.log"
  timeout 600 qemu-system-x86_64 -accel "$accel" -m 1024 -smp 1 -nographic -no-reboot \
    -kernel "$KDIR/vmlinuz" -initrd "$WORK/initrd.gz" -append "console=ttyS0 quiet loglevel=3 panic=-1" \
    "${drives[@]}" > "$OUT/console.log" 2>&1 &
  pid=$!
  while ! grep -q '@@INIT' "$OUT/console.log"; do
    if ! kill -0 $pid 2>/dev/null; then
      wait $pid || true
      why="qemu ended before the guest's init said a word: $(console_tail 3)"
      return 3
    fi
    if [ $(( $(date +%s) - t0 )) -ge "$limit" ]; then
      kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
      why="no console line from the guest's init within $limit s; last it printed: $(console_tail 2)"
      return 3
    fi
    sleep 0.2
  done
  wait $pid || true
  echo "Machine ran $(( $(date +%s) - t0 )) s ($accel); console in $OUT/console.log"
}

watchdog=${SKORVATIN_VM_WATCHDOG:-15}
case ${SKORVATIN_VM_ACCEL:-auto} in
  auto)
    booted=0
    if [ -w /dev/kvm ]; then
      if boot kvm "$watchdog"; then booted=1; else echo "KVM did not run the guest ($why); trying TCG"; fi
    else
      echo "No usable /dev/kvm; running under TCG"
    fi
    # TCG needs no help from the host; a boot that stays silent for two minutes is broken, not slow.
    [ $booted = 1 ] || boot tcg 120 || { echo "FAIL: the machine could not be booted under TCG: $why"; exit 1; }
    ;;
  kvm | tcg)
    accel=${SKORVATIN_VM_ACCEL}
    limit=$watchdog
    [ "$accel" = tcg ] && limit=120
    boot "$accel" "$limit" || { echo "FAIL: the machine could not be booted under $accel: $why"; exit 1; }
    ;;
  *)
    echo "SKORVATIN_VM_ACCEL must be auto, kvm or tcg, not '$SKORVATIN_VM_ACCEL'" >&2
    exit 2
    ;;
esac

# Judge the report: every expected file system reported, its probe ended with 0, no FAIL anywhere.
log=$(tr -d '\r' < "$OUT/console.log" | sed -E 's/\x1b(c|\[[0-9;?]*[A-Za-z])//g')
status=0
grep '^@@NOTE ' <<< "$log" | sed 's/^@@NOTE /  note: /' || true
for fs in "${expected[@]}"; do
  block=$(awk -v fs="$fs" '$1=="@@BEGIN" && $2==fs {on=1; next} $1=="@@END" && $2==fs {print; on=0} on' <<< "$log")
  pass=$(grep -c '^PASS ' <<< "$block" || true)
  fails=$(grep '^FAIL ' <<< "$block" || true)
  notes=$(grep '^NOTE ' <<< "$block" | sed 's/^NOTE //' || true)
  end=$(grep "^@@END $fs " <<< "$block" || true)
  if [ -z "$end" ]; then
    echo "FAIL $fs: no complete report"; status=1; continue
  fi
  [ -n "$notes" ] && echo "  $fs: $notes"
  if [ -n "$fails" ]; then
    sed "s/^FAIL /FAIL $fs /" <<< "$fails"; status=1
  elif [ "$end" != "@@END $fs rc=0" ] || [ "$pass" -eq 0 ]; then
    echo "FAIL $fs: probe ended with ${end#@@END $fs } after $pass checks"; status=1
  else
    echo "PASS $fs: $pass checks"
  fi
done
grep -q '^@@DONE' <<< "$log" || { echo "FAIL: the machine did not finish"; status=1; }
exit $status
