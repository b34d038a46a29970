#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="$root/build-tests"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQNL_SANITIZE=ON >/dev/null
cmake --build "$build" --parallel 2
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
# The screenshot tour (label "tour") needs a virtual display: scripts/screenshot-tour.sh.
ctest --output-on-failure --parallel 2 --timeout 600 -LE tour
