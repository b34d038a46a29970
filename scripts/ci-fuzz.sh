#!/usr/bin/env bash
# CI: builds every libFuzzer target with clang and runs each for 30 s on its checked-in corpus,
# so that the targets keep building and a new crash on known ground fails the build.
set -euo pipefail
cd "$(dirname "$0")/.."
QNL_FUZZ_BUILD=${QNL_FUZZ_BUILD:-$PWD/build-fuzz} bash scripts/fuzz.sh 30
