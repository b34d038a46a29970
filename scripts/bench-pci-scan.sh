#!/usr/bin/env bash
# Times the full 65,536-address discovery scan through the linux backend on this machine
# (configuration reads only). Extra arguments go to the benchmark: [linux settings] [runs].
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQNL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --parallel 2 --target qnl_pci_scan_bench >/dev/null
"$build/bin/qnl_pci_scan_bench" "${1:-}" "${2:-10}"
