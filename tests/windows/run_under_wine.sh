#!/usr/bin/env bash
# Runs one Windows build's checks under Wine: the ctest entries that need
# the DLLs (export tables, the hardware DLL without a driver, the clients
# linked by lld-link) and the whole suite as one program (seconds, rather
# than one Wine start per test).
#
# One Wine server is started up front, then a throwaway program, so that
# Wine's helper processes start outside ctest: otherwise they hold each
# test's output open and every test waits for them.
#
# usage: [WINEPREFIX=DIR] run_under_wine.sh 64|32 BUILD_DIR
#   WINEPREFIX defaults to ./build-wine (created when missing).
set -euo pipefail

width=${1:?usage: run_under_wine.sh 64|32 BUILD_DIR}
build=${2:?usage: run_under_wine.sh 64|32 BUILD_DIR}
case $width in
  64) wine=/usr/lib/wine/wine64 ;;
  32) wine=/usr/lib/wine/wine ;;  # Wine's 32-bit loader: needs a kernel that runs i386 programs
  *) echo "run_under_wine.sh: width must be 64 or 32, not '$width'" >&2; exit 2 ;;
esac
export WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-$PWD/build-wine}

mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver64 -p >/dev/null 2>&1
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
$wine cmd /c exit >/dev/null 2>&1
ctest --test-dir "$build" --output-on-failure -j1 --timeout 120 -R '^(exports|windows)\.'
$wine "$build/tests/kpx4160_tests.exe"
