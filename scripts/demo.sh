#!/usr/bin/env bash
# Installs what is missing, builds, and runs the furthest end-to-end path
# that exists today: the platform self-check, then the broker finding the
# simulated printers on LPT1..LPT5, asking each what it is through its
# request object, and showing two device-status alerts they raise.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage.sh
stage "dependencies" bash scripts/deps.sh
stage "configure" cmake --preset default
stage "build" cmake --build --preset default

# Everything from here on, the self-check included, stays in a runtime
# directory of its own.
bin=$PWD/build/default/bin
work=$(mktemp -d)
export WRENFIELD_RUNTIME_DIR=$work/run
sim_pid=""
cleanup() {
  exec 7>&- 2>/dev/null || true
  [ -n "$sim_pid" ] && wait "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
stage "self-check" "$bin/wf-selfcheck"

simulated_printers() {
  mkfifo "$work/sim-input"
  (cd sim/scenarios && exec "$bin/wf-printer-sim" demo.scenario <"$work/sim-input" >"$work/sim-output") &
  sim_pid=$!
  exec 7>"$work/sim-input"
  until grep -q ready "$work/sim-output" 2>/dev/null; do sleep 0.1; done
  echo "simulated printers ready on LPT1..LPT5"
  "$bin/wf-printers" --watch 5 &
  local viewer=$!
  sleep 3
  # The printers change state, then tell whoever captured their alerts.
  echo "LPT1.status = 00 02 00" >&7
  echo "LPT1.raise-status = 0x000001" >&7
  echo "LPT3.status = 00 00 40" >&7
  echo "LPT3.raise-status = 0x000100" >&7
  wait "$viewer"
  echo quit >&7
}
stage "simulated printers" simulated_printers
