#!/usr/bin/env bash
# The demo flight: aviolog-sim flies Lisbon to Porto at SPEED times real time while
# aviolog-probe opens the simulator link and prints what the simulator reports.
# Usage: scripts/demo.sh [speed]   (default 30: the 45-minute flight in about 90 s)
set -euo pipefail
cd "$(dirname "$0")/.."
speed="${1:-30}"
bash scripts/setup.sh default

bin=build/default
"$bin/sim/aviolog-sim" --scenario data/scenarios/lppt-lppr.scn --speed "$speed" \
  --status 0 --exit-when-parked < /dev/null &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
"$bin/tools/aviolog-probe" --exit-on-loss --wait 20
wait $sim
