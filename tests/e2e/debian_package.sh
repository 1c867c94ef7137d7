#!/usr/bin/env bash
# The Debian package as a technician gets it: the program and its command line, its menu entry and icon, the udev
# rule where udev reads it, the package's documents; dependencies read from the program and
# those it opens itself;
# lintian finds no error; apt would install it with what it depends on.
#   debian_package.sh PACKAGE.deb
set -u
deb=$(realpath "$1")
fail() { echo "FAIL: $*"; exit 1; }

files=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sed 's|^\./|/|' | LC_ALL=C sort)
expected="/usr/bin/qor7316-update
/usr/bin/qor7316-updater
/usr/lib/udev/rules.d/70-qor7316.rules
/usr/share/applications/qor7316-updater.desktop
/usr/share/bash-completion/completions/qor7316-update
/usr/share/doc/qor7316-updater/changelog.Debian.gz
/usr/share/doc/qor7316-updater/copyright
/usr/share/icons/hicolor/scalable/apps/qor7316-updater.svg
/usr/share/man/man1/qor7316-update.1.gz
/usr/share/man/man1/qor7316-updater.1.gz"
[ "$files" = "$expected" ] || fail "the package holds:
$files"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libcurl4 libsodium23; do
  [[ $depends == *"$library"* ]] || fail "no dependency on $library: $depends"
done
# The pictures come as PNG from the build: no SVG renderer goes with the program.
[[ $depends != *libqt6svg* ]] || fail "a dependency on QtSvg: $depends"
echo "ok: $(basename "$deb"), $(stat -c %s "$deb") bytes: $(echo "$files" | wc -l) files; depends on $depends"

# The command line's manual page names every option and exit code its --help names.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
help=$("$unpacked/usr/bin/qor7316-update" --help)
page=$(zcat "$unpacked/usr/share/man/man1/qor7316-update.1.gz" | sed 's/\\-/-/g')
for option in $(echo "$help" | grep -oE -- '--[a-z-]+' | sort -u); do
  [[ $page == *"$option"* ]] || fail "the manual page lacks $option"
done
for code in $(echo "$help" | sed -n '/^Exit codes:/,$p' | grep -oE '^ +[0-9]+' | tr -d ' '); do
  [ "$code" -ge 10 ] || grep -q "^\.B $code\$" <<<"$page" || fail "the manual page lacks exit code $code"
done
echo "ok: the manual page of qor7316-update names every option and exit code of its --help"

report=$(lintian --fail-on error "$deb" 2>&1)
status=$?
echo "$report" | grep -v 'running with root privileges'
[ "$status" -eq 0 ] || fail "lintian reports errors"
echo "ok: lintian reports no error"

apt-get install --simulate "$deb" >"${TMPDIR:-/tmp}/qor-apt-simulate.log" 2>&1 ||
  { cat "${TMPDIR:-/tmp}/qor-apt-simulate.log"; fail "apt cannot install the package"; }
grep -q '^Inst qor7316-updater' "${TMPDIR:-/tmp}/qor-apt-simulate.log" ||
  fail "apt would not install it: $(cat "${TMPDIR:-/tmp}/qor-apt-simulate.log")"
rm -f "${TMPDIR:-/tmp}/qor-apt-simulate.log"
echo "ok: apt install ./$(basename "$deb") resolves"
