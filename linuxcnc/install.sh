#!/usr/bin/env bash
# Builds the HAL components kpx4160 (the driver) and kpx4160sim (the machine
# around simulated cards) with halcompile and installs them where rtapi_app
# loads modules from (/usr/lib/linuxcnc/modules: run as root).
#   linuxcnc/install.sh [DIR_WITH_kpx4160.h]   (default: this tree's include/)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
inc=$(realpath "${1:-$here/../include}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/kpx4160.c" "$here/kpx4160sim.c" "$work"
cd "$work"
# halcompile uses LinuxCNC's flags; the project's warnings are checked first.
for f in kpx4160.c kpx4160sim.c; do
  "${CC:-cc}" -fsyntax-only -std=gnu11 -Wall -Wextra -Werror -DRTAPI -I/usr/include/linuxcnc -I"$inc" "$f"
done
C_INCLUDE_PATH=$inc halcompile --install kpx4160.c kpx4160sim.c
