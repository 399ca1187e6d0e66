#!/usr/bin/env bash
# kpx4160 sim-run: the application runs with the machine file named in
# KPX4160_SIM_MACHINE and the simulated library's folder first on the
# library path, its exit code comes back, and the log paths of the file's
# [log] table are printed. The kpx4160 tool itself, run without --sim, then
# loads the simulated library under the hardware name and finds its card.
set -u
tool=$1 sim_lib=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/sim"
ln -s "$sim_lib" "$dir/sim/libkpx4160.so.1"
printf '[log]\ncsv = "run.csv"\nsvg = "run.svg"\n' >"$dir/m.toml"
cd "$dir"
fail=0
check() {  # check WANT_CODE PATTERN OUTPUT CODE
  if [ "$4" -ne "$1" ] || ! grep -Eq -- "$2" <<<"$3"; then
    printf 'FAIL: exit %s (want %s), /%s/ not in:\n%s\n' "$4" "$1" "$2" "$3"; fail=1
  fi
}
out=$("$tool" sim-run m.toml --sim-dir sim -- sh -c 'echo "$KPX4160_SIM_MACHINE $LD_LIBRARY_PATH"; exit 3' 2>&1)
check 3 "^$dir/m.toml $dir/sim(:|\$)" "$out" $?
check 3 "^motion log: $dir/run.csv\$" "$out" 3
check 3 "^picture: $dir/run.svg\$" "$out" 3
out=$("$tool" sim-run m.toml --sim-dir sim -- "$tool" list 2>&1)
check 0 '^libkpx4160\.so\.1: .* 1 card\(s\)' "$out" $?
out=$("$tool" sim-run m.toml --sim-dir nowhere -- true 2>&1)
check 1 'no simulated libkpx4160\.so\.1 in nowhere' "$out" $?
printf '[log\n' >"$dir/bad.toml"
out=$("$tool" sim-run bad.toml --sim-dir sim -- true 2>&1)
check 1 'bad\.toml: ' "$out" $?
out=$("$tool" sim-run m.toml 2>&1)
check 2 'APP is required' "$out" $?
exit $fail
