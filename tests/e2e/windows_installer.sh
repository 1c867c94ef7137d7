#!/usr/bin/env bash
# The Windows installer under Wine, as a company's roll-out runs it: installed silently into a
# fresh Wine prefix (the program, Qt beside it, the Start-menu entry, the entry to remove it),
# the installed program started in a private X server until its window is up, then removed
# silently, leaving no file, folder, shortcut or registry key of ours behind.
#   windows_installer.sh MSI WINE_PREFIX
# Exit 77 (skipped) without Xvfb, xdotool or Wine.
set -u
for tool in Xvfb xdotool wine; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
msi=$(realpath "$1")
export WINEPREFIX=$(realpath -m "$2") WINEDEBUG=-all
# No Mono or Gecko installers, and no menu entries of Wine's own on the Linux desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

work=$(mktemp -d "${TMPDIR:-/tmp}/qor-wine-msi.XXXXXX")
trace=$work/none
. "$(dirname "$(realpath "$0")")/road_lib.sh"
finish_all() { finish; wineserver -k 2>/dev/null; }
trap finish_all EXIT

rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1 || fail "no Wine prefix in $WINEPREFIX"
wineserver -w
c=$WINEPREFIX/drive_c
# msiexec makes the system's installer cache folder on first use; it is empty again afterwards.
tree() { (cd "$WINEPREFIX" && find drive_c | grep -vx drive_c/windows/Installer | LC_ALL=C sort); }
tree >"$work/before"

msiexec_run() {
  local started; started=$(now_ms)
  wine msiexec "$1" "Z:${msi//\//\\}" /qn || fail "msiexec $1 /qn ended with $?"
  wineserver -w
  echo "ok: msiexec $1 /qn in $(( $(now_ms) - started )) ms"
}

msiexec_run /i
folder="$c/Program Files/QOR 7316 Firmware Updater"
for file in qor7316-updater.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll \
            libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll \
            styles/qwindowsvistastyle.dll licenses/Qt/LGPL-3.0-only.txt licenses/Qt/README.txt; do
  [ -f "$folder/$file" ] || fail "not installed: $file"
done
shortcut=$(find "$c" -name 'QOR 7316 Firmware Updater.lnk' | head -n 1)
[ -n "$shortcut" ] || fail "no Start-menu entry"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
  grep -q 'QOR 7316 Firmware Updater' || fail "no entry in Programs and Features"
echo "ok: installed: $(cd "$folder" && find . -type f | wc -l) files, Start-menu entry ${shortcut#"$c"/}"

# The installed program, started as the Start-menu entry starts it, comes up with its window.
start_xvfb
(cd "$folder" && exec wine qor7316-updater.exe >"$work/program.log" 2>&1) &
demo_pid=$!
deadline=$(( $(now_ms) + 60000 ))
until xdotool search --name '^QOR 7316 Firmware Updater$' >/dev/null 2>&1; do
  [ "$(now_ms)" -lt "$deadline" ] || fail "the installed program showed no window within 60 s"
  kill -0 "$demo_pid" 2>/dev/null || fail "the installed program ended: $(cat "$work/program.log")"
  sleep 0.2
done
sleep 1
import -window root "$work/installed-program.png" 2>/dev/null
echo "ok: the installed program's window is up"
wine taskkill /f /im qor7316-updater.exe >/dev/null 2>&1
wait "$demo_pid" 2>/dev/null
demo_pid=""
wineserver -w

msiexec_run /x
tree >"$work/after"
left=$(diff "$work/before" "$work/after" | grep '^>' || true)
[ -z "$left" ] || fail "left behind after removal: $left"
wine reg query 'HKLM\Software\zentrova GmbH' >/dev/null 2>&1 && fail "HKLM\\Software\\zentrova GmbH is still there"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
  grep -q 'QOR 7316 Firmware Updater' && fail "still in Programs and Features"
echo "ok: removed, nothing left behind"
rm -rf "$work"
