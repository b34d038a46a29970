#!/usr/bin/env bash
# Builds the tool into build/ (build/bin/qnlmptool). Extra arguments go to cmake's configure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQNL_BUILD_TESTS=OFF "$@" >/dev/null
cmake --build "$root/build" --parallel 2
