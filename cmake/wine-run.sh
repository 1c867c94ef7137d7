#!/bin/sh
# wine-run.sh PREFIX [PROGRAM [ARGUMENTS...]]
# Runs a Windows program of the cross-build under Wine, headless and quiet, in the Wine prefix
# of its build folder. The prefix is made once, by whichever run comes first (without a
# program: that and the start of the Wine session); parallel runs wait for it instead of
# half-initialising it twice.
set -eu
prefix=$1
shift

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Never open a window, even when the caller has a display.
unset DISPLAY WAYLAND_DISPLAY

if command -v wine >/dev/null 2>&1; then
  wine=wine
elif [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
else
  echo "wine-run.sh: Wine is not installed (Debian packages wine and wine64)" >&2
  exit 127
fi

ready="$prefix/.qor-ready"
if [ ! -e "$ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -e "$ready" ]; then
      "$wine" wineboot --init >/dev/null 2>&1
      touch "$ready"
    fi
  ) 9>"$prefix.lock"
fi

# A server that lingers between the test programs: one that is shutting down just as the
# next program starts makes that program fail at once. Refused quietly when one runs.
if command -v wineserver >/dev/null 2>&1; then
  wineserver -p30 >/dev/null 2>&1 || true
fi
if [ $# -eq 0 ]; then
  # Start the session (services, desktop) now, alone, rather than racing the first programs
  # of a parallel test run for it.
  "$wine" wineboot </dev/null >/dev/null 2>&1 || true
  exit 0
fi

# A program that ends without having written a byte never reached its main: Wine failed to
# start it. That happens rarely and is Wine's, not the program's, so it gets one more try;
# a second silent failure is reported as it is.
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2; do
  status=0
  "$wine" "$@" >"$out" 2>"$err" || status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ]; then
    break
  fi
  echo "wine-run.sh: $1 ended with $status before writing anything (try $attempt)" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"
