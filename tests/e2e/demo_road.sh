#!/usr/bin/env bash
# The road of an update through the demo, in a real X server with real input events: wait
# for the device, open an image through the file dialog and update it, download the current
# image from the demo's server and update again, power the device off, see it gone, close
# the window and confirm. The demo's trace file tells what
# its windows show and where their buttons are; every wait polls it against a deadline.
#   demo_road.sh DEMO IMAGE_FILE
# Exit 77 (skipped) without Xvfb or xdotool.
set -u
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
demo=$1 image=$(realpath "$2")

work=$(mktemp -d "${TMPDIR:-/tmp}/qor-e2e.XXXXXX")
trace=$work/trace
. "$(dirname "$(realpath "$0")")/road_lib.sh"
trap finish EXIT

start_xvfb
export QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" QOR_DEMO_TRACE="$trace"
export XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# In a sanitizer build: leaks in the system's libraries are not ours to report.
export LSAN_OPTIONS="suppressions=$(dirname "$(realpath "$0")")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

"$demo" --turnaround-ms 5 >"$work/demo.log" 2>&1 &
demo_pid=$!

# 1-3: found, "Connect" with its dots, then connected with the bootloader version and variant.
wait_after 0 30 ' main status=Connect '
wait_after 0 30 ' main status=QOR 7316 connected \| tip=port VQ0, serial VQ731600 \| boot=1\.3a \| fw=1\.0a \| sum=valid '
echo "ok: connected, bootloader 1.3a, firmware 1.0a"

# 4-5: Open, type the image's path into the file dialog, and see it loaded.
m=$(mark)
click BOpenLocal
click modal-edit:fileNameEdit
xdotool type --delay 5 "$image"
xdotool key Return
wait_after "$m" 20 " main .*file=Firmware loaded! \| name=$(basename "$image") \| version=1\.4a "
echo "ok: $(basename "$image") loaded"

# 6: Update: the bar moves, then success and the device reports the new version.
m=$(mark)
click BFlash
wait_after "$m" 20 ' main .*flash=Updating.* \| bar=([1-9][0-9]?|[1-8][0-9][0-9]) '
wait_after "$m" 60 ' main .*fw=1\.4a \| sum=valid .*flash=Update finished successfully! \| bar=991 '
echo "ok: update finished, device firmware 1.4a"

# The same with a download from the demo's firmware server, then power off and close.
download_power_off_close 20
rm -rf "$work"
