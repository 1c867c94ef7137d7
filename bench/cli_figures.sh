#!/bin/sh
# The command line seen from outside, whole processes (bench/run_times: wall, CPU of all
# threads, largest resident memory). Run from build/bench.
#
#   ../../bench/cli_figures.sh RUNS PROGRAM [ARGS...]
#     one command RUNS times: wall median and slowest, CPU median, largest resident memory.
#   ../../bench/cli_figures.sh download RUNS [SIZE...]
#     `qor7316-update download` through a loopback proxy beside the curl command line fetching
#     the same address through the same proxy, run after run alternately, for an image of
#     each SIZE (default 63488, a variant "a" image, and 1400000). A larger image than variant
#     "a" takes is fetched and checked, then refused: nothing is saved but the download's own
#     temporary copy. QOR_UPDATE names another build of the command line to measure.
#
# The programs get a fresh XDG_CONFIG_HOME, so the user's settings are neither read nor
# written. Compare with the window's figures from app_figures (see DemoFigures.cmake).
set -eu
here=$(pwd)
times=$here/bench/run_times
work=$(mktemp -d)
proxy_pid=
cleanup() {
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$work/config"

median() { # median COLUMN FILE: of that column of run_times lines, in ms
  awk -v c="$1" '{ print $c / 1000 }' "$2" | sort -n | awk '
    { v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# summary NAME FILE: the figures of the runs recorded in FILE.
summary() {
  awk -v name="$1" -v wall="$(median 1 "$2")" -v cpu="$(median 2 "$2")" '
    { if ($1 > slowest) slowest = $1; if ($5 > rss) rss = $5
      if (NR > 1 && $6 != status) mixed = 1; status = $6 }
    END {
      printf "%-16s runs %d  wall median %.1f ms (slowest %.1f)  CPU median %.1f ms  max resident %d KB  exit %s\n",
        name, NR, wall, slowest / 1000, cpu, rss, mixed ? "mixed" : status
    }' "$2"
}

if [ "$1" != download ]; then
  runs=$1
  shift
  i=0
  while [ "$i" -lt "$runs" ]; do
    "$times" "$@" >>"$work/runs"
    i=$((i + 1))
  done
  summary "$(basename "$1")" "$work/runs"
  exit 0
fi

runs=$2
shift 2
[ $# -gt 0 ] || set -- 63488 1400000
program=${QOR_UPDATE:-$here/cli/qor7316-update}
for size in "$@"; do
  rm -f "$work/ready"
  "$here/bench/download_proxy" "$size" "$work/ready" &
  proxy_pid=$!
  while [ ! -s "$work/ready" ]; do sleep 0.05; done
  port=$(sed -n 1p "$work/ready")
  address=$(sed -n 2p "$work/ready")
  : >"$work/ours"
  : >"$work/curl"
  i=0
  while [ "$i" -lt "$runs" ]; do
    rm -f "$work/ours.bin" "$work/curl.bin"
    "$times" "$program" download --variant a --out "$work/ours.bin" \
      --proxy "127.0.0.1:$port" >>"$work/ours"
    "$times" curl -s -o "$work/curl.bin" --proxy "http://127.0.0.1:$port" "$address" \
      >>"$work/curl"
    i=$((i + 1))
  done
  kill "$proxy_pid"
  wait "$proxy_pid" 2>/dev/null || true
  proxy_pid=
  echo "image of $size bytes via the loopback proxy:"
  summary "$(basename "$program")" "$work/ours"
  summary curl "$work/curl"
  awk -v ow="$(median 1 "$work/ours")" -v cw="$(median 1 "$work/curl")" \
    -v oc="$(median 2 "$work/ours")" -v cc="$(median 2 "$work/curl")" \
    'BEGIN { printf "ratio to curl: wall %.2fx, CPU %.2fx\n", ow / cw, oc / cc }'
done
