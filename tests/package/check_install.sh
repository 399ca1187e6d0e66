#!/usr/bin/env bash
# Installs the build into a fresh prefix, moves the prefix elsewhere (a copied
# tree must keep working) and checks what is there: headers, the libraries
# with their SONAME links, pkg-config files, the CMake package, the tools
# (without a run path into the build tree) and the man pages; then compiles
# and runs a program against the moved tree with pkg-config alone.
# Usage: check_install.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$(cd "$1" && pwd); work=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work" && mkdir -p "$work"
cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/moved"
p=$work/moved
fail() { echo "check_install: $*" >&2; exit 1; }

for f in include/kpx4160.h include/kpx4160_sim.h include/kpx4160_version.h \
         lib/libkpx4160.so lib/libkpx4160.so.1 lib/libkpx4160_sim.so lib/libkpx4160_sim.so.1 \
         lib/pkgconfig/kpx4160.pc lib/pkgconfig/kpx4160-sim.pc \
         lib/cmake/kpx4160/kpx4160Config.cmake lib/cmake/kpx4160/kpx4160ConfigVersion.cmake \
         lib/cmake/kpx4160/kpx4160Targets.cmake share/doc/kpx4160/README.md; do
  [ -e "$p/$f" ] || fail "missing $f"
done
for lib in kpx4160 kpx4160_sim; do
  readelf -d "$p/lib/lib$lib.so" | grep -q "SONAME.*\[lib$lib.so.1\]" || fail "lib$lib.so: SONAME is not lib$lib.so.1"
done
tools=$(find "$p/bin" -type f -perm -u+x 2>/dev/null | wc -l)
[ "$tools" -ge 1 ] || fail "no tools in bin/"
for t in "$p"/bin/*; do
  if readelf -d "$t" | grep -E 'R(UN)?PATH' | grep -q "$build"; then fail "$t: run path into the build tree"; fi
  ldd "$t" | grep -q 'not found' && fail "$t: a library is not found"
done
[ -e "$p/share/man/man1/kpx4160.1" ] || fail "man page kpx4160.1 not installed"
for page in "$src"/tools/man/*.[1-8]; do
  [ -e "$page" ] || continue
  [ -e "$p/share/man/man${page##*.}/$(basename "$page")" ] || fail "man page $(basename "$page") not installed"
done

export PKG_CONFIG_PATH=$p/lib/pkgconfig
[ "$(pkg-config --modversion kpx4160-sim)" = "$(sed -n 's/#define KPX4160_VERSION_STRING "\(.*\)"/\1/p' "$p/include/kpx4160_version.h")" ] ||
  fail "pkg-config version differs from kpx4160_version.h"
cat > "$work/app.c" <<'C'
#include <kpx4160.h>
#include <kpx4160_version.h>
int main(void) {
  uint32_t first = 0, second = 0;
  k4160_get_lib_version(&first, &second);
  return KPX4160_VERSION_MAJOR >= 1 && k4160_board_init() == 1 && first == 10000 ? 0 : 1;
}
C
# shellcheck disable=SC2046
cc "$work/app.c" -o "$work/app" $(pkg-config --cflags --libs kpx4160-sim) \
  -Wl,-rpath,"$(pkg-config --variable=libdir kpx4160-sim)"
"$work/app" || fail "program built with pkg-config against the moved tree failed"
echo "check_install: $(find "$p" -type f | wc -l) files installed, all present; program built with pkg-config runs"
