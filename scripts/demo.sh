#!/usr/bin/env bash
# The demo flight: aviolog-sim flies Lisbon to Porto at SPEED times real time while
# aviolog-fly records it live through the flight recorder and prints the log as it grows,
# then the finished log with its header and the flight summary. The pilot then accepts the
# flight (the sealed pilot log file and the local database take it) and presses "Send LOG":
# a sample VA script on loopback prints the PIREP as it receives it.
# Usage: scripts/demo.sh [speed]   (default 30: the 45-minute flight in about 90 s)
set -euo pipefail
cd "$(dirname "$0")/.."
speed="${1:-30}"
bash scripts/setup.sh default

bin=build/default
work=build/demo
rm -rf "$work" && mkdir -p "$work"
cp data/aviolog.ori "$work/"
# The VA's PIREP script, on loopback (never through a proxy).
export no_proxy=127.0.0.1
python3 tools/sample_va_server.py > "$work/va.out" &
va=$!
for _ in $(seq 50); do grep -q "listening on" "$work/va.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on //p' "$work/va.out")
# A kilogram airline for the demo, as a virtual airline would hand it out.
printf '[Aviolog]\r\nCompanyICAO=TAP\r\nCompanyName=Example Air\r\nCompanyIATA=TP\r\nPilotNumber=123\r\nUnitSystem=IS\r\n[Log]\r\nLog=http://127.0.0.1:%s/pirep.php\r\n' \
  "$port" > "$work/TAP.ini"

if [ -n "${DISPLAY:-}" ] && [ -x "$bin/shell/aviolog" ]; then
  # With a display: the desktop program in the demo folder against the simulator at real
  # speed, until the pilot quits it.
  "$bin/sim/aviolog-sim" --scenario data/scenarios/lppt-lppr.scn --speed "${1:-1}" --status 0 \
    < /dev/null &
  sim=$!
  trap 'kill $sim $va 2>/dev/null || true' EXIT
  echo "aviolog runs in $work: choose TAP, press Start LOG, fly, Stop LOG at the gate, OK, Send LOG."
  (cd "$work" && "../../$bin/shell/aviolog")
  echo "What the VA's script received:"
  cat "$work/va.out"
  exit 0
fi

"$bin/sim/aviolog-sim" --scenario data/scenarios/lppt-lppr.scn --speed "$speed" \
  --status 0 --exit-when-parked < /dev/null &
sim=$!
trap 'kill $sim $va 2>/dev/null || true' EXIT
"$bin/tools/aviolog-fly" --live --speed "$speed" --dir "$work" \
  --scenario data/scenarios/lppt-lppr.scn --aircraft A320 --registration CS-TNA \
  --flight TP1944 --callsign TAP1944 --pax 148 --route "DCT FATIM UZ218 BUSEN DCT" \
  --accept --send-log --local-db
wait $sim || true
kill $va 2>/dev/null && wait $va 2>/dev/null || true
echo
echo "What the VA's script received:"
cat "$work/va.out"
echo "The working directory of the flight: $work"
