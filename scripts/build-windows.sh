#!/usr/bin/env bash
# Cross-builds the tool for Windows with Debian's mingw-w64 toolchain (posix threads), runtime
# linked in (-static), so each program runs when copied alone:
#   build-windows/bin/qnlmptool.exe       x86-64, the window program (a command line: the console
#                                         tool); qnlmptool.com beside it is its console twin
#   build-windows-x86/bin/qnlmptool.exe   32-bit x86 (the one that loads a 32-bit qnliodll.dll),
#                                         with its qnlmptool.com
# Beside each: qnlfwimage.exe, the stand-in I/O libraries of the wine tests (qnl_dllsim.dll,
# qnl_dllsim_partial.dll) and the window's binding tests (qnl_win_tests.exe).
#
#   bash scripts/build-windows.sh [x86_64] [i686]     (default: both)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(x86_64 i686)

toolchain=()
for t in "${targets[@]}"; do
    case "$t" in
        x86_64) toolchain+=(g++-mingw-w64-x86-64-posix) ;;
        i686) toolchain+=(g++-mingw-w64-i686-posix) ;;
        *) echo "unknown target $t (x86_64 or i686)" >&2; exit 2 ;;
    esac
done
bash "$root/scripts/install-deps.sh" "${toolchain[@]}"

for t in "${targets[@]}"; do
    build="$root/build-windows"
    [ "$t" = i686 ] && build="$root/build-windows-x86"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$t.cmake" >/dev/null
    cmake --build "$build" --parallel 2
    echo "built $build/bin/qnlmptool.exe and qnlmptool.com"
done
