#!/usr/bin/env bash
# Checks that a Windows DLL exports exactly the functions of its public
# headers: every KPX4160_API function under its plain name, every
# KPX4160_CXX_API function under GCC's decorated name and, with --msvc, under
# each Microsoft compiler name listed in that file, and nothing else.
# Usage: check_dll_exports.sh [--msvc names-file] kpx4160.dll "headers..." [objdump]
set -euo pipefail
msvc_names=/dev/null
if [ "${1:-}" = --msvc ]; then msvc_names=$2; shift 2; fi
dll=$1 header=$2 objdump=${3:-x86_64-w64-mingw32-objdump}
cxxfilt=${objdump%objdump}c++filt
command -v "$cxxfilt" >/dev/null 2>&1 || cxxfilt=c++filt
# -n: export tables carry no leading underscore, on 32-bit Windows neither.
cxxfilt="$cxxfilt -n"
# shellcheck disable=SC2086  # $header may name several headers

declared() {
  { grep -hE "^KPX4160_(CXX_)?API " $header |
    sed -E 's/^KPX4160_(CXX_)?API [^(]*[ *]([A-Za-z_][A-Za-z_0-9]*) *\(.*/\2/'; cat "$msvc_names"; } | sort -u
}
declared_cxx() {
  { grep -hE "^KPX4160_CXX_API " $header || true; } |
    sed -E 's/^KPX4160_CXX_API [^(]*[ *]([A-Za-z_][A-Za-z_0-9]*) *\(.*/\1/' | sort -u
}
# The names of the export table: the lines "[ n] name" after its header.
export_table() {
  "$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF == 0 {on=0} on {print $NF}'
}
# Microsoft names stay as they are; GCC's are reduced to the function name.
exported() { export_table | $cxxfilt | sed -E '/^[?]/!s/\(.*//' | sort -u; }
exported_decorated() { export_table | { grep '^_Z' || true; } | $cxxfilt | sed -E 's/\(.*//' | sort -u; }

status=0
want=$(declared)
got=$(exported)
if [ -z "$got" ]; then
  echo "FAIL: $(basename "$dll") has no export table"
  exit 1
fi
if [ "$want" != "$got" ]; then
  echo "FAIL: $(basename "$dll") exports differ from the headers (< declared only, > exported only):"
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
[ $status -eq 0 ] && echo "$(basename "$dll") exports match the headers: $(echo "$want" | wc -l) names"
exit $status
