#!/usr/bin/env bash
# The main window beside a bare Qt window with a 100 ms timer, side by side in one X server:
# idle CPU over the same seconds, then start-up to the first window and resident memory once
# shown, run after run alternately. With --load, two busy loops keep both cores taken while the
# idle figure is made, as on a machine that builds beside it. QOR_UPDATER names another build
# of the window to measure.
# Run from build/bench:  ../../bench/idle_figures.sh [SECONDS] [STARTUP_RUNS] [--load]
set -euo pipefail
seconds=${1:-60}
runs=${2:-10}
load=${3:-}
here=$(pwd)
program=${QOR_UPDATER:-$here/gui/qor7316-updater}
bare=$here/bench/bare_window
figures=$here/bench/app_figures
tty_count=$(find /sys/class/tty -mindepth 1 -maxdepth 1 | wc -l)
echo "ttys in /sys/class/tty: $tty_count (none of them the device)"
run() { xvfb-run -a -s "-screen 0 1280x800x24" "$figures" "$@" 2>/dev/null; }
busy=()
stop_load() {
  if [ ${#busy[@]} -gt 0 ]; then kill "${busy[@]}" 2>/dev/null || true; fi
  busy=()
}
trap stop_load EXIT
if [ "$load" = --load ]; then
  for _ in 1 2; do
    sh -c 'while :; do :; done' &
    busy+=($!)
  done
  echo "two busy loops running during the idle figure"
fi
run idle "$seconds" "$program" --against "$bare" | grep -E 'idle over|ratio'
stop_load
run startup "$runs" "$program" --against "$bare" | grep -v '^run '
