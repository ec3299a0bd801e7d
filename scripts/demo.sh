#!/usr/bin/env bash
# Installs what is missing, builds, and runs the furthest end-to-end path
# that exists today: the platform self-check.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage.sh
stage "dependencies" bash scripts/deps.sh
stage "configure" cmake --preset default
stage "build" cmake --build --preset default
stage "self-check" build/default/bin/wf-selfcheck
