#!/usr/bin/env bash
# Sets up, builds and runs every test (labels unit, integration, gui).
# Usage: scripts/test.sh [preset]   (default: "default"; "asan" for the sanitizer build)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
bash scripts/setup.sh "$preset"
ctest --preset "$preset" -j 2
