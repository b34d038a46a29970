#!/usr/bin/env bash
# The port check of the test page (a USB device change, "Reflash") on 8 simulated hosts
# (release build): wall time beside the protocol floor, and the longest stall of a GUI-like
# loop while it runs. Arguments: time scale (default 1), number of hosts (default 8).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQNL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel 2 --target portcheck_bench >/dev/null
"$build/bin/portcheck_bench" "${1:-1}" "${2:-8}"
