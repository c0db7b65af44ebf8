#!/usr/bin/env bash
# Installs the Debian packages the build needs (when missing), then configures and builds.
# Usage: scripts/setup.sh [preset] [build preset]
#   preset: "default" (the default), "asan" or "tsan" for a sanitizer build, "win64" for
#   the Windows programs (mingw-w64) that the tests labelled wine run under Wine; the build
#   preset defaults to the same name ("demo" builds only what the demo runs).
#   "--packages-only" installs the packages and stops there.
#   AVIOLOG_WITH_FLIGHTGEAR=1 also installs FlightGear (about 1.3 GB), which the tests
#   labelled flightgear fly; without it they are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
build_preset="${2:-$preset}"

packages=(g++ cmake ninja-build ccache pkg-config clang-format libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libsqlite3-dev libpugixml-dev nlohmann-json3-dev python3-aiosmtpd
  libwxgtk3.2-dev libwxgtk-webview3.2-dev xvfb xauth x11-utils xdotool imagemagick iproute2 twm trayer
  g++-mingw-w64-x86-64-posix wine wine64)
if [ "${AVIOLOG_WITH_FLIGHTGEAR:-0}" = 1 ]; then packages+=(flightgear dbus-daemon); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

[ "$preset" = --packages-only ] && exit 0
cmake --preset "$preset" >/dev/null
cmake --build --preset "$build_preset"
