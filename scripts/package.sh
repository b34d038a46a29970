#!/usr/bin/env bash
# What a station installs: cross-builds the tool (scripts/build-windows.sh) and packs, for each
# word size, the window program and its console twin, the image maker, a settings file to start
# from and the operator's README (packaging/README-windows.txt):
#   dist/qnlmptool-1.1.2.1-windows-x64.zip
#   dist/qnlmptool-1.1.2.1-windows-x86.zip
# No library or firmware from elsewhere goes in. Then checks each zip as a station would use it:
# unpacked into an empty folder, with the stand-in qnliodll.dll of the wine tests beside it,
# "qnlmptool /S /D" under wine lists the simulated controllers (the 32-bit one only where
# 32-bit wine is installed).
#
#   bash scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=1.1.2.1
bash "$root/scripts/install-deps.sh" wine wine64 zip unzip >/dev/null
bash "$root/scripts/build-windows.sh" x86_64 i686 >/dev/null
export WINEPREFIX="$root/build-windows/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
trap 'wineserver -w 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$root/dist"

status=0
for arch in x64 x86; do
    bin="$root/build-windows/bin"
    [ "$arch" = x86 ] && bin="$root/build-windows-x86/bin"
    name="qnlmptool-$version-windows-$arch"
    stage="$work/$name"
    mkdir -p "$stage"
    cp "$bin/qnlmptool.exe" "$bin/qnlmptool.com" "$bin/qnlfwimage.exe" "$stage/"
    sed 's/$/\r/' "$root/packaging/README-windows.txt" >"$stage/README.txt"
    # The settings file: the image maker writes it over an image of its own, which does not go
    # in (the station's firmware is the maker's). Made by the 64-bit maker on every package.
    (cd "$stage" && wine "$root/build-windows/bin/qnlfwimage.exe" -o firmware.bin --kind 0 \
        --version 000000_00_00_00 --code-size 32768 --pad-to 65536 \
        --ini QNL7350AMPTool.ini >/dev/null 2>&1)
    rm -f "$stage/firmware.bin"
    grep -q '^fw_binary_name=firmware.bin' "$stage/QNL7350AMPTool.ini"
    rm -f "$root/dist/$name.zip"
    (cd "$work" && zip -qr "$root/dist/$name.zip" "$name")
    echo "built dist/$name.zip ($(stat -c %s "$root/dist/$name.zip") bytes)"

    # The check: an empty folder, the zip, the stand-in library and its station.
    if [ "$arch" = x86 ] && [ ! -x /usr/lib/wine/wine ]; then
        echo "(32-bit wine is not installed: $name.zip was built, not run)"
        continue
    fi
    station="$work/station-$arch"
    mkdir "$station"
    unzip -q "$root/dist/$name.zip" -d "$station"
    folder="$station/$name"
    cp "$bin/qnl_dllsim.dll" "$folder/qnliodll.dll"
    printf '%s\n' '{ "time_scale": 0.01, "controllers": [' \
        '  { "bus": 5, "device": 0, "function": 0, "kind": 0, "flash_id": "C2 20 13", "flash": "a.flash" } ] }' \
        >"$folder/station.json"
    if (cd "$folder" && QNLIO_STATION=station.json timeout 120 wine cmd /c \
        'qnlmptool /S /D & call echo code=%ERRORLEVEL%' >out 2>err) &&
        grep -q "Target Host\[0\] > Bus:0x05 Device:0x00 Function:0x00" "$folder/out" &&
        grep -q "code=0" "$folder/out"; then
        echo "ok      $name.zip unpacked: qnlmptool /S /D lists the station's controller"
    else
        echo "FAILED  $name.zip unpacked: qnlmptool /S /D"
        tr -d '\r' <"$folder/out" | tail -10 | sed 's/^/        | /'
        status=1
    fi
done
exit $status
