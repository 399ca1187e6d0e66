#!/bin/sh
# An unchanged program linked with the hardware library runs on the
# simulated gantry through the simulated library installed under the
# hardware library's name; a refused machine file stops it with the reason.
# Arguments: program, folder of the simulated libkpx4160.so.1, folder of the
# hardware library, folder of the example machine files.
set -u
app=$1 sim=$2 hw=$3 machines=$4
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; cat "$tmp/out" "$tmp/err"; exit 1; }

# On the hardware library there is no card here: the program gives up.
LD_LIBRARY_PATH=$hw KPX4160_SIM_MACHINE=$machines/gantry.toml "$app" >"$tmp/out" 2>"$tmp/err" &&
  fail "the hardware library found a card"

LD_LIBRARY_PATH=$sim KPX4160_SIM_MACHINE=$machines/gantry.toml "$app" >"$tmp/out" 2>"$tmp/err" ||
  fail "the program failed on the simulated gantry"
grep -qx "homed at -951 -1451" "$tmp/out" || fail "homing did not stop on the switches"
grep -qx "moved to 50000 30000" "$tmp/out" || fail "the moves did not end on their targets"
grep -qx "X stopped at 100000, io 0x2200, error cause 0x10" "$tmp/out" || fail "the limit stop or its cause"

printf 'cards = 1\n[[axis]]\naxis = 0\nlimits = [5, 1]\n' >"$tmp/bad.toml"
LD_LIBRARY_PATH=$sim KPX4160_SIM_MACHINE=$tmp/bad.toml "$app" >"$tmp/out" 2>"$tmp/err" && fail "a bad file was accepted"
want="$tmp/bad.toml:4: key 'axis.limits': the first position must be below the second"
[ "$(grep -c -x "$want" "$tmp/err")" = 1 ] || fail "the refusal on standard error"
grep -qx "no card: $want" "$tmp/err" || fail "the library's error text"
echo "ok"
