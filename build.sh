#!/usr/bin/env bash
# The two ways in on a fresh Debian 12 machine:
#   ./build.sh demo   install what is needed, build, start the demo with the virtual device
#   ./build.sh test   install what is needed, build with the sanitizers, run every test
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libsodium-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-wine
  xvfb xdotool x11-utils imagemagick tinyproxy libxcb1-dev desktop-file-utils
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix googletest wine64 wine
  librsvg2-bin wixl msitools osslsigncode openssl lintian dpkg-dev
  qemu-system-x86 linux-image-amd64 busybox-static cpio
)

install_packages() {
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

jobs=$(nproc 2>/dev/null || echo 2)

# timed NAME COMMAND...: runs the command and says how long it took.
timed() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  echo "build.sh: $name took $((SECONDS - start)) s"
}

test_dev() {
  cmake --preset dev >/dev/null
  cmake --build --preset dev -j "$jobs"
  ctest --preset dev -j "$jobs"
}

# The fuzz targets built with clang against the libraries and run briefly from their seeds.
test_fuzz() {
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  ctest --preset fuzz -j "$jobs"
}

# A throw-away self-signed certificate for the Windows build, unless one is given: the
# programs and the installer are signed and their signatures checked as with a real one.
# Made once in the build folder, so that a later run checks what an earlier one signed.
test_certificate() {
  [ -n "${QOR_SIGN_PKCS12:-}" ] && return 0
  local dir=build/test-certificate
  if [ ! -f "$dir/signing.p12" ]; then
    mkdir -p "$dir"
    od -An -N16 -tx1 /dev/urandom | tr -d ' \n' >"$dir/password"
    chmod 600 "$dir/password"
    openssl req -x509 -newkey rsa:3072 -nodes -keyout "$dir/key.pem" -out "$dir/certificate.pem" \
      -days 3650 -subj "/O=zentrova GmbH/CN=QOR 7316 Firmware Updater (test)" \
      -addext "extendedKeyUsage=codeSigning" 2>/dev/null
    openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/certificate.pem" \
      -out "$dir/signing.p12" -passout "file:$dir/password"
    rm -f "$dir/key.pem"
  fi
  QOR_SIGN_PASSWORD=$(cat "$dir/password")
  export QOR_SIGN_PKCS12=$here/$dir/signing.p12 QOR_SIGN_PASSWORD
}

# The whole program cross-built for Windows (Qt built once per machine by qt-kit.sh, about
# 40 minutes on two cores), its tests, the road of an update and the installer under Wine.
test_windows() {
  test_certificate
  bash packaging/windows/qt-kit.sh >/dev/null
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs"
  ctest --preset windows -j "$jobs"
}

# The Debian package from the release build: what it holds, lintian without errors, and that
# apt can install it with its dependencies.
test_debian_package() {
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$jobs"
  rm -f build/release/packages/qor7316-updater_*.deb
  cpack --preset deb >/dev/null
  local deb
  deb=$(ls build/release/packages/qor7316-updater_*.deb)
  bash tests/e2e/debian_package.sh "$deb"
}

# The release build's command line in a QEMU guest, with the kernel's own USB-serial and FTDI
# drivers between it and the virtual device: acknowledgements of 7 (the device's default); 12
# on a device with no application (its firmware-version request acknowledged); 5 with the
# version request acknowledged and the queries' replies swapped; then two adapters written by
# one flash --all, one of them answering with data replies. About 12 s a run.
test_guest() {
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$jobs" --target qor7316-update qor7316-socket-device \
    qor7316-make-image
  bash tests/e2e/guest_ftdi.sh build/release default ack=12,noapp ack=5,version=9,swap \
    dataacks+ack=7
}

case "${1:-}" in
  demo)
    install_packages
    cmake --preset release >/dev/null
    cmake --build --preset release -j "$jobs"
    exec ./build/release/demo/qor7316-updater-demo
    ;;
  test)
    install_packages
    timed "the Linux build and its tests" test_dev
    timed "the fuzz targets" test_fuzz
    timed "the Debian package" test_debian_package
    timed "the command line in a QEMU guest on the kernel's FTDI driver" test_guest
    timed "the Windows build and its tests under Wine" test_windows
    ;;
  *)
    echo "usage: $0 demo|test" >&2
    exit 2
    ;;
esac
