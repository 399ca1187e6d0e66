#!/usr/bin/env bash
# Ctrl-C during a move, a jog and a home search: the tool stops the axis
# decelerating (it was moving, and runs on past where the stop began, at
# least a quarter of what a 0.2 s linear ramp from that speed covers) and
# exits only once the axis is at rest; an interrupted move or home search is
# a failure (1), the end of a jog is its normal end (0).
set -u
tool=$1
fail=0
run() {
  local want=$1; shift
  local out=/tmp/kpx4160_ctrl_c.$$
  "$tool" --sim "$@" >"$out" 2>&1 &
  local pid=$!
  sleep 0.7
  kill -INT "$pid"
  wait "$pid"; local got=$?
  # "interrupted at position P1, speed S: axis A decelerated to rest at P2"
  local line p1 s p2
  line=$(grep -E '^interrupted at position' "$out")
  read -r p1 s p2 < <(sed -E 's/^interrupted at position (-?[0-9]+), speed ([0-9]+): .* rest at (-?[0-9]+)$/\1 \2 \3/' <<<"$line")
  if [ "$got" -ne "$want" ] || [ -z "$line" ] || [ "${s:-0}" -le 0 ] || [ $(( ${p2#-} - ${p1#-} )) -lt $(( ${s:-0} / 20 )) ] ||
     ! grep -Eq "^axis [0-9]: position $p2 .* done$" "$out"; then
    echo "FAIL: kpx4160 --sim $* then Ctrl-C -> exit $got (want $want):"; cat "$out"; fail=1
  fi
  rm -f "$out"
}
run 1 move 0 1000000
run 1 move 1 -1000000 --s-curve
run 0 jog 1 -
run 1 home 0 --dir +
exit $fail
