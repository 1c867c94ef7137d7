#!/usr/bin/env bash
# The Windows installer under Wine, as a company's roll-out and a technician run it:
#  - what the package says (msiinfo): one product code per version, the same in a second build
#    of it, file versions, the command line's folder on PATH, either installation context;
#  - installed silently for all users into a fresh Wine prefix: the program with Qt beside it,
#    the command line in bin\ on the system's PATH, the Start-menu entry, the entry in Programs
#    and Features with its folder; the installed program started in a private X server until
#    its window is up, with the program's icon;
#  - a later build of the same version installed over it as a small update: still one entry;
#  - removed silently, leaving no file, folder, shortcut, registry key or PATH entry behind;
#  - installed and removed in the per-user context: the user's PATH, not the system's.
#   windows_installer.sh MSI WINE_PREFIX BUILD_DIR STRIP ICON VERSION
# Exit 77 (skipped) without Xvfb, xdotool, Wine or msitools.
set -u
for tool in Xvfb xdotool wine msiinfo msibuild; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
msi=$(realpath "$1")
export WINEPREFIX=$(realpath -m "$2") WINEDEBUG=-all
build=$3 strip=$4 icon=$(realpath "$5") version=$6
# No Mono or Gecko installers, and no menu entries of Wine's own on the Linux desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

work=$(mktemp -d "${TMPDIR:-/tmp}/qor-wine-msi.XXXXXX")
trace=$work/none
. "$(dirname "$(realpath "$0")")/road_lib.sh"
finish_all() { finish; wineserver -k 2>/dev/null; }
trap finish_all EXIT

property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
package_code() { msiinfo suminfo "$1" | sed -n 's/^Revision number (UUID): //p'; }

# What the package says. A second build of the same version is the same product.
rebuilt=$work/rebuilt.msi
bash "$(dirname "$(realpath "$0")")/../../packaging/windows/make-msi.sh" "$build" "$strip" \
  "$icon" "$version" "$rebuilt" "$work/rebuild" >"$work/rebuild.log" 2>&1 ||
  fail "the second build of the installer failed: $(tail -n 5 "$work/rebuild.log")"
product=$(property "$msi" ProductCode)
[ -n "$product" ] || fail "no ProductCode"
[ "$(property "$rebuilt" ProductCode)" = "$product" ] || fail "a second build has another ProductCode"
[ "$(package_code "$rebuilt")" != "$(package_code "$msi")" ] || fail "a second build has the same package code"
[ "$(property "$msi" ProductVersion)" = "$version" ] || fail "ProductVersion is not $version"
[ "$(property "$msi" ALLUSERS)" = 2 ] || fail "ALLUSERS is not 2: not installable for one user"
file_version() { msiinfo export "$1" File | tr -d '\r' | awk -F'\t' -v name="$2" '$3 == name { print $5 }'; }
for program in qor7316-updater.exe qor7316-update.exe; do
  case "$(file_version "$msi" "$program")" in
    "$version".*) ;;
    *) fail "$program has no file version $version.N in the package" ;;
  esac
done
msiinfo export "$msi" Environment | grep -q "=-\*PATH.*\[INSTALLDIR\]bin" || fail "the command line is not put on the system's PATH"
msiinfo export "$msi" Environment | grep -q "=-PATH.*\[INSTALLDIR\]bin" || fail "the command line is not put on the user's PATH"
echo "ok: ProductCode $product for $version in both builds, package codes differ, file versions $(file_version "$msi" qor7316-update.exe)"

rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1 || fail "no Wine prefix in $WINEPREFIX"
wineserver -w
c=$WINEPREFIX/drive_c
# msiexec makes the system's and the user's installer cache folders on first use; they are
# empty again afterwards.
tree() {
  (cd "$WINEPREFIX" && find drive_c |
     grep -vx -e drive_c/windows/Installer -e 'drive_c/users/[^/]*/AppData/Roaming/Microsoft/Installer' |
     LC_ALL=C sort)
}
tree >"$work/before"

# msiexec_run /i|/x PACKAGE [PROPERTY=VALUE...]
msiexec_run() {
  local started; started=$(now_ms)
  local mode=$1 package=$2
  shift 2
  wine msiexec "$mode" "Z:${package//\//\\}" "$@" /qn || fail "msiexec $mode $* ended with $?"
  wineserver -w
  echo "ok: msiexec $mode $(basename "$package") $* /qn in $(( $(now_ms) - started )) ms"
}
uninstall_entries() {
  wine reg query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s 2>/dev/null | tr -d '\r'
}
machine_path() {
  wine reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v PATH 2>/dev/null | tr -d '\r'
}
user_path() { wine reg query 'HKCU\Environment' /v PATH 2>/dev/null | tr -d '\r'; }

msiexec_run /i "$msi"
folder="$c/Program Files/QOR 7316 Firmware Updater"
for file in qor7316-updater.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll \
            libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll \
            styles/qwindowsvistastyle.dll licenses/Qt/LGPL-3.0-only.txt licenses/Qt/README.txt \
            bin/qor7316-update.exe; do
  [ -f "$folder/$file" ] || fail "not installed: $file"
