#!/usr/bin/env bash
# The MP run on 8 simulated hosts at time scale 1 (real protocol waits): /S /A with firmware
# update and check of a 64 KB image on 512 KB flash parts. Prints the wall time next to the
# floor the protocol's waits set, and the tool's overhead above it.
#
# Floor: programming runs one host at a time under the programming lock, and each host's
# update waits 200 + 200 (unprotect) + 2 x (500 + 1000) (erase of the image and of its second
# copy) + 3 x 200 (protect) + 500 (end of access) = 4500 ms. After the last host's update its
# worker waits 500 + 250 ms before the check, and the process waits 1000 ms before it ends.
# So: 8 x 4500 + 750 + 1000 = 37750 ms.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" >/dev/null
hosts=8
floor_ms=$((hosts * 4500 + 750 + 1000))

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$root/build/bin/qnlmptool" "$dir/"
"$root/build/bin/qnlfwimage" -o "$dir/fw.bin" --kind 0 --version 170707_00_50_01 \
    --code-size 32768 --pad-to 65536 --ini "$dir/QNL7350AMPTool.ini" >/dev/null
controllers=""
for i in $(seq 0 $((hosts - 1))); do
    [ -n "$controllers" ] && controllers+=","
    controllers+="{\"bus\": $((i + 1)), \"device\": 0, \"function\": 0, \"kind\": 0, \"model\": 0,
                   \"flash_id\": \"C2 20 13\", \"flash\": \"h$i.flash\"}"
done
echo "{ \"time_scale\": 1.0, \"controllers\": [ $controllers ] }" > "$dir/station.json"

cd "$dir"
start=$(date +%s%N)
set +e
QNLIO_STATION="$dir/station.json" QNL_EVENT_STORE=file ./qnlmptool /S /A > run.txt
code=$?
set -e
end=$(date +%s%N)
wall_ms=$(( (end - start) / 1000000 ))
passes=$(grep -c "FW Check ]--> \[PASS\]" run.txt || true)
echo "hosts: $hosts, exit code: $code, hosts checked PASS: $passes"
echo "wall time: ${wall_ms} ms, protocol floor: ${floor_ms} ms"
awk -v w="$wall_ms" -v f="$floor_ms" 'BEGIN { printf "overhead: %d ms (%.2f%% of the floor)\n", w - f, 100 * (w - f) / f }'
[ "$code" -eq 0 ] && [ "$passes" -eq "$hosts" ]
