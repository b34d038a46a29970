#!/usr/bin/env bash
# Peak memory of an MP run whose firmware file is 3 GB long (a sparse file): the tool refuses
# it (above 16 MiB) before reading or allocating anything of that size. Prints the exit code and
# GNU time's "Maximum resident set size". Uses the release build (built first), or the build
# folder named by BUILD_DIR (e.g. BUILD_DIR=build-tests for the sanitizer build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${BUILD_DIR:-}" ]; then
    bash "$root/scripts/build.sh" >/dev/null
    BUILD_DIR=build
fi
bin="$root/$BUILD_DIR/bin"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$bin/qnlmptool" "$dir/"
"$bin/qnlfwimage" -o "$dir/big.bin" --kind 0 --version 170707_00_50_01 \
    --ini "$dir/QNL7350AMPTool.ini" >/dev/null
rm "$dir/big.bin"
truncate -s 3G "$dir/big.bin"
cd "$dir"
set +e
/usr/bin/time -v ./qnlmptool /S /A >"$dir/out.txt" 2>"$dir/time.txt"
code=$?
set -e
grep -o 'Open Frimware bin file Failed!!.*' "$dir/out.txt" || true
echo "exit code: $code"
grep -E 'Maximum resident set size|Elapsed' "$dir/time.txt"
