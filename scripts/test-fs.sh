#!/usr/bin/env bash
# Tries the rename service on file systems that ignore letter case (vfat, exfat, ext4 with casefold,
# and XFS ascii-ci when mkfs.xfs is there) inside a throw-away qemu machine that boots Debian's own
# kernel from a busybox initramfs. The kernel this runs on may have no driver for them, and FUSE is
# no stand-in: fusefat has lost a file on a refused rename and fuse2fs ignores casefold. Nothing is
# ever mounted on this machine.
#
# The same machine takes batches that are cut off on a vfat and an exFAT stick (tests/casefold/
# stick_probe.cpp), with their journals on an ext4 disk of their own: killed at renames and
# recovered after the stick is mounted again elsewhere, and cut off by a power cut. For the power
# cuts the machine is booted again on the same disks, once per cut; each boot repairs the sticks
# with fsck, as a desktop would, recovers what the cut before left, and cuts the power in the next
# batch. It also times a numbering run on the vfat stick with and without the journal.
#
#   scripts/test-fs.sh                          install what is missing, build the probes, run via ctest
#   scripts/test-fs.sh --vm PROBE STICK OUTDIR  boot the machine with the static probes and judge their
#                                               report; exits non-zero on any failed check, a block
#                                               missing, a cut that did not happen or an unfinished run
#
# The kernel and busybox packages are fetched once with `apt-get download` (nothing is installed)
# into $SKORVATIN_VM_CACHE, by default OUTDIR/cache. fsck.fat and fsck.exfat come from this machine,
# with the libraries they load.
#
# SKORVATIN_VM_ACCEL picks qemu's accelerator: `auto` (the default) tries KVM and falls back to TCG
# when KVM does not bring the guest's init to its first console line within
# $SKORVATIN_VM_WATCHDOG seconds (default 15); `kvm` or `tcg` runs that one only. A /dev/kvm that
# is there and writable proves nothing: on some hosts qemu then hangs after "Booting from ROM..."
# or aborts on an MSR it cannot set. The later boots use what the first one found. All boots
# together take one and a half to two minutes under TCG.
#
# SKORVATIN_STICK_COST_FILES sets how many files the timed numbering run renames (default 300).
# FAT has no folder index, so a run costs time by the square of the count: 4000 files take some
# minutes per run under TCG.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export PATH=$PATH:/usr/sbin:/sbin

if [ "${1:-}" != --vm ]; then
  "$ROOT/scripts/install-deps.sh" qemu-system-x86 dosfstools exfatprogs e2fsprogs xfsprogs cpio libblkid-dev
  cd "$ROOT"
  cmake --preset dev
  cmake --build --preset dev -j2 --target casefold_probe stick_probe
  exec ctest --preset casefold
fi

