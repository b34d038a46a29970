#!/usr/bin/env bash
# The window's figures under Xvfb (release build, build-tour/): start to first paint, the CPU
# of an idle window over 60 s, and the longest stall of the GUI thread during an 8-host MP run
# started from the window (time scale 1). Takes about two minutes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="${QNL_TOUR_BUILD:-$root/build-tour}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target qnl_window_measure >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
xvfb-run -a -s "-screen 0 1600x1200x24" "$build/bin/qnl_window_measure" "$out"
