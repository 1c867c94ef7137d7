#!/usr/bin/env bash
# Idle CPU, start-up time and resident memory of the main window beside a bare Qt window with a
# 100 ms timer, measured at the same time on the same machine, each in an X server of its own.
# Run from build/bench:  ../../bench/idle_figures.sh [SECONDS] [STARTUP_RUNS]
set -euo pipefail
seconds=${1:-60}
runs=${2:-10}
here=$(pwd)
program=$here/gui/qor7316-updater
bare=$here/bench/bare_window
figures=$here/bench/app_figures
tty_count=$(find /sys/class/tty -mindepth 1 -maxdepth 1 | wc -l)
echo "ttys in /sys/class/tty: $tty_count (none of them the device)"
run() { xvfb-run -a -s "-screen 0 1280x800x24" "$figures" "$@"; }
run idle "$seconds" "$program" > /tmp/idle-program.txt 2>&1 &
first=$!
run idle "$seconds" "$bare" > /tmp/idle-bare.txt 2>&1 &
second=$!
wait $first $second
echo "program:     $(tail -n 1 /tmp/idle-program.txt)"
echo "bare window: $(tail -n 1 /tmp/idle-bare.txt)"
echo "program start-up: $(run startup "$runs" "$program" 2>&1 | tail -n 1)"
echo "bare start-up:    $(run startup "$runs" "$bare" 2>&1 | tail -n 1)"
