#!/usr/bin/env bash
# kpx4160 watch in a real terminal: tmux runs it, the screen read back with
# capture-pane must show every axis and the inputs, and the q key ends it
# with exit code 0. A private tmux server keeps other sessions apart.
set -u
tool=$1
sock=kpx4160-watch-$$
status=/tmp/kpx4160_watch_status.$$
fail=0
tmux -L "$sock" new-session -d -x 132 -y 30 "'$tool' --sim-cards 2 watch --interval 100; echo \$? > $status"
screen=""
for _ in $(seq 50); do
  sleep 0.1
  screen=$(tmux -L "$sock" capture-pane -p 2>/dev/null)
  grep -q '^card 1 inputs' <<<"$screen" && break
done
for want in '^kpx4160 watch: 2 card\(s\)' '^axis 0: position 0 ' '^axis 3: position 0 .* done' '^card 1 inputs 1-20: '; do
  grep -Eq "$want" <<<"$screen" || { echo "FAIL: /$want/ not on the screen:"; echo "$screen"; fail=1; }
done
tmux -L "$sock" send-keys q
for _ in $(seq 50); do [ -s "$status" ] && break; sleep 0.1; done
if [ "$(cat "$status" 2>/dev/null)" != 0 ]; then
  echo "FAIL: q did not end watch with exit code 0 (got '$(cat "$status" 2>/dev/null)')"; fail=1
fi
tmux -L "$sock" kill-server 2>/dev/null
rm -f "$status"
exit $fail
