#!/usr/bin/env bash
# The library as a customer's machine gets it: builds the Debian packages
# from BUILD_DIR, installs them with dpkg, builds examples/ out of tree
# against the installed files only, once with find_package (CMake) and once
# with pkg-config (the compiler alone), runs every example on the simulated
# cards, then removes the packages again. Needs root.
# Usage: check_debs.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$(cd "$1" && pwd); work=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
packages="kpx4160-tools libkpx4160-dev libkpx4160-sim1 libkpx4160-1"
rm -rf "$work" && mkdir -p "$work"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
dpkg -i "$build"/*.deb >/dev/null
trap 'dpkg -P $packages >/dev/null' EXIT

# Every file an install puts down is in one of the packages (an install rule
# without a packaged component would silently miss the packages).
cmake --install "$build" --prefix "$work/all" >/dev/null
missing=$(comm -23 <(cd "$work/all" && find . ! -type d | sed 's|^\.|/usr|' | sort) \
  <(dpkg -L $packages | sort -u))
[ -z "$missing" ] || { echo "check_debs: installed but in no package:" $missing >&2; exit 1; }

cmake -S "$src/examples" -B "$work/cmake" >/dev/null
cmake --build "$work/cmake" -j2 >/dev/null
ctest --test-dir "$work/cmake" --output-on-failure

for f in "$src"/examples/*.c "$src"/examples/*.cpp; do
  name=$(basename "${f%.*}")
  case $f in *.c) cc=cc ;; *) cc=c++ ;; esac
  # shellcheck disable=SC2046
  $cc -Wall -Wextra -Werror "$f" -o "$work/$name" $(pkg-config --cflags --libs kpx4160-sim)
  "$work/$name" >/dev/null || { echo "check_debs: $name (pkg-config build) failed" >&2; exit 1; }
done
for t in $(dpkg -L kpx4160-tools | grep '^/usr/bin/.'); do
  if ldd "$t" | grep -q 'not found'; then echo "check_debs: $t misses a library" >&2; exit 1; fi
done
echo "check_debs: packages installed; examples built with find_package and with pkg-config all pass"
