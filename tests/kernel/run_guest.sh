#!/usr/bin/env bash
# The Linux back end on a real kernel: boots Debian's own kernel (the one the
# linux-image-amd64 package currently depends on) under QEMU software
# emulation, with a small initramfs of busybox and the statically linked
# guest_check, and QEMU's emulated PCI devices in place of the card:
#   - edu at 00:04.0 (memory space, INTx): memory path, configuration space,
#     100 interrupts, disable waking a wait, release;
#   - rtl8139 at 00:05.0 (I/O space): 2- and 4-byte port reads and writes.
# The devices are checked bound to no driver, to uio_pci_generic (as root,
# then refused to an unprivileged user) and to vfio-pci (as an unprivileged
# user who owns the group nodes), with an emulated IOMMU.
# Exits 0 only when every check passed; otherwise prints the guest's serial log.
#
# usage: [KPX4160_GUEST_LOG=serial.log] run_guest.sh PATH/TO/kpx4160_guest_check
set -euo pipefail

guest_check=$(realpath "${1:?usage: run_guest.sh PATH/TO/kpx4160_guest_check}")
. "$(dirname "$0")/guest_kernel.sh"
guest_prepare uio_pci_generic vfio-pci vfio_iommu_type1
mkdir -p "$root/etc"

cp "$guest_check" "$root/bin/guest_check"
echo 'root:x:0:0::/:/bin/sh
kpx:x:1000:1000::/:/bin/sh' >"$root/etc/passwd"
echo 'root:x:0:
kpx:x:1000:' >"$root/etc/group"
echo /bin/sh >"$root/etc/shells"
cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod /modules/$m.ko || echo "FAIL - insmod $m"; done
EDU=0000:00:04.0 NIC=0000:00:05.0 MAC=52:54:00:4b:50:58
devices=/sys/bus/pci/devices drivers=/sys/bus/pci/drivers
failed=0
run() { echo "== $*"; "$@" || failed=1; }
as_user() { echo "== (as kpx) $1"; su kpx -c "$1" || failed=1; }

# No driver: register access, and interrupts refused.
run guest_check edu-no-irq $EDU "bound to no driver"
run guest_check io $NIC $MAC

# uio_pci_generic: everything as root. An unprivileged user is refused the
# root-owned register file; given the files, still the configuration space
# past the header, where the card's interrupt is acknowledged.
echo "1234 11e8" >$drivers/uio_pci_generic/new_id
run guest_check edu $EDU
as_user "guest_check refused $EDU 'Permission denied'"
chown kpx $devices/$EDU/resource0 $devices/$EDU/config /dev/uio0
as_user "guest_check edu-no-irq $EDU CAP_SYS_ADMIN"

# vfio-pci: everything as the unprivileged owner of the group nodes.
echo $EDU >$drivers/uio_pci_generic/unbind
echo "1234 11e8" >$drivers/uio_pci_generic/remove_id
for d in $EDU $NIC; do
  echo vfio-pci >$devices/$d/driver_override
  echo $d >/sys/bus/pci/drivers_probe
  chown kpx /dev/vfio/$(basename $(readlink $devices/$d/iommu_group))
done
as_user "guest_check edu $EDU"
as_user "guest_check io $NIC $MAC"

[ $failed = 0 ] && echo "KPX4160 GUEST: ALL CHECKS PASSED" || echo "KPX4160 GUEST: SOME CHECKS FAILED"
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd"

# Software emulation: nested virtualisation is not to be relied on in CI.
log=$work/serial.log
start=$(date +%s)
timeout 300 qemu-system-x86_64 -accel tcg -M q35 -m 256M -smp 1 -nodefaults -display none -monitor none \
  -no-reboot -serial "file:$log" -kernel "$kernel" -initrd "$work/initrd" \
  -append "console=ttyS0 quiet intel_iommu=on panic=-1" \
  -device intel-iommu,intremap=on -device edu,addr=04.0 -device rtl8139,addr=05.0,mac=52:54:00:4b:50:58 \
  </dev/null 2>"$work/qemu.err" || true
if [ -n "${KPX4160_GUEST_LOG:-}" ]; then cp "$log" "$KPX4160_GUEST_LOG"; fi  # to read the checks after a pass
if grep -q "KPX4160 GUEST: ALL CHECKS PASSED" "$log"; then
  echo "real-kernel check ($version, $(basename "$kernel")): $(grep -c '^ok - ' "$log") checks passed in $(($(date +%s) - start)) s"
  exit 0
fi
echo "real-kernel check failed ($version, $(($(date +%s) - start)) s); the guest's serial log:" >&2
cat "$log" "$work/qemu.err" >&2
exit 1
