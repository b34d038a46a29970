#!/usr/bin/env bash
# Programs a 64 KB image on a 512 KB part of the simulated station at time scale 1 (release
# build) and prints the wall time beside the protocol's waits. Argument: number of runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQNL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel 2 --target qnl_flash_bench >/dev/null
"$build/bin/qnl_flash_bench" "${1:-3}"
