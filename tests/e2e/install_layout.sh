#!/usr/bin/env bash
# `cmake --install` into a staging root: the programs, the desktop entry naming it and its
# icon, and the udev rule below the prefix, matching the bridge's product string. And an
# install with another prefix writes nothing outside it.
#   install_layout.sh BUILD_DIR PREFIX RULES_DIR
set -u
build=$1 prefix=$2 rules=$3
stage=$(mktemp -d "${TMPDIR:-/tmp}/qor-install.XXXXXX")
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*"; find "$stage" -type f | sed "s|^$stage||"; exit 1; }

DESTDIR=$stage cmake --install "$build" >/dev/null || fail "cmake --install failed"
[[ $rules == /* ]] || rules=$prefix/$rules

root=$stage$prefix
[ -x "$root/bin/qor7316-updater" ] || fail "no program in bin/"
[ -x "$root/bin/qor7316-update" ] || fail "no command line in bin/"
desktop=$root/share/applications/qor7316-updater.desktop
[ -f "$desktop" ] || fail "no desktop entry"
grep -qx 'Exec=qor7316-updater' "$desktop" || fail "the desktop entry does not start the program"
grep -qx 'Icon=qor7316-updater' "$desktop" || fail "the desktop entry names another icon"
icon=$root/share/icons/hicolor/scalable/apps/qor7316-updater.svg
[ -f "$icon" ] && grep -q '<svg' "$icon" || fail "no SVG icon under the name the entry gives"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate refused the entry"
fi

rule=$stage$rules/70-qor7316.rules
[ -f "$rule" ] || fail "no udev rule in $rules"
line=$(grep -v '^#' "$rule" | grep .)
for key in 'SUBSYSTEM=="tty"' 'ATTRS{idVendor}=="0403"' 'ATTRS{product}=="QOR 7316"' \
           'TAG+="uaccess"' 'GROUP="dialout"' 'ATTR{latency_timer}="1"' \
           'ENV{ID_MM_DEVICE_IGNORE}="1"'; do
  [[ $line == *"$key"* ]] || fail "the udev rule lacks $key"
done
# uaccess is applied by 73-seat-late.rules: the rule must sort before it.
[[ $(basename "$rule") < 73 ]] || fail "the rule file sorts after 73-seat-late.rules"
[ -f "$root/share/bash-completion/completions/qor7316-update" ] ||
  fail "no bash completion where bash-completion looks for it"
echo "ok: program, desktop entry, icon, udev rule ($rules) and bash completion installed"

# Another prefix than the build's: every file lands below it (the staging root keeps a path
# outside it from reaching the system).
elsewhere=$(mktemp -d "${TMPDIR:-/tmp}/qor-install-root.XXXXXX")
trap 'rm -rf "$stage" "$elsewhere"' EXIT
DESTDIR=$elsewhere cmake --install "$build" --prefix /opt/qor-elsewhere >/dev/null ||
  fail "cmake --install --prefix failed"
outside=$(cd "$elsewhere" && find . -type f | grep -v '^\./opt/qor-elsewhere/')
[ -z "$outside" ] || fail "written outside the prefix /opt/qor-elsewhere: $outside"
[ -f "$elsewhere/opt/qor-elsewhere/lib/udev/rules.d/70-qor7316.rules" ] ||
  fail "no udev rule below the other prefix"
echo "ok: an install with another prefix stays below it ($(cd "$elsewhere" && find . -type f | wc -l) files)"
