#!/usr/bin/env bash
# The kpx4160 tool against the simulated library: what each subcommand
# prints, on which stream, and its exit code (0 done, 1 card or motion
# failed, 2 usage).
set -u
tool=$1 sim_lib=$2
fail=0

# expect CODE STREAM PATTERN ARGS...: the exit code, and an extended regular
# expression found in standard output (out) or standard error (err).
expect() {
  local code=$1 stream=$2 pattern=$3; shift 3
  local out err got
  out=$("$tool" "$@" 2>/tmp/kpx4160_tool_err.$$); got=$?
  err=$(cat /tmp/kpx4160_tool_err.$$)
  local text=$out; [ "$stream" = err ] && text=$err
  if [ "$got" -ne "$code" ] || ! grep -Eq -- "$pattern" <<<"$text"; then
    printf 'FAIL: kpx4160 %s -> exit %s (want %s and /%s/ on std%s)\n--- stdout:\n%s\n--- stderr:\n%s\n' \
      "$*" "$got" "$code" "$pattern" "$stream" "$out" "$err"
    fail=1
  fi
}

expect 0 out '^card 0: KPX4160 serial VEV00001 firmware 1\.0 axes 0-1$' --sim list
expect 0 out '^card 1: KPX4160 serial VEV00002 .* axes 2-3$' --sim-cards 2 list
expect 0 out '1 card\(s\)' --library "$sim_lib" list
expect 1 err 'no card opened' --sim-cards 0 list
expect 1 err 'no card opened' list
expect 0 out '^axis 3: position 0 encoder 0 speed 0 .* done' --sim-cards 2 status 3
expect 1 err 'no axis 2: 1 card\(s\) give axes 0-1' --sim status 2
expect 0 out '^axis 0: position 5000 .* done$' --sim move 0 5000
expect 0 out '^axis 1: position -300 .* done$' --sim move 1 -300 --abs --s-curve --decel 0.05
expect 2 err 'DISTANCE is required' --sim move 0
expect 2 err 'x not in' --sim jog 0 x
expect 2 err 'not in' --sim home 0 --dir up
expect 0 out '^axis 1: position 0 .* done$' --sim stop all --emergency
expect 0 out '^axis 0: position 0 .* done$' --sim stop 0
expect 2 err 'number or all' --sim stop x
expect 0 out '^card 0 inputs 1-20: 0000 0000 0000 0000 0000$' --sim io get
expect 0 out '^card 1 input 20: 0$' --sim-cards 2 io --card 1 get 20
expect 0 out '^card 0 output 5: 1$' --sim io set 5 1
expect 0 out '^card 0 output 17: 0$' --sim io set 17 0
expect 2 err 'not in range' --sim io set 21 1
expect 0 out '^card 0 outputs 1-20: 1111 1111 1111 1111 1111$' --sim io outputs
expect 1 err 'no card 1' --sim io --card 1 outputs
expect 0 out '^axis 1 servo off$' --sim servo 1 off
expect 2 err 'not in' --sim servo 1 maybe
expect 0 out '^0x[0-9A-F]{8}$' --sim reg read 0 0 0xDD
expect 0 out 'wrote 0x00001234, reads back 0x00001234' --sim reg write 0 1 0x81 0x1234
expect 2 err 'not in range' --sim reg read 0 0 0x80
expect 0 out '^wrote 0x0000FFFF$' --sim pld write 0 0x44 0xFFFF
expect 2 err 'multiple of 4' --sim pld read 0 0x46
expect 0 out 'axis 0: position 0 .* done' --sim watch --interval 50
expect 0 out 'Usage: kpx4160 move .*AXIS DISTANCE' move --help
expect 0 out '^kpx4160 tool [0-9]+\.[0-9]+' --version
expect 2 err 'bogus' --bogus
expect 2 err 'Usage: kpx4160' 
# list over a copy of a machine's tree: one card bound to no driver with its
# decoding off, one bound to uio_pci_generic. Each missing piece is named
# with its fix, and any missing piece makes list fail.
root=$(mktemp -d)
for dev in 0000:03:00.0 0000:04:00.0; do
  mkdir -p "$root/sys/bus/pci/devices/$dev"
  printf '0x0003\n' >"$root/sys/bus/pci/devices/$dev/vendor"
  printf '0x4160\n' >"$root/sys/bus/pci/devices/$dev/device"
  touch "$root/sys/bus/pci/devices/$dev/config" "$root/sys/bus/pci/devices/$dev/resource1"
done
printf '0\n' >"$root/sys/bus/pci/devices/0000:03:00.0/enable"
mkdir -p "$root/drivers/uio_pci_generic" "$root/sys/bus/pci/devices/0000:04:00.0/uio/uio0" "$root/dev"
ln -s "$root/drivers/uio_pci_generic" "$root/sys/bus/pci/devices/0000:04:00.0/driver"
touch "$root/dev/uio0"
expect 1 out '^PCI 0000:03:00\.0: driver none, UIO device none$' --sim list --root "$root"
expect 1 out 'fix: modprobe uio_pci_generic' --sim list --root "$root"
expect 1 out 'fix: echo 1 > /sys/bus/pci/devices/0000:03:00\.0/enable' --sim list --root "$root"
expect 1 out '^PCI 0000:04:00\.0: driver uio_pci_generic, UIO device /dev/uio0$' --sim list --root "$root"
rm -f "$root/sys/bus/pci/devices/0000:03:00.0/vendor"
expect 0 out '^  every permission the library needs is there$' --sim list --root "$root"
rm -rf "$root" /tmp/kpx4160_tool_err.$$
exit $fail
