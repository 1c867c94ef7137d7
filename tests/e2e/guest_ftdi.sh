#!/usr/bin/env bash
# The command line in a small Linux guest under QEMU, with the kernel's own usbcore, uhci-hcd,
# usbserial and ftdi_sio between it and the virtual device: QEMU's emulated FTDI adapter
# carries the guest's tty to a Unix socket, where qor7316-socket-device plays the device.
# Each run boots the installed Debian kernel once. Each adapter carries a USB serial number of
# its own (QG731600, QG731601). In the guest `list`, `info --json`, `flash` of a fitting image
# (with two adapters one `flash --all --expect 2` for both, then `flash --all --serial` of the
# second's serial number with a newer image) and `power-off` must exit 0; `list` and `info`
# must show each adapter's serial number and the service record of the last update the
# second's; the adapter's latency_timer must read 1 after the update (and something else
# before), and the power-off must take the adapter off the bus; QEMU must have seen the
# adapter set to 500000 baud, and each device's flash must equal its image (with two adapters
# the first's the image, the second's the newer one).
#   guest_ftdi.sh BUILD_DIR RUN...
# A run names its adapters (one or two: the root hub's ports), separated by '+', each as
# comma-separated settings of its device: variant=a|b, ack=N (the acknowledgement code),
# version=N (the code the version request is answered with), noapp (its flash erased, so the
# firmware-version request is acknowledged), swap (the queries answered with each other's
# replies), dataacks (data replies where acknowledgements are due), or "default" (variant a,
# the device's defaults); the two devices of a run are of one variant. Example:
# guest_ftdi.sh build/release default ack=12 variant=b,ack=5+variant=b
# QOR_GUEST_KEEP=1 keeps the work folder (consoles, device traces, flashes) and names it.
set -u
build=$(realpath "$1")
shift
here=$(dirname "$(realpath "$0")")
program=$build/cli/qor7316-update
device=$build/sim/socket-device/qor7316-socket-device
make_image=$build/tools/qor7316-make-image
# Boot, the commands and power-off take 11 to 18 s on two cores; a guest that stops is
# killed after this long, so the run fails instead of hanging.
guard_s=${QOR_GUEST_GUARD_S:-90}
device_baud=500000

