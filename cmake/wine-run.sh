#!/bin/sh
# wine-run.sh PREFIX [PROGRAM [ARGUMENTS...]]
# Runs a Windows program of the cross-build under Wine, headless and quiet, in the Wine prefix
# of its build folder. The prefix is made once, by whichever run comes first (without a
# program: only that); parallel runs wait for it instead of half-initialising it twice.
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

[ $# -eq 0 ] && exit 0
# A server that lingers between the test programs: one that is shutting down just as the
# next program starts makes that program fail at once. Refused quietly when one runs.
if command -v wineserver >/dev/null 2>&1; then
  wineserver -p30 >/dev/null 2>&1 || true
fi
exec "$wine" "$@"
