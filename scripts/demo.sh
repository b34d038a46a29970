#!/usr/bin/env bash
# The tool's main job on the simulated station: builds the tool, lays out a tool folder in
# demo/ (the executable alone; the built-in station keeps its flash files beside it) and runs
# the tool there in console mode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"

demo="$root/demo"
mkdir -p "$demo"
cp "$root/build/bin/qnlmptool" "$demo/"
cd "$demo"
set +e
./qnlmptool /S /D
code=$?
set -e
echo "exit code: $code"
exit $code
