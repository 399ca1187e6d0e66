# Shared by the scripts that boot Debian's own kernel under QEMU (sourced).
#
# guest_prepare M...          all of the below in a fresh $work folder
#                             (removed on exit): the kernel, and in $root
#                             busybox, the modules M and the usual mount points.
# guest_kernel_prepare WORK   sets $version, $modules and $kernel: the kernel
#                             the linux-image-amd64 package currently depends
#                             on, unpacked into WORK when it can be.
# guest_pack_modules ROOT M.. copies modules M (with what they depend on, in
#                             load order, from modules.dep) into ROOT/modules,
#                             their names in load order in ROOT/modules/order.

guest_kernel_prepare() {
  local work=$1 offset
  version=$(dpkg-query -W -f='${Depends}' linux-image-amd64 | grep -o 'linux-image-[^ ,]*' | head -1)
  version=${version#linux-image-}
  modules=/lib/modules/$version
  [ -r "/boot/vmlinuz-$version" ] && [ -d "$modules" ] || { echo "kernel $version is not installed" >&2; return 1; }
  # The kernel without its self-decompressor: QEMU loads the inner ELF image
  # directly, which saves about ten seconds of decompression under emulation.
  kernel=/boot/vmlinuz-$version
  offset=$(grep -abo $'\xfd7zXZ' "$kernel" | head -1 | cut -d: -f1 || true)
  if [ -n "$offset" ]; then
    # (xz stops at the end of its stream, so tail may die of a closed pipe: judge by the result.)
    tail -c +$((offset + 1)) "$kernel" | xz -dc --single-stream >"$work/vmlinux" 2>/dev/null || true
    if [ "$(head -c 4 "$work/vmlinux" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then kernel=$work/vmlinux; fi
  fi
}

guest_pack_modules() {
  local root=$1 m path name
  shift
  declare -A loaded=()
  local order=()
  add_module() {
    local path=$1 dep
    [ -n "${loaded[$path]:-}" ] && return
    loaded[$path]=1
    for dep in $(grep "^$path:" "$modules/modules.dep" | cut -d: -f2); do add_module "$dep"; done
    order+=("$path")
  }
  for m in "$@"; do
    add_module "$(grep -o "^[^:]*/$m\.ko[^:]*" "$modules/modules.dep" | head -1)"
  done
  mkdir -p "$root/modules"
  for path in "${order[@]}"; do
    name=$(basename "$path"); name=${name%%.ko*}
    case $path in
      *.xz) xz -dc "$modules/$path" ;;
      *.zst) zstd -dcq "$modules/$path" ;;
      *) cat "$modules/$path" ;;
    esac >"$root/modules/$name.ko"
    echo "$name" >>"$root/modules/order"
  done
}

guest_prepare() {
  work=$(mktemp -d /tmp/kpx4160-guest.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  root=$work/root
  mkdir -p "$root"/{bin,dev,proc,sys}
  guest_kernel_prepare "$work"
  guest_pack_modules "$root" "$@"
  cp /bin/busybox "$root/bin/busybox"
}