done
# Nothing but the command line in the folder on PATH: no other program finds Qt through it.
[ "$(ls "$folder/bin")" = qor7316-update.exe ] || fail "bin\\ holds more than the command line: $(ls "$folder/bin")"
shortcut=$(find "$c" -name 'QOR 7316 Firmware Updater.lnk' | head -n 1)
[ -n "$shortcut" ] || fail "no Start-menu entry"
[ "$(uninstall_entries HKLM | grep -c 'DisplayName.*QOR 7316 Firmware Updater')" = 1 ] ||
  fail "not once in Programs and Features: $(uninstall_entries HKLM | grep DisplayName)"
uninstall_entries HKLM | grep -q 'InstallLocation.*REG_SZ *C:\\Program Files\\QOR 7316 Firmware Updater\\$' ||
  fail "Programs and Features does not name the folder: $(uninstall_entries HKLM | grep InstallLocation)"
machine_path | grep -q 'C:\\Program Files\\QOR 7316 Firmware Updater\\bin' ||
  fail "the command line is not on the system's PATH: $(machine_path)"
echo "ok: installed for all users: $(cd "$folder" && find . -type f | wc -l) files, Start-menu entry ${shortcut#"$c"/}, InstallLocation, bin\\ on PATH"

# The installed program, started as the Start-menu entry starts it, comes up with its window,
# whose icon (as Wine hands it to the X server) is the program's own.
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
window=$(xdotool search --name '^QOR 7316 Firmware Updater$' | head -n 1)
# The first picture Wine gives, 32 x 32 pixels as ARGB numbers after its width and height,
# and the program icon's picture of that size.
xprop -id "$window" -notype 32c _NET_WM_ICON | sed 's/^[^=]*= //' | tr -d ' ' | tr ',' '\n' \
  >"$work/window-icons"
[ "$(head -n 2 "$work/window-icons" | tr '\n' ' ')" = "32 32 " ] ||
  fail "the window has no 32 x 32 icon: $(head -c 80 "$work/window-icons")"
sed -n '3,1026p' "$work/window-icons" >"$work/window-icon"
convert "$icon[2]" -depth 8 rgba:- | od -An -v -tu1 -w4 |
  awk '{ printf "%u\n", $4 * 16777216 + $1 * 65536 + $2 * 256 + $3 }' >"$work/program-icon"
cmp -s "$work/window-icon" "$work/program-icon" || fail "the window does not show the program's icon"
echo "ok: the installed program's window is up, with the program's icon"
wine taskkill /f /im qor7316-updater.exe >/dev/null 2>&1
wait "$demo_pid" 2>/dev/null
demo_pid=""
wineserver -w

# A later build of the same version: the same product, its files newer by their build number,
# installed over the first as Windows Installer's small update.
later=$work/later.msi
cp "$rebuilt" "$later"
cli_file=$(msiinfo export "$later" File | tr -d '\r' | awk -F'\t' '$3 == "qor7316-update.exe" { print $1 }')
msibuild "$later" -q "UPDATE \`File\` SET \`Version\` = '$version.65535' WHERE \`File\` = '$cli_file'"
msiexec_run /i "$later" REINSTALL=ALL REINSTALLMODE=vomus
[ "$(uninstall_entries HKLM | grep -c 'DisplayName.*QOR 7316 Firmware Updater')" = 1 ] ||
  fail "a later build of the same version is not the one entry in Programs and Features"
cmp -s "$folder/bin/qor7316-update.exe" "$work/rebuild/stage/bin/qor7316-update.exe" ||
  fail "the later build's command line did not replace the installed one"
echo "ok: a later build of $version replaced the installed one, still one entry"

msiexec_run /x "$msi"
tree >"$work/after"
left=$(diff "$work/before" "$work/after" | grep '^>' || true)
[ -z "$left" ] || fail "left behind after removal: $left"
wine reg query 'HKLM\Software\zentrova GmbH' >/dev/null 2>&1 && fail "HKLM\\Software\\zentrova GmbH is still there"
uninstall_entries HKLM | grep -q 'QOR 7316 Firmware Updater' && fail "still in Programs and Features"
machine_path | grep -q 'QOR 7316' && fail "still on the system's PATH: $(machine_path)"
echo "ok: removed, nothing left behind, PATH without it"

# The per-user context. Windows takes it from MSIINSTALLPERUSER=1 (the package is for either
# context: ALLUSERS=2); Wine's installer does not know that property and makes every such
# install one for the machine, so here the context is asked for as Wine understands it (Wine
# still lists it among the machine's programs).
msiexec_run /i "$msi" ALLUSERS=
user_path | grep -q 'QOR 7316 Firmware Updater\\bin' || fail "the command line is not on the user's PATH: $(user_path)"
machine_path | grep -q 'QOR 7316' && fail "a per-user install changed the system's PATH"
msiexec_run /x "$msi" ALLUSERS=
user_path | grep -q 'QOR 7316' && fail "still on the user's PATH: $(user_path)"
tree >"$work/after-user"
left=$(diff "$work/before" "$work/after-user" | grep '^>' || true)
[ -z "$left" ] || fail "left behind after the per-user removal: $left"
echo "ok: installed and removed for the user alone: the user's PATH, not the system's"
rm -rf "$work"
