#!/usr/bin/env bash
# Checks that each shared library exports exactly the functions its public
# headers declare: libkpx4160.so the API of kpx4160.h, libkpx4160_sim.so that
# API plus the simulator interface of kpx4160_sim.h. Functions declared with
# C++ linkage must be exported under decorated (mangled) names.
set -euo pipefail
hw_lib=$1 sim_lib=$2 api_header=$3 sim_header=$4

declared() {  # names declared on KPX4160_API / KPX4160_CXX_API lines
  grep -hE "^KPX4160_(CXX_)?API " "$@" | sed -E 's/^KPX4160_(CXX_)?API [^(]*[ *]([A-Za-z_][A-Za-z_0-9]*) *\(.*/\2/' | sort -u
}
declared_cxx() {
  { grep -hE "^KPX4160_CXX_API " "$@" || true; } | sed -E 's/^KPX4160_CXX_API [^(]*[ *]([A-Za-z_][A-Za-z_0-9]*) *\(.*/\1/' | sort -u
}
exported() {  # defined dynamic symbols, demangled to the bare function name
  nm -D --defined-only "$1" | awk '$2 ~ /^[TWDBRVi]$/ {print $3}' | c++filt | sed -E 's/\(.*//' | sort -u
}
exported_mangled() { nm -D --defined-only "$1" | awk '$2 ~ /^[TW]$/ {print $3}' | { grep "^_Z" || true; } | c++filt | sed -E 's/\(.*//' | sort -u; }

status=0
check() {
  local lib=$1; shift
  local want got
  want=$(declared "$@")
  got=$(exported "$lib")
  if [ "$want" != "$got" ]; then
    echo "FAIL: $(basename "$lib") exports differ from the headers (< declared only, > exported only):"
    diff <(echo "$want") <(echo "$got") | grep -E '^[<>]' || true
    status=1
  fi
  local cxx
  cxx=$(declared_cxx "$@")
  if [ -n "$cxx" ]; then
    local missing
    missing=$(comm -23 <(echo "$cxx") <(exported_mangled "$lib"))
    if [ -n "$missing" ]; then
      echo "FAIL: $(basename "$lib") exports these without C++ decoration: $missing"
      status=1
    fi
  fi
  if ! readelf -d "$lib" | grep -q SONAME; then
    echo "FAIL: $(basename "$lib") has no SONAME"
    status=1
  fi
}
check "$hw_lib" "$api_header"
check "$sim_lib" "$api_header" "$sim_header"
[ $status -eq 0 ] && echo "exports match the headers: $(declared "$api_header" | wc -l) API functions"
exit $status