fail_setup() { echo "FAIL: $*"; exit 1; }
[ $# -gt 0 ] || fail_setup "no run given"
for file in "$program" "$device" "$make_image"; do
  [ -x "$file" ] || fail_setup "$file is not built"
done
command -v qemu-system-x86_64 >/dev/null || fail_setup "qemu-system-x86_64 is not installed"
if [ ! -x /bin/busybox ] || ldd /bin/busybox >/dev/null 2>&1; then
  fail_setup "no static /bin/busybox (Debian package busybox-static)"
fi
kernel=""
# The newest kernel whose modules are installed.
for candidate in $(printf '%s\n' /boot/vmlinuz-* | sort -V); do
  [ -f "/lib/modules/${candidate#/boot/vmlinuz-}/modules.dep" ] && kernel=$candidate
done
[ -n "$kernel" ] || fail_setup "no kernel with its modules in /boot (Debian package linux-image-amd64)"
[ -r "$kernel" ] || fail_setup "$kernel is not readable by $(id -un)"

work=$(mktemp -d "${TMPDIR:-/tmp}/qor-guest.XXXXXX")
pids=() # the devices of the run under way
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait "${pids[@]}" 2>/dev/null
  if [ -n "${QOR_GUEST_KEEP:-}" ]; then
    echo "guest: kept $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

for variant in a b; do
  "$make_image" --variant "$variant" --version "1.6$variant" -o "$work/image-$variant.bin" ||
    fail_setup "cannot make the variant-$variant image"
  "$make_image" --variant "$variant" --version "1.7$variant" -o "$work/next-$variant.bin" ||
    fail_setup "cannot make the newer variant-$variant image"
done
bash "$here/guest_initramfs.sh" "$work/initramfs.cpio" "${kernel#/boot/vmlinuz-}" "$program" \
  "$work"/image-*.bin "$work"/next-*.bin || fail_setup "cannot build the initramfs"
echo "guest: $kernel, initramfs of $(($(stat -c %s "$work/initramfs.cpio") / 1024)) KB"

# What the guest said after "qor-guest: KEY ".
guest_says() { tr -d '\r' <"$dir/console" | sed -n "s/^qor-guest: $1 //p" | head -1; }

# run_guest NAME ADAPTERS: one boot; prints an ok or FAIL line for it and returns 1 on a failure.
run_guest() {
  local name=$1 layout=$2 start=$SECONDS
  dir=$work/$name
  mkdir -p "$dir"
  local -a adapters qemu_args=() device_pids=() failures=() variants=() serials=()
  local i setting
  IFS=+ read -ra adapters <<<"$layout"
  [ ${#adapters[@]} -le 2 ] || fail_setup "$name: the root hub has two ports, not ${#adapters[@]}"
  for i in "${!adapters[@]}"; do
    local variant=a settings options=()
    IFS=, read -ra settings <<<"${adapters[$i]}"
    for setting in "${settings[@]}"; do
      case $setting in
        default | "") ;;
        variant=*) variant=${setting#variant=} ;;
        ack=*) options+=(--ack-code "${setting#ack=}") ;;
        version=*) options+=(--version-reply-code "${setting#version=}") ;;
        noapp) options+=(--no-application) ;;
        swap) options+=(--swap-query-replies) ;;
        dataacks) options+=(--data-acknowledgements) ;;
        *) fail_setup "$name: unknown setting $setting" ;;
      esac
    done
    [ $i -eq 0 ] || [ "$variant" = "${variants[0]}" ] ||
      fail_setup "$name: one flash --all writes both devices, so they are of one variant"
    variants+=("$variant")
    serials+=("QG73160$i")
    "$device" --socket "$dir/adapter$i.sock" --variant "$variant" "${options[@]}" \
      --flash-out "$dir/flash$i.bin" --trace "$dir/trace$i" >"$dir/device$i.log" 2>&1 &
    device_pids+=($!)
    pids+=($!)
    qemu_args+=(-chardev "socket,id=adapter$i,path=$dir/adapter$i.sock"
                -device "usb-serial,chardev=adapter$i,port=$((i + 1)),serial=${serials[$i]}")
  done
  for i in "${!adapters[@]}"; do
    for _ in $(seq 50); do
      [ -S "$dir/adapter$i.sock" ] && break
      sleep 0.1
    done
    [ -S "$dir/adapter$i.sock" ] || failures+=("device $i does not listen: $(cat "$dir/device$i.log")")
  done

  if [ ${#failures[@]} -eq 0 ]; then
    local cmdline
    cmdline="console=ttyS0 quiet panic=-1 qor.variants=$(IFS=,; echo "${variants[*]}")"
    cmdline+=" qor.serials=$(IFS=,; echo "${serials[*]}")"
    # TCG: a KVM guest hangs at boot on the machines this runs on.
    timeout -k 5 "$guard_s" qemu-system-x86_64 -accel tcg -cpu max -m 256 -smp 1 \
      -nodefaults -no-user-config -display none -no-reboot -usb "${qemu_args[@]}" \
      -serial "file:$dir/console" -kernel "$kernel" -initrd "$work/initramfs.cpio" \
      -append "$cmdline" -trace usb_serial_set_baud -D "$dir/qemu-trace" >"$dir/qemu.log" 2>&1
    case $? in
      0) ;;
      124 | 137) failures+=("the guest did not power off within $guard_s s: QEMU killed") ;;
      *) failures+=("QEMU failed: $(tail -3 "$dir/qemu.log")") ;;
    esac
  fi
  # QEMU's end closes the lines still open; the devices write their flash and end.
  for i in "${!device_pids[@]}"; do
    timeout 10 tail --pid="${device_pids[$i]}" -f /dev/null ||
      { kill "${device_pids[$i]}" 2>/dev/null; failures+=("device $i did not end"); }
  done
  wait "${device_pids[@]}" 2>/dev/null
  pids=()
  touch "$dir/console" "$dir/qemu-trace"

  if ! grep -q '^qor-guest: end' "$dir/console"; then
    local last
    last=$(tr -d '\r' <"$dir/console" | grep '^qor-guest: ' | tail -1)
    failures+=("the guest never reached its end; its last word: ${last:-none}")
  fi
  while read -r problem; do
    failures+=("in the guest: $problem")
  done < <(tr -d '\r' <"$dir/console" | sed -n 's/^qor-guest: problem: //p')
  [ ${#failures[@]} -eq 0 ] && check_guest
  report_run
}

# The checks of a guest that reached its end.
check_guest() {
  local status i
  status=$(guest_says "exit list")
  [ "$status" = 0 ] || failures+=("list exited ${status:-never}")
  local flashes=flash
  if [ ${#adapters[@]} -gt 1 ]; then
    flashes=""
    status=$(guest_says "exit flash-all")
    [ "$status" = 0 ] || failures+=("flash --all exited ${status:-never}: $(guest_says summary)")
    [ "$(guest_says summary)" = "2 of 2 devices updated; exit 0" ] ||
      failures+=("the summary of flash --all ends: $(guest_says summary)")
    status=$(guest_says "exit flash-serial")
    [ "$status" = 0 ] || failures+=("flash --all --serial exited ${status:-never}")
    [ "$(guest_says serial-summary)" = "1 of 1 devices updated; exit 0" ] ||
      failures+=("the summary of flash --all --serial ends: $(guest_says serial-summary)")
    [[ $(guest_says last-record) == *", serial ${serials[1]}" ]] ||
      failures+=("the last service record names: $(guest_says last-record)")
    [[ $(guest_says last-json) == *"\"serial\":\"${serials[1]}\""* ]] ||
      failures+=("the last JSON record names: $(guest_says last-json)")
  fi
  for i in "${!adapters[@]}"; do
    local command before after listed
    listed=$(guest_says "listed$i")
    [ "$listed" = "${serials[$i]}" ] || failures+=("adapter $i: list shows serial ${listed:-none}")
    [ "$(guest_says "info-serial$i")" = "${serials[$i]}" ] ||
      failures+=("adapter $i: info --json gives serial $(guest_says "info-serial$i")")
    for command in info $flashes power-off; do
      status=$(guest_says "exit $command$i")
      [ "$status" = 0 ] || failures+=("adapter $i: $command exited ${status:-never}")
    done
    before=$(guest_says "latency_before$i") after=$(guest_says "latency_timer$i")
    [ "$after" = 1 ] || failures+=("adapter $i: latency_timer reads ${after:-nothing}, not 1")
    [ "$before" != 1 ] || failures+=("adapter $i: latency_timer read 1 before the program ran")
    local image=image
    # Only the second of two was written again, by its serial number.
    [ "$i" -eq 1 ] && image=next
    cmp -s "$dir/flash$i.bin" "$work/$image-${variants[$i]}.bin" ||
      failures+=("adapter $i: the device's flash differs from $image-${variants[$i]}.bin ($(cat "$dir/device$i.log"))")
  done
  local set_to_baud
  set_to_baud=$(grep "baud rate $device_baud\$" "$dir/qemu-trace" | grep -o 'dev [0-9:]*' | sort -u | wc -l)
  [ "$set_to_baud" -eq ${#adapters[@]} ] ||
    failures+=("$set_to_baud of ${#adapters[@]} adapters were set to $device_baud baud")
}

report_run() {
  local i
  if [ ${#failures[@]} -eq 0 ]; then
    local flashed=flash
    [ ${#adapters[@]} -gt 1 ] && flashed="flash --all, flash --all --serial ${serials[1]} (only it written, its record names it)"
    echo "ok: $name ($layout): list and info show serial ${serials[*]}; list, info, $flashed," \
         "power-off exit 0; flash equals the image; latency_timer set to 1; $device_baud baud" \
         "($((SECONDS - start)) s)"
    return 0
  fi
  local failure
  for failure in "${failures[@]}"; do echo "FAIL: $name ($layout): $failure"; done
  echo "--- the guest's console, last 40 lines:"
  tr -d '\r' <"$dir/console" | grep -v '^Updating' | tail -40
  for i in "${!adapters[@]}"; do
    echo "--- device $i: $(cat "$dir/device$i.log" 2>/dev/null)"
  done
  return 1
}

failed=0
n=0
for layout in "$@"; do
  n=$((n + 1))
  run_guest "run$n" "$layout" || failed=1
done
[ "$failed" -eq 0 ] && echo "ok: the command line over the kernel's FTDI driver, $n runs" ||
  echo "FAIL: the command line over the kernel's FTDI driver"
exit "$failed"
