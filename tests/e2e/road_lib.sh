# Shared by the end-to-end roads: a private Xvfb, waits on the demo's trace file and real
# clicks on the controls the trace places. The caller sets `work` (a scratch folder) and
# `trace`, and `demo_pid` once the program runs; `finish` ends what was started.
xvfb_pid="" demo_pid=""

finish() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}

fail() {
  echo "FAIL: $*"
  echo "--- last lines of the trace ($trace):"
  tail -n 15 "$trace" 2>/dev/null | grep -v ' at ' | cut -c1-400
  if command -v import >/dev/null && [ -n "$xvfb_pid" ]; then
    import -window root "$work/failure.png" 2>/dev/null && echo "screen: $work/failure.png"
  fi
  trap - EXIT
  finish
  exit 1
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Lines of the trace so far: the next wait looks only at what comes after them.
mark() { wc -l <"$trace" 2>/dev/null || echo 0; }

# wait_after MARK SECONDS PATTERN: a trace line after MARK matches the extended regex.
wait_after() {
  local from=$1 deadline=$(( $(now_ms) + $2 * 1000 )) pattern=$3
  while [ "$(now_ms)" -lt "$deadline" ]; do
    tail -n +"$((from + 1))" "$trace" 2>/dev/null | grep -qE -- "$pattern" && return 0
    kill -0 "$demo_pid" 2>/dev/null || fail "the demo ended while waiting for: $pattern"
    sleep 0.05
  done
  fail "not seen within $2 s: $pattern"
}

# click NAME [SECONDS]: a real click on the centre of a control, taken from its latest
# geometry line once that says it is enabled.
click() {
  local name=$1 deadline=$(( $(now_ms) + ${2:-10} * 1000 )) line
  while [ "$(now_ms)" -lt "$deadline" ]; do
    line=$(grep -F " at geometry $name " "$trace" 2>/dev/null | tail -n 1)
    line=${line%$'\r'} # a Windows program's text file ends its lines with CR LF
    if [[ $line == *"enabled=1" ]]; then
      set -- $line
      xdotool mousemove --sync "$5" "$6" click 1
      return 0
    fi
    sleep 0.05
  done
  fail "control $name not there and enabled within ${2:-10} s"
}

# A display of our own: Xvfb picks a free number and writes it to fd 3.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  local deadline=$(( $(now_ms) + 10000 ))
  until [ -s "$work/display" ]; do
    [ "$(now_ms)" -lt "$deadline" ] || fail "Xvfb did not start"
    sleep 0.05
  done
  export DISPLAY=":$(head -n 1 "$work/display")"
}

# wait_gone SECONDS: the demo ends by itself within the time.
wait_gone() {
  local deadline=$(( $(now_ms) + $1 * 1000 ))
  while kill -0 "$demo_pid" 2>/dev/null; do
    [ "$(now_ms)" -lt "$deadline" ] || fail "the demo did not end after the confirmed close"
    sleep 0.05
  done
}

# The end both roads share, once an image of version 1.4a is written: download the current
# image from the demo's server, see the dialog's end, hand the file to the window and write
# it; power the device off and see it gone; close through File > Exit with a confirmation,
# the demo ending by itself within CLOSE_SECONDS.
#   download_power_off_close CLOSE_SECONDS
download_power_off_close() {
  local m
  m=$(mark)
  click BDownload
  wait_after "$m" 30 ' modal title=Firmware herunterladen \| LStatus=Firmware was downloaded successfully\. \| PBFWProgress=1000'
  click modal:Close
  wait_after "$m" 20 ' main .*file=Firmware loaded! \| name=qor-7316\.bin \| version=1\.5a '
  echo "ok: qor-7316.bin downloaded and loaded"
  m=$(mark)
  click BFlash
  wait_after "$m" 60 ' main .*fw=1\.5a \| sum=valid .*flash=Update finished successfully! \| bar=991 '
  echo "ok: update finished, device firmware 1.5a"

  # 7: Power off: the device leaves the bus (or the library's list) and the window says so.
  m=$(mark)
  click BSwitchOff
  wait_after "$m" 20 ' main status=QOR 7316 not connected '
  wait_after "$m" 20 ' main .*file=No firmware loaded .*buttons=0000 '
  echo "ok: powered off, not connected"

  click menu:File
  click menu:Exit
  wait_after "$m" 10 ' modal title=.* \| text=Are you sure'
  click modal:Yes
  wait_gone "$1"
  wait "$demo_pid"
  local status=$?
  demo_pid=""
  [ "$status" -eq 0 ] || { cat "$work/demo.log"; fail "the demo ended with status $status"; }
  echo "ok: closed after confirmation"
}
