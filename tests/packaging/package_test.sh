#!/usr/bin/env bash
# The Debian package as a pilot gets it: made by cpack from the build folder, checked by
# lintian and the desktop's validators, unpacked into a scratch root, and its programs run
# from there in an empty home: the runner's and the simulator's usage, a whole flight in the
# data folder the runner makes, and (under Xvfb) the window, which makes and seeds its folder.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" > "$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$scratch"/pkg/aviolog_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libwxgtk3.2 libwxgtk-webview3.2 libcurl4 libsqlite3-0 libpugixml1v5; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
if command -v lintian > /dev/null; then
  status=0
  lintian --fail-on error "$deb" > "$scratch/lintian.txt" 2>&1 || status=$?
  grep -v 'root privileges' "$scratch/lintian.txt" || true
  [ "$status" -eq 0 ] || fail "lintian reports errors"
else
  echo "lintian not installed: not checked"
fi

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.aviolog.Aviolog.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.aviolog.Aviolog.metainfo.xml" ||
  fail "appstreamcli validate"
for f in usr/share/aviolog/aviolog.ori usr/share/aviolog/flightgear/aviolog.xml \
  usr/share/aviolog/scenarios/lppt-lppr.scn usr/share/icons/hicolor/scalable/apps/org.aviolog.Aviolog.svg \
  usr/share/icons/hicolor/48x48/apps/org.aviolog.Aviolog.png usr/share/man/man1/aviolog-fly.1.gz \
  usr/share/doc/aviolog/copyright usr/lib/aviolog/libaviolog_browser.so; do
  [ -f "$root/$f" ] || fail "the package has no $f"
done
for program in aviolog-fly aviolog-sim aviolog-bridge aviolog-probe aviolog-gauge; do
  "$root/usr/bin/$program" --help > "$scratch/help.txt" || fail "$program --help"
  grep -q "usage: $program" "$scratch/help.txt" || fail "$program --help printed no usage"
done

# A flight in virtual time, started in a folder without settings: the installed runner
# works in the data folder, which it makes and seeds with the shipped files.
home="$scratch/home"
mkdir -p "$home/start"
(cd "$home/start" && env -u XDG_DATA_HOME HOME="$home" "$root/usr/bin/aviolog-fly" \
  --scenario "$root/usr/share/aviolog/scenarios/short-hop.scn" --accept > "$scratch/fly.txt" 2>&1) ||
  { cat "$scratch/fly.txt"; fail "the installed aviolog-fly did not fly"; }
data="$home/.local/share/aviolog"
for f in aviolog.ori aviolog.ini; do [ -f "$data/$f" ] || fail "the runner's data folder has no $f"; done
if [ -f "$root/usr/share/aviolog/apt.txt" ]; then
  cmp -s "$root/usr/share/aviolog/apt.txt" "$data/apt.txt" || fail "apt.txt not seeded"
else
  echo "built without the airport list: apt.txt not checked"
fi
[ -z "$(ls -A "$home/start")" ] || fail "the runner wrote into the start folder: $(ls "$home/start")"

if ! command -v xvfb-run > /dev/null || ! command -v xdotool > /dev/null; then
  echo "SKIP window: no xvfb-run or xdotool"
  exit 0
fi
home="$scratch/window-home"
mkdir -p "$home"
export AVIOLOG_ROOT="$root"
# The simulator's sockets and the instance lock stay the test's own: a network namespace
# of its own where one can be had, and a home of its own.
private=()
if unshare -n true 2> /dev/null; then private=(unshare -n); fi
# The window in a display of its own. It has started once a window of the program shows
# and its data folder holds the shipped files; OK on the first start's box makes the
# settings from the template.
env -u XDG_DATA_HOME HOME="$home" "${private[@]}" xvfb-run -a -n 150 -s "-screen 0 1024x768x24 -noreset" bash -c '
  data="$HOME/.local/share/aviolog"
  cd "$HOME" && "$AVIOLOG_ROOT/usr/bin/aviolog" > "$HOME/window.log" 2>&1 &
  pid=$!
  waitFor() {  # a condition, polled for at most 60 s
    for _ in $(seq 300); do
      eval "$1" && return 0
      kill -0 "$pid" 2> /dev/null || { cat "$HOME/window.log"; return 1; }
      sleep 0.2
    done
    echo "timed out: $1"; return 1
  }
  waitFor "[ -f \"\$data/aviolog.ori\" ] && xdotool search --pid $pid --onlyvisible --name . > /dev/null 2>&1" &&
    xdotool key Return &&
    waitFor "[ -f \"\$data/aviolog.ini\" ]"
  ok=$?
  kill "$pid" 2> /dev/null; wait "$pid" 2> /dev/null
  exit $ok' || fail "the installed window did not start in an empty home"
seeded=(aviolog.ori aviolog.ini)
[ -f "$root/usr/share/aviolog/apt.txt" ] && seeded+=(apt.txt runways.txt)
for f in "${seeded[@]}"; do
  [ -f "$home/.local/share/aviolog/$f" ] || fail "the window's data folder has no $f"
done
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KB; Depends: $depends"
