#!/usr/bin/env bash
# The kpx4160 HAL component over the simulated card in a bare HAL session
# (1 kHz servo thread, no LinuxCNC): following a ramped command, stopping on
# enable low, end limits, home, alarm, general inputs and outputs.
#   tests/linuxcnc/halrun_test.sh path/to/libkpx4160_sim.so.1
set -euo pipefail
lib=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/hal_env.sh"
hal_stop
trap hal_stop EXIT
# An empty bus: loading the driver fails and says why, in the library's words.
halcmd loadrt kpx4160sim lib="$lib" cards=0 >"$hal_work/load.log" 2>&1
! halcmd loadrt kpx4160 lib="$lib" >>"$hal_work/load.log" 2>&1
check "load error names the reason" "$(grep -c 'no KPX4160 card found: no cards found' "$hal_work/load.log")" ">" 0
halcmd unload kpx4160sim >/dev/null 2>&1

cat >"$hal_work/test.hal" <<HAL
loadrt kpx4160sim lib=$lib
loadrt kpx4160 lib=$lib
loadrt threads name1=servo period1=1000000
loadrt limit3
loadrt sampler depth=8000 cfg=ff
addf kpx4160sim.update servo
addf kpx4160.read servo
addf limit3.0 servo
addf kpx4160.write servo
addf sampler.0 servo
setp limit3.0.maxv 20
setp limit3.0.maxa 200
setp kpx4160.0.maxvel 25
setp kpx4160.0.maxaccel 250
setp kpx4160.1.maxvel 25
setp kpx4160.1.maxaccel 250
net cmd limit3.0.out => kpx4160.0.position-cmd sampler.0.pin.0
net fb kpx4160.0.position-fb => sampler.0.pin.1
setp kpx4160sim.0.home-position 19900
setp kpx4160sim.0.home-width 200
setp kpx4160sim.0.home-on 1
setp kpx4160sim.1.limit-minus -3000
setp kpx4160sim.1.limit-plus 5000
setp kpx4160sim.1.limits-on 1
setp kpx4160sim.1.encoder-ratio 2
setp kpx4160.1.use-encoder 1
setp kpx4160.0.enable 1
setp kpx4160.1.enable 1
start
HAL
halcmd -f "$hal_work/test.hal" >"$hal_work/halcmd.log" 2>&1 || { cat "$hal_work/halcmd.log"; exit 1; }
get() { halcmd -s getp "$1" 2>/dev/null | sed 's/TRUE/1/; s/FALSE/0/'; }
setp() { halcmd setp "$1" "$2" >/dev/null 2>&1; }

# Axis 0 follows a 20 mm move at 20 mm/s, 200 mm/s^2 (about 1.1 s); every
# period's command and feedback are recorded. The host is not real-time, so
# the averages and the end count, not single periods.
timeout 20 halsampler -n 2500 >"$hal_work/ramp.txt" &
sampler=$!
sleep 0.2
setp limit3.0.in 20
wait $sampler
sleep 0.3
read -r mean worst moving < <(awk '$1 != p { e = $1 - $2; e = e < 0 ? -e : e; s += e; if (e > m) m = e; n++ } { p = $1 }
  END { printf "%.5f %.5f %d\n", n ? s / n : 99, m, n }' "$hal_work/ramp.txt")
echo "following error while moving: mean $mean mm, worst period $worst mm over $moving periods"
check "periods recorded while moving" "$moving" ">" 800
check "mean following error (mm)" "$mean" "<" 0.02
check "end count at 20 mm" "$(get kpx4160.0.counts)" "==" 20000
check "velocity-fb at rest" "$(get kpx4160.0.velocity-fb)" "==" 0
check "home inside the cam 19.9..20.1 mm" "$(get kpx4160.0.home)" "==" 1

# Axis 1 closes its loop on an encoder counting two per output pulse (its
# counts per mm taken as position-scale): 4 mm is 4000 counts, 2000 pulses.
setp kpx4160.1.position-cmd 4
sleep 1
check "axis 1 pulses at 4 mm on the encoder" "$(get kpx4160.1.counts)" "==" 2000
check "axis 1 position-fb from the encoder" "$(get kpx4160.1.position-fb)" "==" 4
# Commanded to 10 mm, it runs into +EL at 5000 pulses, which stops it and shows.
setp kpx4160.1.position-cmd 10
sleep 1
check "axis 1 held at +EL (pulses)" "$(get kpx4160.1.counts)" "==" 5000
check "limit-plus at +EL" "$(get kpx4160.1.limit-plus)" "==" 1
check "limit-minus at +EL" "$(get kpx4160.1.limit-minus)" "==" 0

# Inputs 1, 3 and 20 on the card; alarm of axis 0; output 3 on.
setp kpx4160sim.card.0.inputs 0x80005
setp kpx4160sim.0.alarm 1
setp kpx4160.card.0.out-03 1
sleep 0.2
for n in 01:1 02:0 03:1 19:0 20:1; do check "in-${n%:*}" "$(get kpx4160.card.0.in-${n%:*})" "==" "${n#*:}"; done
check "in-01-not" "$(get kpx4160.card.0.in-01-not)" "==" 0
check "alarm" "$(get kpx4160.0.alarm)" "==" 1
# Outputs 1-12 are active-low bits 0-11 of the output register.
check "output register bit of out-03 (low = on)" "$(( $(get kpx4160sim.card.0.output-register) >> 2 & 1 ))" "==" 0
check "output register bit of out-04 (high = off)" "$(( $(get kpx4160sim.card.0.output-register) >> 3 & 1 ))" "==" 1

# A long move on axis 0; enable drops after 0.5 s: the axis ramps down and
# stays where it stopped, short of the target.
setp limit3.0.in 100
sleep 0.5
setp kpx4160.0.enable 0
sleep 0.5
p1=$(get kpx4160.0.counts)
sleep 0.3
check "axis 0 stopped after enable low" "$(get kpx4160.0.counts)" "==" "$p1"
check "and short of the target" "$p1" "<" 90000
check "velocity-fb after enable low" "$(get kpx4160.0.velocity-fb)" "==" 0

# Axis 1 sent back from +EL to -2 mm; the card's emergency stop halts it.
setp kpx4160.1.position-cmd -2
sleep 0.1
setp kpx4160.card.0.emergency-stop 1
sleep 0.2
p1=$(get kpx4160.1.counts)
sleep 0.3
check "axis 1 held by the emergency stop" "$(get kpx4160.1.counts)" "==" "$p1"
check "and short of -2 mm" "$p1" ">" -1900

trap - EXIT
hal_stop
[ "$fails" -eq 0 ] && rm -rf "$hal_work" && echo "halrun test passed" || { echo "halrun test: $fails failures"; exit 1; }
