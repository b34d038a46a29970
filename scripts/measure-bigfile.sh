#!/usr/bin/env bash
# Peak memory of an MP run whose firmware file is 3 GB long (a sparse file): the tool refuses
# it (above 16 MiB) before reading or allocating anything of that size. Release build; prints
# the exit code and GNU time's "Maximum resident set size".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" >/dev/null
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$root/build/bin/qnlmptool" "$dir/"
"$root/build/bin/qnlfwimage" -o "$dir/big.bin" --kind 0 --version 170707_00_50_01 \
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
