#!/usr/bin/env bash
# The demo flight: aviolog-sim flies Lisbon to Porto at SPEED times real time while
# aviolog-fly records it live through the flight recorder and prints the log as it grows,
# then the finished log with its header and the flight summary. With a display, aviolog-gauge
# shows the log on the cockpit terminal too. The pilot then accepts the
# flight (the sealed pilot log file and the local database take it) and presses "Send LOG":
# a sample VA script on loopback prints the PIREP as it receives it.
# Usage: scripts/demo.sh [speed]   (default 30: the 45-minute flight in about 90 s)
set -euo pipefail
cd "$(dirname "$0")/.."
speed="${1:-30}"
bash scripts/setup.sh default demo

bin=build/default
work=build/demo
rm -rf "$work" && mkdir -p "$work"
cp data/aviolog.ori "$work/"
# With a display, the cockpit terminal shows the log as it grows (UseGauge on).
gauge=""
if [ -n "${DISPLAY:-}" ] && [ -x "$bin/gauge/aviolog-gauge" ]; then
  sed 's/^UseGauge=0/UseGauge=1/' data/aviolog.ori > "$work/aviolog.ini"
  "$bin/gauge/aviolog-gauge" < /dev/null > "$work/gauge.out" &
  gauge=$!
  sleep 1
fi
# The VA's scripts, on loopback (never through a proxy).
export no_proxy=127.0.0.1
python3 tools/sample_va_server.py \
  --uplink 'Uplink from dispatch SENDTOTP1944 expect stand B12 at Porto' > "$work/va.out" &
va_pid=$!
for _ in $(seq 50); do grep -q "listening on" "$work/va.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on //p' "$work/va.out")
va="http://127.0.0.1:$port"
# ACARS online, with the VA's ACARS and uplink scripts.
settings=data/aviolog.ori
[ -f "$work/aviolog.ini" ] && settings="$work/aviolog.ini"
sed -e 's/^AcarsEvent=.*/AcarsEvent=1\r/' -e "s|^AcarsSite=.*|AcarsSite=$va/acars.php\r|" \
  -e "s|^Uplink=.*|Uplink=$va/uplink.php\r|" -e "s|^UplinkReset=.*|UplinkReset=$va/reset.php\r|" \
  "$settings" > "$work/aviolog.ini.new"
mv "$work/aviolog.ini.new" "$work/aviolog.ini"
# A kilogram airline for the demo, as a virtual airline would hand it out, with its status
# script for the live position reports.
printf '[Aviolog]\r\nCompanyICAO=TAP\r\nCompanyName=Example Air\r\nCompanyIATA=TP\r\nPilotNumber=123\r\nUnitSystem=IS\r\nStatusSite=%s/status.php\r\n[Log]\r\nLog=%s/pirep.php\r\n' \
  "$va" "$va" > "$work/TAP.ini"
# The airport list the build generated from OurAirports; without one (no airport data at
# set-up) the two airports of the flight.
if [ -f "$bin/data/apt.txt" ]; then
  cp "$bin/data/apt.txt" "$bin/data/runways.txt" "$work/"
else
  printf '[Airports]\r\nLPPT=Lisbon Portela;38.7813;-9.1359\r\nLPPR=Porto Sa Carneiro;41.2481;-8.6814\r\n' \
    > "$work/apt.txt"
fi

if [ -n "${DISPLAY:-}" ] && [ -x "$bin/shell/aviolog" ]; then
  # With a display: the desktop program in the demo folder against the simulator at real
  # speed, until the pilot quits it.
  "$bin/sim/aviolog-sim" --scenario data/scenarios/lppt-lppr.scn --speed "${1:-1}" --status 0 \
    < /dev/null &
  sim=$!
  trap 'kill $sim $va_pid $gauge 2>/dev/null || true' EXIT
  echo "aviolog runs in $work: choose TAP, press Start LOG, fly, Stop LOG at the gate, OK, Send LOG."
  (cd "$work" && "../../$bin/shell/aviolog")
  echo "What the VA's script received:"
  cat "$work/va.out"
  exit 0
fi

"$bin/sim/aviolog-sim" --scenario data/scenarios/lppt-lppr.scn --speed "$speed" \
  --status 0 --exit-when-parked < /dev/null &
sim=$!
trap 'kill $sim $va_pid $gauge 2>/dev/null || true' EXIT
"$bin/tools/aviolog-fly" --live --speed "$speed" --dir "$work" \
  --scenario data/scenarios/lppt-lppr.scn --aircraft A320 --registration CS-TNA \
  --flight TP1944 --callsign TAP1944 --pax 148 --route "DCT FATIM UZ218 BUSEN DCT" \
  --accept --send-log --local-db --acars
wait $sim || true
kill $va_pid 2>/dev/null && wait $va_pid 2>/dev/null || true
echo
echo "What the VA's scripts received:"
cat "$work/va.out"
echo "The working directory of the flight: $work"
