#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the platform
# self-check, the simulated printers on LPT1..LPT6 with wf-printers asking
# each what it is, then wrenfld itself against the same printers. On a
# desktop it opens its window until the user closes it; without one it runs
# offscreen, prints each window's rows, saves a picture of each window and
# is ended with SIGTERM for an ordered shutdown.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage.sh
stage "dependencies" bash scripts/deps.sh
stage "configure" cmake --preset product
stage "build" cmake --build --preset product

# Everything from here on, the self-check included, stays in a runtime
# directory of its own.
bin=$PWD/build/product/bin
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
  echo "simulated printers ready on LPT1..LPT6"
  "$bin/wf-printers" --watch 5 &
  local viewer=$!
  sleep 3
  # The printers change state, then tell whoever captured their alerts.
  echo "LPT1.status = 00 02 00" >&7
  echo "LPT1.raise-status = 0x000001" >&7
  echo "LPT3.status = 00 00 40" >&7
  echo "LPT3.raise-status = 0x000100" >&7
  wait "$viewer"
}
stage "simulated printers" simulated_printers

# wrenfld in a data root of its own, against the printers still running.
printer_window() {
  export WRENFIELD_ROOT=$work/root
  mkdir -m 700 -p "$WRENFIELD_ROOT"
  # The defaults with FlashIcon: a printer's hard error flashes its window.
  "$bin/wfreg" set 'HKCU\Software\Corvane\Wrenfield\1.0\Settings' globalflags dword 0x10F4
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "wrenfld is open on the desktop; close its window to go on"
    "$bin/wrenfld"
    return
  fi
  local pictures=$work/pictures
  mkdir -p "$pictures"
  QT_QPA_PLATFORM=offscreen WRENFIELD_UI_SNAPSHOT=$work/ui.snapshot WRENFIELD_UI_PICTURES=$pictures \
    "$bin/wrenfld" &
  local app=$!
  # Once the printers arrived: a row per printer a loaded family claims.
  for _ in $(seq 600); do
    grep -q "^row" "$work/ui.snapshot" 2>/dev/null && break
    sleep 0.1
  done
  sleep 2
  show_windows() {
    echo "-- $1"
    awk -F'\t' '
      $1 == "window" { printf "window %s \"%s\" %s\n", $2, $3, $4 }
      $1 == "pane" && $2 == 1 { printf "  %s\n", $3 }
      $1 == "column" { name[$2] = $3; n = $2 + 1 }
      $1 == "row" { line = "  "; for (c = 0; c < 4; c++) line = line sprintf("%s: %s  ", name[c], $(5 + c)); print line }
    ' "$work/ui.snapshot"
  }
  show_windows "the printers"
  # The generic printer on LPT5 jams: its row and the window's icon follow.
  echo "LPT5.alert 5 = 01 FF 01 00" >&7
  echo "LPT5.raise-status = 0x4" >&7
  sleep 3
  show_windows "LPT5 jammed"
  sleep 1
  show_windows "LPT5 jammed, a moment later"
  echo "LPT5.clear-alert 5 = 1" >&7
  echo "LPT5.raise-status = 0x4" >&7
  sleep 3
  show_windows "LPT5 cleared"
  mkdir -p build/demo
  for picture in "$pictures"/*.png; do
    cp "$picture" build/demo/
    echo "picture of the window: $PWD/build/demo/$(basename "$picture")"
  done
  kill -TERM "$app"
  wait "$app"
  echo "wrenfld shut down in order (exit code $?)"
}
stage "printer window" printer_window
echo quit >&7
