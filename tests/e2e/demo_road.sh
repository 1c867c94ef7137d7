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
wait_after 0 30 ' main status=QOR 7316 connected \| tip= \| boot=1\.3a \| fw=1\.0a \| sum=valid '
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

# The same with a download from the demo's firmware server: the dialog shows the transfer's
# end, Close hands the file to the window, and Update writes it.
m=$(mark)
click BDownload
wait_after "$m" 20 ' modal title=Firmware herunterladen \| LStatus=Firmware was downloaded successfully\. \| PBFWProgress=1000'
click modal:Close
wait_after "$m" 20 ' main .*file=Firmware loaded! \| name=qor-7316\.bin \| version=1\.5a '
echo "ok: qor-7316.bin downloaded and loaded"
m=$(mark)
click BFlash
wait_after "$m" 60 ' main .*fw=1\.5a \| sum=valid .*flash=Update finished successfully! \| bar=991 '
echo "ok: update finished, device firmware 1.5a"

# 7: Power off: the device leaves the bus and the window says so.
m=$(mark)
click BSwitchOff
wait_after "$m" 20 ' main status=QOR 7316 not connected '
wait_after "$m" 20 ' main .*file=No firmware loaded .*buttons=0000 '
echo "ok: powered off, not connected"

# Close: File > Exit, confirm with Yes, and the demo ends by itself.
click menu:File
click menu:Exit
wait_after "$m" 10 ' modal title=.* \| text=Are you sure'
click modal:Yes
wait_gone 20
wait "$demo_pid"
status=$?
demo_pid=""
[ "$status" -eq 0 ] || { cat "$work/demo.log"; fail "the demo ended with status $status"; }
echo "ok: closed after confirmation"
rm -rf "$work"
