#!/usr/bin/env bash
# make-msi.sh BUILD_DIR STRIP ICON VERSION OUTPUT
# The Windows installer from the build's install: the files staged with `cmake --install`,
# stripped of their symbols, listed by wixl-heat and packed by wixl with the product's
# description (qor7316-updater.wxs beside this script).
set -euo pipefail
build=$1 strip=$2 icon=$3 version=$4 output=$5
here=$(cd "$(dirname "$0")" && pwd)
work=$build/msi
rm -rf "$work"
mkdir -p "$work"
stage=$work/stage
cmake --install "$build" --prefix "$stage" >"$work/install.log"
find "$stage" -name '*.exe' -o -name '*.dll' | xargs "$strip" --strip-unneeded
(cd "$work" && find stage -type f | LC_ALL=C sort |
  wixl-heat --prefix stage/ --directory-ref INSTALLDIR --component-group ProgramFiles \
            --var var.SourceDir --win64 >"$work/files.wxs")
# wixl takes its sources' paths relative to where it runs.
cp "$here/qor7316-updater.wxs" "$work/"
cp "$icon" "$work/program.ico"
(cd "$work" && wixl --arch x64 -D Win64=yes -D SourceDir=stage -D Version="$version" \
   -D IconFile=program.ico -o "$output" qor7316-updater.wxs files.wxs)
