#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each for SECONDS (default 60), starting from a copy of the checked-in corpus
# (tests/data/corpus/<target>/). Prints each target's execution count; a crash stops the script.
# Targets: settings (the whole settings-file load), firmware (image check and rebuild), station
# (the simulated station's file), cmdline (the command line), events (diagnostic event lines).
#
#   bash scripts/fuzz.sh [SECONDS]        build dir: build-fuzz (or $QNL_FUZZ_BUILD)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${QNL_FUZZ_BUILD:-$root/build-fuzz}
QNL_WITH_FUZZ=1 bash "$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DQNL_SANITIZE=ON -DQNL_FUZZ=ON -DQNL_BUILD_TESTS=OFF -DQNL_WITH_QT=OFF >/dev/null
targets="settings firmware station cmdline events"
cmake --build "$build" --parallel 2 --target $(printf 'fuzz_%s ' $targets)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in $targets; do
    work="$build/corpus-$target"
    mkdir -p "$work"
    cp -n "$root/tests/data/corpus/$target/"* "$work/" 2>/dev/null || true
    log="$build/fuzz_$target.log"
    "$build/bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 "$work" >"$log" 2>&1 || {
        tail -40 "$log"
        echo "fuzz_$target: FAILED (input saved in the current folder; log: $log)"
        exit 1
    }
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    echo "fuzz_$target: $runs executions in ${seconds} s, corpus $(ls "$work" | wc -l) inputs"
done
