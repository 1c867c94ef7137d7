#!/usr/bin/env bash
# The road of an update through the Windows demo under Wine, in a real X server with real
# input events, started as a user starts it: no options, so the virtual device answers in
# real time with wire timing on and the device's default pause. Wait for the device, open an
# image through the system's file dialog and update it, download the current image from the
# demo's firmware server and update again, power the device off, see it gone, close the
# window and confirm. (The product's way to the device through FTD2XX.dll is taken by the
# Windows device and command-line tests.) The demo's trace file tells what its windows show
# and where their buttons are. The demo runs in a Wine desktop of its own (a window manager's
# part under Wine), which also takes the clicks on the system's dialogs.
#   windows_demo_road.sh DEMO_EXE IMAGE_FILE WINE_PREFIX
# Exit 77 (skipped) without Xvfb, xdotool or Wine.
set -u
for tool in Xvfb xdotool wine; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
demo=$1 image=$(realpath "$2")
export WINEPREFIX=$(realpath -m "$3") WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d "${TMPDIR:-/tmp}/qor-wine-e2e.XXXXXX")
trace=$work/trace
. "$(dirname "$(realpath "$0")")/road_lib.sh"
trap finish EXIT

start_xvfb
if [ ! -e "$WINEPREFIX/.qor-ready" ]; then
  wineboot --init >/dev/null 2>&1 || fail "no Wine prefix in $WINEPREFIX"
  touch "$WINEPREFIX/.qor-ready"
fi
export QOR_DEMO_TRACE="Z:$trace"
wine explorer "/desktop=qor-e2e-$$,1280x800" "$demo" >"$work/demo.log" 2>&1 &
demo_pid=$!

# 1-3: found, "Connect", then connected with the version and variant.
wait_after 0 60 ' main status=Connect '
wait_after 0 30 ' main status=QOR 7316 connected \| tip=port VQ0, serial VQ731600 \| boot=1\.3a \| fw=1\.0a \| sum=valid '
echo "ok: connected with wire timing on, bootloader 1.3a, firmware 1.0a"

# 4-5: Open, type the image's path into the system's file dialog, and see it loaded.
loaded=" main .*file=Firmware loaded! \| name=$(basename "$image") \| version=1\.4a "
# The system's dialog takes the keyboard once it is drawn, which the trace cannot see: on a
# busy machine the typing may come too early. Then the dialog (and its complaint about a
# half-typed name, if any) is closed and opened again, with more time.
for try in 1 2; do
  m=$(mark)
  click BOpenLocal
  wait_after "$m" 20 ' modal title='
  sleep $((try * 2))
  xdotool type --delay 5 "Z:${image//\//\\}"
  xdotool key Return
  deadline=$(( $(now_ms) + 15000 ))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    tail -n +"$((m + 1))" "$trace" | grep -qE -- "$loaded" && break 2
    sleep 0.1
  done
  [ "$try" -eq 2 ] && fail "not seen within 15 s: $loaded"
  echo "the file dialog missed the typing; opening it again"
  m=$(mark)
  xdotool key Escape
  sleep 1
  tail -n 3 "$trace" | grep -q ' modal none' || xdotool key Escape
  wait_after "$m" 10 ' modal none'
done
echo "ok: $(basename "$image") loaded"

# 6: Update: the bar moves, then success and the device reports the new version.
m=$(mark)
click BFlash
wait_after "$m" 60 ' main .*fw=1\.4a \| sum=valid .*flash=Update finished successfully! \| bar=991 '
echo "ok: update finished, device firmware 1.4a"

# The same with a download from the demo's server, through WinINet; power off and close.
download_power_off_close 30
rm -rf "$work"
