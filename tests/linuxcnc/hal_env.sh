# Sourced by the LinuxCNC tests. rtapi_app runs as root only when told which
# user to run as (RTAPI_UID) and where that user may put its socket
# (RTAPI_FIFO_PATH); the folder also takes the files the modules write. Only
# one HAL session runs per host: a running one is stopped first.
export HAL_RTMOD_DIR=/usr/lib/linuxcnc/modules
hal_work=$(mktemp -d /tmp/kpx4160-hal.XXXXXX)
chmod 777 "$hal_work"
if [ "$(id -u)" -eq 0 ]; then export RTAPI_UID=${RTAPI_UID:-65534} RTAPI_FIFO_PATH=$hal_work/rtapi.sock; fi
hal_running() { ps -C rtapi_app -o stat= | grep -qv '^Z'; }
hal_stop() { if hal_running; then timeout 30 halrun -U >/dev/null 2>&1 || true; fi; }
fails=0
# check NAME ACTUAL OP EXPECTED [TOLERANCE]: one comparison in awk, reported;
# OP "~" is equality within TOLERANCE (default 0.002: two pulses at 1000/mm).
check() {
  local op=$3; [ "$op" = "~" ] && op="- ${5:-0.002} <= b && a <= ${5:-0.002} +"
  if awk -v a="$2" -v b="$4" "BEGIN { exit !(a $op b) }"; then echo "ok   $1 ($2 $3 $4)"; else echo "FAIL $1 ($2 $3 $4)"; fails=$((fails + 1)); fi
}
