#!/usr/bin/env bash
# The signal line test of an MP run on 8 simulated hosts, all speeds and ports (release build),
# wall time beside the protocol floor. Arguments: time scale (default 1: about two minutes),
# number of hosts (default 8).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQNL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel 2 --target porttest_run_bench >/dev/null
"$build/bin/porttest_run_bench" "${1:-1}" "${2:-8}"
