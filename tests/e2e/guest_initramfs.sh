#!/usr/bin/env bash
# A small initramfs for guest_ftdi.sh: busybox, the USB host controller, USB-serial and FTDI
# modules of one installed kernel (with the modules they need), a program with the shared
# libraries ldd names, files for /data and guest_ftdi_init.sh as /init.
#   guest_initramfs.sh OUT.cpio KERNEL_VERSION PROGRAM [FILE...]
set -euo pipefail
out=$1 kernel=$2 program=$3
shift 3
here=$(dirname "$(realpath "$0")")
modules=/lib/modules/$kernel
# In the order they load; modules.dep names what each one needs.
wanted="uhci-hcd usbserial ftdi_sio"

root=$(mktemp -d "${TMPDIR:-/tmp}/qor-initramfs.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,tmp,data,lib/modules,usr/bin}

cp /bin/busybox "$root/bin/busybox"
ln -s busybox "$root/bin/sh" # the rest are linked by /init

# Each wanted module after the ones it depends on (modules.dep lists those deepest last).
order=()
add_module() {
  local path=$1 dep
  for dep in $(grep "^$path:" "$modules/modules.dep" | cut -d: -f2 | tr ' ' '\n' | tac); do
    add_module "$dep"
  done
  [[ " ${order[*]} " == *" $path "* ]] || order+=("$path")
}
for name in $wanted; do
  path=$(grep -E "/$name\.ko(\.xz|\.zst|\.gz)?:" "$modules/modules.dep" | cut -d: -f1)
  [ -n "$path" ] || { echo "no module $name in $modules" >&2; exit 1; }
  add_module "$path"
done
for path in "${order[@]}"; do
  case $path in
    *.xz) xz -dc "$modules/$path" ;;
    *.zst) zstd -qdc "$modules/$path" ;;
    *.gz) gzip -dc "$modules/$path" ;;
    *) cat "$modules/$path" ;;
  esac >"$root/lib/modules/$(basename "${path%.ko*}").ko"
  basename "${path%.ko*}.ko" >>"$root/lib/modules/order"
done

cp "$program" "$root/usr/bin/"
for library in $(ldd "$program" | grep -oE '/[^ ]+'); do
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done

for file in "$@"; do
  cp "$file" "$root/data/"
done
cp "$here/guest_ftdi_init.sh" "$root/init"
chmod +x "$root/init"

(cd "$root" && find . | cpio --quiet -o -H newc) >"$out"
