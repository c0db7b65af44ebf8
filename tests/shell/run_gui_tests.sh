#!/usr/bin/env bash
# Runs the gui tests under their own X display, in a network namespace of their own (with
# loopback up) when the machine allows one, so that the simulator's sockets cannot meet
# another test's.
set -euo pipefail
tests="$1"
shift
# The search for a free display starts at the suite's own number (see tests/CMakeLists.txt).
# -noreset: by default the server resets whenever its last client leaves, between two tests,
# and refuses the next test's first client while it does.
run() { xvfb-run -a -n "${AVIOLOG_XVFB_SERVER:-99}" -s "-screen 0 1280x800x24 -noreset" "$tests" "$@"; }
if unshare -n true 2>/dev/null; then
  export -f run
  export tests
  exec unshare -n bash -c 'ip link set lo up 2>/dev/null || true; run "$@"' gui "$@"
fi
run "$@"
