#!/usr/bin/env bash
# Checks the formatting, then sets up, builds and runs every test (labels unit, integration,
# gui, wine): in the release build, then once more under AddressSanitizer and UBSan (all
# but wine: Wine's programs are not sanitized, and the relay's Linux end has tests of its
# own without Wine). The Windows programs that the wine tests run are built first (win64).
# Usage: scripts/test.sh [preset]   one build only: "default", "asan", or "tsan" (every test
#   but the gui and FlightGear ones under ThreadSanitizer)
set -euo pipefail
cd "$(dirname "$0")/.."
if (($#)); then presets=("$1"); else presets=(default asan); fi
bash scripts/setup.sh --packages-only
bash scripts/check_format.sh
bash scripts/setup.sh win64
for preset in "${presets[@]}"; do
  bash scripts/setup.sh "$preset"
  ctest --preset "$preset" -j 2
done
