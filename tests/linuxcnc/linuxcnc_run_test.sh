#!/usr/bin/env bash
# The example XY machine (linuxcnc/configs/kpx4160-sim) run headless on the
# simulated card and driven over linuxcncrsh: home both joints on their home
# cams, run path.ngc (lines and arcs), compare the card's end position with
# the program's end point, and draw the motion log as OUT_DIR/path.svg.
#   tests/linuxcnc/linuxcnc_run_test.sh LIBKPX4160_SIM KPX4160_LOG_SVG OUT_DIR
set -euo pipefail
lib=$(realpath "$1") svg_tool=$(realpath "$2") out=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/hal_env.sh"
hal_stop
mkdir -p "$out" "$hal_work/cfg"
cp "$here/../../linuxcnc/configs/kpx4160-sim/"* "$hal_work/cfg"
chmod -R a+rwX "$hal_work/cfg"
sed -i "s|^LIBRARY = .*|LIBRARY = $lib|; s|^MOTION_LOG = .*|MOTION_LOG = $hal_work/motion.csv|" "$hal_work/cfg/kpx4160-xy.ini"
cd "$hal_work/cfg"
setsid linuxcnc -r kpx4160-xy.ini >"$out/linuxcnc.log" 2>&1 &
lcnc=$!
trap 'kill -- -$lcnc 2>/dev/null || true; hal_stop' EXIT
for _ in $(seq 150); do { exec 3<>/dev/tcp/127.0.0.1/5007; } 2>/dev/null && break; sleep 0.2; done
send() { printf '%s\r\n' "$@" >&3; }
# ask "get KEY" KEY: the words after KEY in linuxcncrsh's reply.
ask() {
  local line; send "$1"
  while IFS= read -r -t 10 line <&3; do line=${line//$'\r'/}; [[ $line == "$2 "* ]] && { echo "${line#"$2" }"; return 0; }; done
  echo "no $2 reply" >&2; return 1
}
# poll "get KEY" KEY PATTERN SECONDS: waits until the reply matches.
poll() { for _ in $(seq $(($4 * 5))); do [[ $(ask "$1" "$2") == $3 ]] && return 0; sleep 0.2; done; echo "timeout: $2 never $3" >&2; return 1; }
get() { halcmd -s getp "$1" 2>/dev/null; }

send "hello EMC kpx4160-test 1.0" "set enable EMCTOO" "set echo off" "set estop off" "set machine on"
poll "get machine" MACHINE ON 10
send "set mode manual" "set teleop_enable off" "set home -1"
poll "get joint_homed" JOINT_HOMED "YES YES*" 30
# The cams run from -10 to -9 mm of the card's count: homing latches the
# upper edge at 1 mm/s, sampled each period (a late period moves it up a bit).
ox=$(get joint.0.motor-offset) oy=$(get joint.1.motor-offset)
check "X homed on the cam's upper edge (mm)" "$ox" "~" -8.98 0.03
check "Y homed on the cam's upper edge (mm)" "$oy" "~" -8.98 0.03

start=$(date +%s.%N)
send "set mode auto" "set set_wait received" "set open $hal_work/cfg/path.ngc" "set run"
poll "get program_status" PROGRAM_STATUS "RUNNING" 10
poll "get program_status" PROGRAM_STATUS "IDLE" 60
echo "path.ngc ran in $(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s"
check "linuxcnc error" "\"$(ask "get error" ERROR)\"" "==" '"OK"'
read -r jx jy _ < <(ask "get joint_pos" JOINT_POS)
check "joint X at the program's end X10" "$jx" "~" 10
check "joint Y at the program's end Y0" "$jy" "~" 0
send "shutdown"
for _ in $(seq 150); do kill -0 "$lcnc" 2>/dev/null || break; sleep 0.2; done
trap - EXIT
hal_stop
# The simulated card's own record: its last logged positions, less the home offsets.
read -r px py < <(awk -F, '$2 == 0 { p[$3] = $4 } END { print p[0] / 1000, p[1] / 1000 }' "$hal_work/motion.csv")
check "card X at the end point X10 (motion log)" "$(awk -v p="$px" -v o="$ox" 'BEGIN { print p - o }')" "~" 10
check "card Y at the end point Y0 (motion log)" "$(awk -v p="$py" -v o="$oy" 'BEGIN { print p - o }')" "~" 0
"$svg_tool" "$hal_work/motion.csv" "$out/path.svg" "KPX4160 under LinuxCNC: path.ngc"
cp "$hal_work/motion.csv" "$out/motion.csv"
echo "motion log drawn: $out/path.svg"
[ "$fails" -eq 0 ] && rm -rf "$hal_work" && echo "linuxcnc run test passed" || { echo "linuxcnc run test: $fails failures"; exit 1; }