[ $# -eq 4 ] || { echo "usage: $0 --vm PROBE STICK OUTDIR" >&2; exit 2; }
PROBE=$(realpath "$2")
STICK=$(realpath "$3")
OUT=$(mkdir -p "$4" && realpath "$4")
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
# The power cuts, one per boot after the first: the rename at which each batch is cut off. The
# batches number 6 files: renames 1-6 give the temporary names, 7-12 the final ones, so 4 falls in
# the first pass, 7 between the passes and 10 in the second; 0 is the moment a run has finished.
CUTS=(4 7 10 0)
BOOTS=$(( ${#CUTS[@]} + 1 ))
COST_FILES=${SKORVATIN_STICK_COST_FILES:-300}

# A program of this machine and the libraries it loads, at the same paths in the guest.
take() { # program name-in-guest
  local lib
  cp "$1" "$WORK/rootfs/bin/$2"
  for lib in $(ldd "$1" | grep -o '/[^ ]*'); do
    mkdir -p "$WORK/rootfs$(dirname "$lib")"
    cp -L "$lib" "$WORK/rootfs$lib"
  done
}

# The machine's life: load the drivers, then by the boot's number on the kernel command line
#   boot 1: mount each case-blind file system and run the probe on it; the stick scenarios with
#           kills; the journal's cost; then the first power cut
#   boot n: repair the sticks, recover what cut n-1 left and judge it; then cut n, or power off.
# Console protocol: @@BEGIN name / probe lines / @@END name rc=N, @@NOTE text, @@CUT n (the power
# goes off next), @@DONE at the end of the last boot.
cp "$KDIR/busybox" "$WORK/rootfs/bin/busybox"
cp "$KDIR"/mod/* "$WORK/rootfs/mod/"
cp "$PROBE" "$WORK/rootfs/casefold_probe"
cp "$STICK" "$WORK/rootfs/stick_probe"
take "$(command -v fsck.fat)" fsck.vfat
take "$(command -v fsck.exfat)" fsck.exfat
cat > "$WORK/rootfs/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
echo "@@INIT"
mkdir -p /proc /sys /dev /mnt /tmp
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in \$(cat /mod/order); do insmod /mod/\$m 2>/dev/null; done
sleep 1
arg() { sed -n "s/.*skorvatin\.\$1=\([^ ]*\).*/\1/p" /proc/cmdline; }
boot=\$(arg boot)
echo "@@NOTE kernel \$(uname -r), boot \$boot"
# Disks are known by their serial numbers, whichever of them the host left out.
disk() {
  for b in /sys/block/vd*; do [ "\$(cat \$b/serial 2>/dev/null)" = "\$1" ] && { echo /dev/\${b##*/}; return; }; done
  echo /dev/no-disk-\$1
}
run() { # label dir
  echo "@@BEGIN \$1"; mkdir -p "\$2/probe"; /casefold_probe "\$2/probe"; rc=\$?; echo "@@END \$1 rc=\$rc"
}
try() { # label device dir mount-arguments...
  l=\$1 dev=\$2 dir=\$3; shift 3; mkdir -p \$dir
  if mount "\$@" \$dev \$dir 2>/tmp/err; then echo "@@NOTE mount \$l (\$*): OK"; return 0; fi
  echo "@@NOTE mount \$l (\$*): FAILED \$(cat /tmp/err) \$(dmesg | tail -1)"; return 1
}
block() { # label command...
  l=\$1; shift; echo "@@BEGIN \$l"; "\$@"; echo "@@END \$l rc=\$?"
}
# The options a desktop uses when it mounts a stick (udisks): mixed short names, UTF-8.
VFAT=shortname=mixed,utf8=1,flush
EXFAT=iocharset=utf8,errors=remount-ro
SV=\$(disk stick-vfat) SE=\$(disk stick-exfat)
try state \$(disk state) /mnt/state -t ext4
echo 1 > /proc/sys/kernel/sysrq
if [ "\$boot" = 1 ]; then
  mount -t tmpfs tmpfs /tmp && run tmpfs /tmp
  try vfat \$(disk vfat) /mnt/vfat -t vfat -o \$VFAT && run vfat /mnt/vfat
  try exfat \$(disk exfat) /mnt/exfat -t exfat && run exfat /mnt/exfat
  if try ext4-casefold \$(disk ext4cf) /mnt/cf -t ext4; then
    mkdir /mnt/cf/ci && echo "@@NOTE chattr +F: \$(/casefold_probe --casefold /mnt/cf/ci)" && run ext4-casefold /mnt/cf/ci
  fi
  [ $WITH_XFS = 1 ] && try xfs-ascii-ci \$(disk xfsci) /mnt/xfs -t xfs && run xfs-ascii-ci /mnt/xfs
  block stick-vfat /stick_probe kills \$SV vfat \$VFAT /media/a/STICK /media/b/STICK /mnt/state/kills-vfat
  block stick-exfat /stick_probe kills \$SE exfat \$EXFAT /media/a/EXSTICK /media/b/EXSTICK /mnt/state/kills-exfat
  block cost-vfat /stick_probe cost \$SV /media/cost \$VFAT $COST_FILES 3 /mnt/state/cost
else
  n=\$((boot - 1)) k=\$(echo "${CUTS[*]}" | cut -d' ' -f\$((boot - 1)))
  echo "@@BEGIN after-cut-\$n"
  # fsck.fat says first that it has no iconv modules and uses its own code page table.
  fsck.vfat -a \$SV >/tmp/fsck 2>&1; echo "NOTE fsck.vfat -a: rc=\$? \$(grep -v conversion /tmp/fsck | tr '\n' ' ')"
  fsck.exfat -p \$SE >/tmp/fsck 2>&1; echo "NOTE fsck.exfat -p: rc=\$? \$(tr '\n' ' ' </tmp/fsck)"
  if try stick-vfat \$SV /mnt/sv -t vfat -o \$VFAT && try stick-exfat \$SE /mnt/se -t exfat -o \$EXFAT; then
    /stick_probe after-cut \$n \$k /mnt/state/cut-\$n vfat=/mnt/sv/cut-\$n exfat=/mnt/se/cut-\$n
  fi
  echo "@@END after-cut-\$n rc=\$?"
fi
k=\$(echo "${CUTS[*]}" | cut -d' ' -f\$boot)
if [ \$boot -lt $BOOTS ] && [ -n "\$k" ]; then
  grep -q ' /mnt/sv ' /proc/mounts || try stick-vfat \$SV /mnt/sv -t vfat -o \$VFAT
  grep -q ' /mnt/se ' /proc/mounts || try stick-exfat \$SE /mnt/se -t exfat -o \$EXFAT
  # Inside a run, write-back every twentieth of a second for what is a tenth of a second old: the
  # disks trail the renames of the (slowed) batches by a few renames when the power goes. After a
  # run the kernel's own half minute: what is on the disk then is what the run made durable.
  if [ "\$k" != 0 ]; then
    echo 5 >/proc/sys/vm/dirty_writeback_centisecs; echo 10 >/proc/sys/vm/dirty_expire_centisecs
  fi
  echo "@@BEGIN cut-\$boot"
  if [ \$((boot % 2)) = 1 ]; then
    /stick_probe cut \$boot \$k /mnt/state/cut-\$boot /mnt/sv/cut-\$boot /mnt/se/cut-\$boot
  else
    /stick_probe cut \$boot \$k /mnt/state/cut-\$boot /mnt/se/cut-\$boot /mnt/sv/cut-\$boot
  fi
  echo "@@END cut-\$boot rc=\$?"
  echo "@@NOTE the power stayed on after cut \$boot"
else
  sync; umount -a 2>/dev/null
  echo "@@DONE"
fi
poweroff -f
EOF
chmod +x "$WORK/rootfs/init"
(cd "$WORK/rootfs" && find . | cpio -o -H newc 2>/dev/null | gzip -1) > "$WORK/initrd.gz"

# Every disk by a serial number the guest finds it by.
drives=()
attach() { # serial size mkfs...
  local serial=$1 image=$WORK/img/$1.img
  truncate -s "$2" "$image"
  shift 2
  "$@" "$image" >/dev/null
  drives+=(-drive "file=$image,if=none,format=raw,id=$serial" -device "virtio-blk-pci,drive=$serial,serial=$serial")
}
expected=(tmpfs vfat exfat ext4-casefold)
attach vfat 64M mkfs.vfat -F 32
attach exfat 64M mkfs.exfat
attach ext4cf 64M mkfs.ext4 -q -O casefold
if [ $WITH_XFS = 1 ]; then
  attach xfsci 320M mkfs.xfs -q -n version=ci
  expected+=(xfs-ascii-ci)
fi
attach stick-vfat 64M mkfs.vfat -F 32 -n STICK -i 5C0E2024
attach stick-exfat 32M mkfs.exfat -L EXSTICK
attach state 16M mkfs.ext4 -q
expected+=(stick-vfat stick-exfat cost-vfat)
for ((b = 2; b <= BOOTS; b++)); do expected+=("after-cut-$((b - 1))"); done

# One boot of the machine under accelerator $1. The guest's init must print its first line within
# $2 seconds, or the machine is stopped and the boot counts as failed (return 3, reason in $why).
why=""
console_tail() { # the last $1 lines the machine printed, on one line
  tr -d '\r' < "$log_file" | sed -E 's/\x1b(c|\[[0-9;?]*[A-Za-z])//g' | grep -v -e '^\s*$' -e 'terminating on signal' |
    tail -"$1" | tr '\n' ' '
}
boot() { # accel limit boot-number
  local accel=$1 limit=$2 t0 pid
  t0=$(date +%s)
  log_file=$OUT/console-$3.log
  : > "$log_file"
  timeout 600 qemu-system-x86_64 -accel "$accel" -m 1024 -smp 1 -nographic -no-reboot \
    -kernel "$KDIR/vmlinuz" -initrd "$WORK/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 skorvatin.boot=$3" \
    "${drives[@]}" > "$log_file" 2>&1 &
  pid=$!
  while ! grep -q '@@INIT' "$log_file"; do
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
  echo "Boot $3 ran $(( $(date +%s) - t0 )) s ($accel); console in $log_file"
}

started=$(date +%s)
watchdog=${SKORVATIN_VM_WATCHDOG:-15}
case ${SKORVATIN_VM_ACCEL:-auto} in
  auto)
    accel="" first=2
    if [ -w /dev/kvm ]; then
      if boot kvm "$watchdog" 1; then accel=kvm; else echo "KVM did not run the guest ($why); trying TCG"; fi
    else
      echo "No usable /dev/kvm; running under TCG"
    fi
    # TCG needs no help from the host; a boot that stays silent for two minutes is broken, not slow.
    if [ -z "$accel" ]; then
      accel=tcg
      boot tcg 120 1 || { echo "FAIL: the machine could not be booted under TCG: $why"; exit 1; }
    fi
    ;;
  kvm | tcg)
    accel=${SKORVATIN_VM_ACCEL} first=1
    ;;
  *)
    echo "SKORVATIN_VM_ACCEL must be auto, kvm or tcg, not '$SKORVATIN_VM_ACCEL'" >&2
    exit 2
    ;;
esac
limit=$watchdog
[ "$accel" = tcg ] && limit=120
for ((b = first; b <= BOOTS; b++)); do
  boot "$accel" "$limit" "$b" || { echo "FAIL: boot $b under $accel: $why"; exit 1; }
done
echo "All $BOOTS boots took $(( $(date +%s) - started )) s"

# Judge the report: every expected block reported, its probe ended with 0, no FAIL anywhere; each
# boot but the last cut the power; the last one finished.
clean() { tr -d '\r' < "$1" | sed -E 's/\x1b(c|\[[0-9;?]*[A-Za-z])//g'; }
log=$(for ((b = 1; b <= BOOTS; b++)); do clean "$OUT/console-$b.log"; done)
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
  [ -n "$notes" ] && sed "s/^/  $fs: /" <<< "$notes"
  if [ -n "$fails" ]; then
    sed "s/^FAIL /FAIL $fs /" <<< "$fails"; status=1
  elif [ "$end" != "@@END $fs rc=0" ] || [ "$pass" -eq 0 ]; then
    echo "FAIL $fs: probe ended with ${end#@@END $fs } after $pass checks"; status=1
  else
    grep '^PASS cut-' <<< "$block" | sed 's/^/  /' || true
    echo "PASS $fs: $pass checks"
  fi
done
for ((b = 1; b < BOOTS; b++)); do
  one=$(clean "$OUT/console-$b.log")
  cut_block=$(awk -v b="cut-$b" '$1=="@@BEGIN" && $2==b {on=1; next} on' <<< "$one")
  grep '^NOTE \|^FAIL ' <<< "$cut_block" | sed "s/^/  cut-$b: /" || true
  if grep -q "^@@CUT $b " <<< "$cut_block" && ! grep -q -e '^FAIL ' -e "^@@END cut-$b " <<< "$cut_block"; then
    echo "PASS cut-$b: $(grep "^@@CUT $b " <<< "$cut_block" | sed "s/^@@CUT $b //")"
  else
    echo "FAIL cut-$b: the power was not cut"; status=1
  fi
done
clean "$OUT/console-$BOOTS.log" | grep -q '^@@DONE' || { echo "FAIL: the machine did not finish"; status=1; }
exit $status
