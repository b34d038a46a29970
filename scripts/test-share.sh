#!/usr/bin/env bash
# The share of test code: lines of C++ (and the tests' Python) below tests/ over all such lines
# the repository tracks.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { git ls-files -- "$@" | grep -E '\.(cpp|h|py)$' | tr '\n' '\0' | xargs -0 cat | wc -l; }
tests=$(count tests)
all=$(count .)
awk -v t="$tests" -v a="$all" 'BEGIN { printf "test code: %d of %d lines = %.3f\n", t, a, t / a }'
