#!/usr/bin/env bash
# Checks that the Windows DLL exports exactly the functions of the public
# header: every KPX4160_API function under its plain name, every
# KPX4160_CXX_API function under a C++-decorated name, and nothing else.
# Usage: check_dll_exports.sh kpx4160.dll include/kpx4160.h [objdump]
set -euo pipefail
dll=$1 header=$2 objdump=${3:-x86_64-w64-mingw32-objdump}
cxxfilt=${objdump%objdump}c++filt
command -v "$cxxfilt" >/dev/null 2>&1 || cxxfilt=c++filt

declared() {
  grep -hE "^KPX4160_(CXX_)?API " "$header" |
    sed -E 's/^KPX4160_(CXX_)?API [^(]*[ *]([A-Za-z_][A-Za-z_0-9]*) *\(.*/\2/' | sort -u
}
declared_cxx() {
  { grep -hE "^KPX4160_CXX_API " "$header" || true; } |
    sed -E 's/^KPX4160_CXX_API [^(]*[ *]([A-Za-z_][A-Za-z_0-9]*) *\(.*/\1/' | sort -u
}
# The names of the export table: the lines "[ n] name" after its header.
export_table() {
  "$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF == 0 {on=0} on {print $NF}'
}
exported() { export_table | "$cxxfilt" | sed -E 's/\(.*//' | sort -u; }
exported_decorated() { export_table | { grep '^_Z' || true; } | "$cxxfilt" | sed -E 's/\(.*//' | sort -u; }

status=0
want=$(declared)
got=$(exported)
if [ -z "$got" ]; then
  echo "FAIL: $(basename "$dll") has no export table"
  exit 1
fi
if [ "$want" != "$got" ]; then
  echo "FAIL: $(basename "$dll") exports differ from $(basename "$header") (< declared only, > exported only):"
  diff <(echo "$want") <(echo "$got") | grep -E '^[<>]' || true
  status=1
fi
cxx=$(declared_cxx)
if [ -n "$cxx" ]; then
  missing=$(comm -23 <(echo "$cxx") <(exported_decorated))
  if [ -n "$missing" ]; then
    echo "FAIL: $(basename "$dll") exports these without C++ decoration: $missing"
    status=1
  fi
fi
[ $status -eq 0 ] && echo "$(basename "$dll") exports match the header: $(echo "$want" | wc -l) API functions"
exit $status
