#!/usr/bin/env bash
# The screenshot tour: builds the window (release, build-tour/) and walks it under Xvfb on a
# simulated station with a failing host, saving a PNG of every window and dialog in
# build-tour/tour/ (or the folder given). Look at every picture.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="${QNL_TOUR_BUILD:-$root/build-tour}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target qnl_tour
out="${1:-$build/tour}"
# QNL_TOUR_SCREEN=1024x768 walks it on a small line PC's screen.
screen="${QNL_TOUR_SCREEN:-1600x1200}"
xvfb-run -a -s "-screen 0 ${screen}x24" "$build/bin/qnl_tour" "$out"
echo "pictures in $out"
