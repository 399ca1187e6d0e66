#!/usr/bin/env bash
# Runs a command of this machine under Debian's own kernel in QEMU, for
# machines whose kernel lacks what the command needs. The one user today is
# the 32-bit Windows build: Wine's 32-bit loader is an i386 program, and some
# kernels (virtual machines built without IA32 emulation) refuse to execute
# any i386 program ("Exec format error"); Debian's kernel runs them.
#
# The guest sees this machine's whole file system read-only (virtio 9p) and
# the current directory read-write at the same path, chroots into it and
# runs the command there as root, with fresh /proc, /sys, /dev and a tmpfs
# on /tmp (HOME is /tmp/home). The command's output is streamed to stdout;
# the script exits with the command's exit status (1 if the guest never
# reported one).
#
# usage: run_in_guest.sh COMMAND [ARG...]
#   environment: KPX4160_GUEST_SECONDS (default 1200) bounds the whole run;
#   KPX4160_GUEST_MEMORY (default 3G) and KPX4160_GUEST_CPUS (default: nproc).
set -euo pipefail

[ $# -gt 0 ] || { echo "usage: run_in_guest.sh COMMAND [ARG...]" >&2; exit 2; }
here=$(pwd)
. "$(dirname "$0")/guest_kernel.sh"
guest_prepare virtio_pci 9pnet_virtio 9p
mkdir -p "$root/host"

# The command, quoted for bash in the guest; the directory as it is.
printf '%q ' "$@" >"$root/command"
printf '%s' "$here" >"$root/directory"

cat >"$root/init" <<'GUEST'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
set -o pipefail
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod /modules/$m.ko || echo "insmod $m failed"; done
dir=$(cat /directory)
opts=trans=virtio,version=9p2000.L,msize=512000
# The system first, then the working directory, which may lie under /tmp.
root_mounted=no
if mount -t 9p -o $opts,ro,cache=loose hostroot /host; then
  root_mounted=yes
  mount -t proc proc /host/proc; mount -t sysfs sys /host/sys; mount -t devtmpfs dev /host/dev
  mount -t tmpfs tmp /host/tmp; mkdir -p /host/dev/shm; mount -t tmpfs shm /host/dev/shm
  ln -s /proc/self/fd /host/dev/fd  # for bash's process substitution
  ln -s /proc/self/fd/0 /host/dev/stdin; ln -s /proc/self/fd/1 /host/dev/stdout; ln -s /proc/self/fd/2 /host/dev/stderr
fi
mkdir -p "/host$dir" 2>/dev/null
if [ $root_mounted = yes ] && mount -t 9p -o $opts,cache=loose work "/host$dir"; then
  mkdir -p /host/tmp/home
  chroot /host /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/tmp/home TERM=dumb \
    /bin/bash -c "cd \"\$0\" && exec $(cat /command)" "$dir" </dev/null 2>&1 | cat  # a pipe, not a terminal
  status=$?
else
  echo "the guest could not mount this machine's file system"
  status=1
fi
echo "KPX4160 GUEST COMMAND EXIT: $status"
sync
poweroff -f
GUEST
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd"

log=$work/serial.log
cpus=${KPX4160_GUEST_CPUS:-$(nproc 2>/dev/null || echo 2)}
timeout "${KPX4160_GUEST_SECONDS:-1200}" qemu-system-x86_64 -accel tcg,thread=multi -M q35 \
  -m "${KPX4160_GUEST_MEMORY:-3G}" -smp "$cpus" -nodefaults -display none -monitor none -no-reboot \
  -chardev stdio,id=console,logfile="$log",signal=off -serial chardev:console \
  -kernel "$kernel" -initrd "$work/initrd" -append "console=ttyS0 quiet panic=-1" \
  -fsdev local,id=hostroot,path=/,security_model=none,multidevs=remap,readonly=on -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=work,path="$here",security_model=none -device virtio-9p-pci,fsdev=work,mount_tag=work \
  </dev/null 2>"$work/qemu.err" || true
status=$(sed -n 's/.*KPX4160 GUEST COMMAND EXIT: \([0-9]*\).*/\1/p' "$log" | tail -1)
if [ -z "$status" ]; then
  echo "the guest ended without the command's exit status ($version):" >&2
  cat "$work/qemu.err" >&2
  exit 1
fi
exit "$status"
