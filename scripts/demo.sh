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
# Keep a result log of the run.
sed -i 's/^savelog_enable=0/savelog_enable=1/' "$demo/QNL7350AMPTool.ini"
cd "$demo"
# Every demo starts from blank flash chips (the built-in station recreates them).
rm -f sim_host*.flash Config_*.rom

echo "--- before: /S /D"
./qnlmptool /S /D || true
echo "--- the MP run: /S /A (firmware update and check on every host)"
set +e
./qnlmptool /S /A
code=$?
set -e
echo "--- exit code of the MP run: $code"
echo "--- after: /S /D"
./qnlmptool /S /D || true
echo "--- result log"
cat "$(ls -t ./*.log | head -1)"
exit $code
