#!/usr/bin/env bash
# qt-kit.sh [--path]
# Builds Qt 6 for 64-bit Windows (MinGW-w64) from Debian's own qt6-base source, only the parts
# the program needs, and keeps it in a cache outside the work tree keyed by version and options,
# so a machine builds it once. Prints the kit's folder last (with --path: only that, building
# nothing). Needs a deb-src entry for bookworm main (added when missing; run as root or with sudo).
set -euo pipefail

qt_version=6.4.2
# The host Qt of the same version gives the cross build its moc, rcc and uic.
host_prefix=/usr
host_cmake_dir=/usr/lib/x86_64-linux-gnu/cmake
triple=x86_64-w64-mingw32

# Core, Gui, Widgets, Test, the Windows platform plugin and style. Debian's source has no tablet
# header. OpenGL and Direct2D stay on: 6.4's Windows platform plugin does not build without them.
options=(
  -DBUILD_SHARED_LIBS=ON
  -DCMAKE_BUILD_TYPE=Release
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_network=OFF
  -DFEATURE_sql=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_openssl=OFF
  -DFEATURE_vulkan=OFF
  -DFEATURE_tabletevent=OFF
  -DFEATURE_testlib=ON
  -DFEATURE_widgets=ON
)

key=$(printf '%s\n' "$qt_version" "$triple" "${options[@]}" | sha256sum | cut -c1-12)
cache=${QOR_KIT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qor7316-updater}
kit="$cache/qt-$qt_version-mingw64-$key"

if [ "${1:-}" = "--path" ]; then
  echo "$kit"
  exit 0
fi
if [ -e "$kit/.complete" ]; then
  echo "$kit"
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
if ! apt-get source --print-uris qt6-base 2>/dev/null | grep -qF "qt6-base_$qt_version"; then
  echo "qt-kit.sh: adding Debian's source packages (deb-src bookworm main)" >&2
  $sudo tee /etc/apt/sources.list.d/debian-src-bookworm.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  $sudo apt-get update -qq
fi

work="$cache/work-$key"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
echo "qt-kit.sh: building Qt $qt_version for Windows into $kit (once per machine)" >&2
start=$(date +%s)
apt-get source -qq qt6-base >"$work/source.log" 2>&1 || { cat "$work/source.log" >&2; exit 1; }
src=$(find "$work" -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -n1)
[ -n "$src" ] || { echo "qt-kit.sh: no qt6-base $qt_version source (the host Qt's version)" >&2; exit 1; }

cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

rm -rf "$kit"
cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DCMAKE_INSTALL_PREFIX="$kit" \
  -DQT_HOST_PATH="$host_prefix" \
  -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
  "${options[@]}" >"$work/configure.log" 2>&1 ||
  { tail -n 40 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" -j "$(nproc 2>/dev/null || echo 2)" >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >"$work/install.log" 2>&1 ||
  { tail -n 20 "$work/install.log" >&2; exit 1; }
# Qt is LGPL: its licence texts ship with the program.
mkdir -p "$kit/licenses"
cp "$src"/LICENSES/* "$kit/licenses/" 2>/dev/null || true
cp "$src"/debian/copyright "$kit/licenses/debian-copyright" 2>/dev/null || true
echo "$(($(date +%s) - start)) s" >"$kit/.build-seconds"
touch "$kit/.complete"
rm -rf "$work"
echo "$kit"
