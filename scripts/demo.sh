#!/usr/bin/env bash
# The tool's main job on the simulated station: builds the tool, lays out a tool folder in
# demo/ (the executable, a sample firmware image and a settings file naming it, both written by
# our own image maker; the built-in station keeps its flash files beside them) and runs the tool
# there in console mode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"

demo="$root/demo"
mkdir -p "$demo/fw"
cp "$root/build/bin/qnlmptool" "$demo/"
# A firmware newer than anything a blank simulated flash reports, with the customer text and
# the subsystem IDs in its configuration block. The settings file names it as a Windows
# station would ("fw\..."); the tool reads the name upper-cased and still finds the file.
"$root/build/bin/qnlfwimage" -o "$demo/fw/qnl7350a_170707.bin" --kind 0 \
    --version 170707_00_50_01 --entry 2:E260:1D6A --entry 2:E262:7351 \
    --customer "DEMO STATION" --code-size 32768 --pad-to 65536 \
    --ini "$demo/QNL7350AMPTool.ini"
cd "$demo"
set +e
./qnlmptool /S /D
code=$?
set -e
echo "exit code: $code"
exit $code
