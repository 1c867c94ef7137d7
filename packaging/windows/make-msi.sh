#!/usr/bin/env bash
# make-msi.sh BUILD_DIR STRIP ICON VERSION OUTPUT [WORK_DIR]
# The Windows installer from the build's install: the files staged with `cmake --install`,
# stripped of their symbols, listed by wixl-heat and packed by wixl with the product's
# description (qor7316-updater.wxs beside this script), in WORK_DIR (BUILD_DIR/msi unless
# given); then msibuild adds to the tables what wixl cannot say. With a certificate
# (QOR_SIGN_PKCS12 names a PKCS#12 file, QOR_SIGN_PASSWORD holds its password) the programs
# and the installer are signed by osslsigncode, and QOR_SIGN_TIMESTAMP (an RFC 3161 address)
# has the signatures time-stamped.
set -euo pipefail
build=$1 strip=$2 icon=$3 version=$4 output=$5 work=${6:-$1/msi}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
stage=$work/stage
cmake --install "$build" --prefix "$stage" >"$work/install.log"
find "$stage" -name '*.exe' -o -name '*.dll' | xargs "$strip" --strip-unneeded

# sign FILE: signed in place when a certificate is given.
sign() {
  [ -n "${QOR_SIGN_PKCS12:-}" ] || return 0
  local passfile
  passfile=$(mktemp)
  chmod 600 "$passfile"
  printf '%s' "${QOR_SIGN_PASSWORD:-}" >"$passfile"
  local timestamp=()
  [ -n "${QOR_SIGN_TIMESTAMP:-}" ] && timestamp=(-ts "$QOR_SIGN_TIMESTAMP")
  local status=0
  osslsigncode sign -pkcs12 "$QOR_SIGN_PKCS12" -readpass "$passfile" -h sha256 \
    -n "QOR 7316 Firmware Updater" -i "https://www.zentrova.example" "${timestamp[@]}" \
    -in "$1" -out "$1.signed" >"$work/sign.log" 2>&1 || status=$?
  rm -f "$passfile"
  if [ "$status" -ne 0 ]; then
    cat "$work/sign.log" >&2
    echo "make-msi.sh: signing $1 failed" >&2
    exit 1
  fi
  mv "$1.signed" "$1"
}
while IFS= read -r program; do
  sign "$program"
done < <(find "$stage" -name 'qor7316-*.exe')

(cd "$work" && find stage -type f | LC_ALL=C sort |
  wixl-heat --prefix stage/ --directory-ref INSTALLDIR --component-group ProgramFiles \
            --var var.SourceDir --win64 >"$work/files.wxs")

# One product code per version, the same in every build of it: a name-based UUID (version 5
# layout) of the upgrade code and the version.
upgrade_code=$(grep -o 'UpgradeCode="[^"]*"' "$here/qor7316-updater.wxs" | cut -d'"' -f2)
hash=$(printf '%s/%s' "$upgrade_code" "$version" | sha1sum | cut -c1-32)
variant=$(printf '%x' $(( (0x${hash:16:1} & 0x3) | 0x8 )))
product_code=$(printf '%s-%s-5%s-%s%s-%s' "${hash:0:8}" "${hash:8:4}" "${hash:13:3}" \
  "$variant" "${hash:17:3}" "${hash:20:12}" | tr 'a-f' 'A-F')

# wixl takes its sources' paths relative to where it runs.
cp "$here/qor7316-updater.wxs" "$work/"
cp "$icon" "$work/program.ico"
(cd "$work" && wixl --arch x64 -D Win64=yes -D SourceDir=stage -D Version="$version" \
   -D ProductCode="{$product_code}" -D IconFile=program.ico -o "$output" \
   qor7316-updater.wxs files.wxs)

# The version of each file that has one, so that Windows Installer compares versions, not
# dates, when it replaces a file: VS_FIXEDFILEINFO's file version, after its signature.
file_version() {
  perl -0777 -ne 'if (/\xBD\x04\xEF\xFE.{4}(.{8})/s) {
      my ($ms, $ls) = unpack("VV", $1);
      printf "%d.%d.%d.%d", $ms >> 16, $ms & 0xFFFF, $ls >> 16, $ls & 0xFFFF }' "$1"
}
queries=()
while IFS=' ' read -r id source; do
  v=$(file_version "$work/$source")
  [ -n "$v" ] || continue
  queries+=("UPDATE \`File\` SET \`Version\` = '$v' WHERE \`File\` = '$id'")
  queries+=("DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$id'")
done < <(sed -n 's|.*<File Id="\([^"]*\)".*Source="\$(var.SourceDir)/\([^"]*\)".*|\1 stage/\2|p' \
           "$work/files.wxs")

# The command line's folder on PATH: appended to the system's for all users, to the user's
# own otherwise, and taken out again on removal.
queries+=(
  "CREATE TABLE \`Environment\` (\`Environment\` CHAR(72) NOT NULL, \`Name\` CHAR(255) NOT NULL LOCALIZABLE, \`Value\` CHAR(255) LOCALIZABLE, \`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`Environment\`)"
  "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) VALUES ('PathForAllUsers', '=-*PATH', '[~];[INSTALLDIR]bin', 'PathAllUsers')"
  "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) VALUES ('PathForOneUser', '=-PATH', '[~];[INSTALLDIR]bin', 'PathOneUser')"
  "UPDATE \`Component\` SET \`Condition\` = 'ALLUSERS' WHERE \`Component\` = 'PathAllUsers'"
  "UPDATE \`Component\` SET \`Condition\` = 'NOT ALLUSERS' WHERE \`Component\` = 'PathOneUser'"
  "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)"
  "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
)
for query in "${queries[@]}"; do
  msibuild "$output" -q "$query"
done
sign "$output"
