#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stage.sh
stage "dependencies" bash scripts/deps.sh
stage "configure" cmake --preset sanitize
stage "build" cmake --build --preset sanitize
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
stage "tests" ctest --preset sanitize -j "$(nproc)" --timeout 300
