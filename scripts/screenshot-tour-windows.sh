#!/usr/bin/env bash
# The screenshot tour of the Windows window: cross-builds the x86-64 tool
# (scripts/build-windows.sh) and walks the real window under wine on Xvfb, over a simulated
# station with a failing host, saving a PNG of every window and dialog in
# build-windows/tour/ (or the folder given). Look at every picture.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" wine wine64 fonts-wqy-microhei >/dev/null
bash "$root/scripts/build-windows.sh" x86_64 >/dev/null
out=$(realpath -m "${1:-$root/build-windows/tour}")
rm -rf "$out"
mkdir -p "$out"
export WINEPREFIX="$root/build-windows/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Windows links a font for the characters the dialog font lacks ("取消"); here the prefix is
# told to take them from WenQuanYi Micro Hei (fonts-wqy-microhei).
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v 'MS Shell Dlg' /f >/dev/null 2>&1 || true
# A wine server started without a display would keep the windows off the screen: let it go.
wineserver -w
# A virtual desktop: wine draws the title bars and frames itself, as on a station.
# QNL_TOUR_SCREEN=1024x768 walks it on a small line PC's screen.
screen="${QNL_TOUR_SCREEN:-1260x1000}"
(cd "$root/build-windows/bin" && timeout 300 xvfb-run -a -s "-screen 0 1600x1200x24" \
    wine explorer /desktop=tour,"$screen" qnl_win_tour.exe "Z:${out//\//\\}")
python3 "$root/scripts/bmp-to-png.py" "$out"/*.bmp >/dev/null
rm -f "$out"/*.bmp
echo "pictures in $out"
