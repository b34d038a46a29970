#!/usr/bin/env bash
# The Windows window's figures under wine on Xvfb (x86-64 build, build-windows/): start to first
# paint, the CPU of an idle window over 10 s (and of the process before it has one), and the longest stall of the GUI thread during an
# 8-host MP run started from the window. Under wine the figures are wine's as much as the
# tool's; they show the window keeps its loop running, not a station's exact numbers.
#
#   bash scripts/measure-window-windows.sh [time scale]     (default 1.0, as on a station)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" wine wine64 >/dev/null
bash "$root/scripts/build-windows.sh" x86_64 >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export WINEPREFIX="$root/build-windows/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -w  # one started without a display would keep the window off the screen
(cd "$root/build-windows/bin" && xvfb-run -a -s "-screen 0 1600x1200x24" \
    wine ./qnl_win_measure.exe "Z:${out//\//\\}" "${1:-1.0}") | tr -d '\r'
