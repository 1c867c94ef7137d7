#!/bin/sh
# cli_figures.sh RUNS PROGRAM [ARGS...]
# Start-up of the command line seen from outside: wall time of whole runs (median and
# slowest of RUNS, GNU time included) and the largest resident memory any run reached.
# The program gets a fresh XDG_CONFIG_HOME, so the user's settings are neither read nor
# written. Compare with the window's figures from app_figures (see DemoFigures.cmake):
#   bench/cli_figures.sh 20 cli/qor7316-update list
#   xvfb-run -a -s "-screen 0 1280x800x24" bench/app_figures startup 20 gui/qor7316-updater
set -eu
runs=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
i=0
while [ "$i" -lt "$runs" ]; do
  start=$(date +%s%N)
  /usr/bin/time --quiet -f "%M" -o "$work/rss" "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(cat "$work/rss")" >>"$work/runs"
  i=$((i + 1))
done
sort -n "$work/runs" | awk '
  { wall[NR] = $1 / 1000; if ($2 > rss) rss = $2 }
  END {
    median = (NR % 2) ? wall[(NR + 1) / 2] : (wall[NR / 2] + wall[NR / 2 + 1]) / 2
    printf "runs %d  wall median %.1f ms  slowest %.1f ms  max resident %d KB\n", NR, median, wall[NR], rss
  }'
