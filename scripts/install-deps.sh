#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only what is missing).
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev nlohmann-json3-dev
          libpci-dev libsystemd-dev
          # the operator's window (Qt 6 Widgets), the USB device-change monitor, and the
          # screenshot tour (a virtual display; DejaVu Sans and a font with the CJK captions)
          qt6-base-dev libudev-dev xvfb xauth fonts-dejavu-core fonts-wqy-microhei
          # the tests' check of the run records against docs/run-record.schema.json
          python3 python3-jsonschema)
# Further packages a script needs (scripts/build-windows.sh: the mingw-w64 toolchain, wine).
packages+=("$@")
# scripts/fuzz.sh: clang with its libFuzzer runtime.
if [ "${QNL_WITH_FUZZ:-0}" = 1 ]; then packages+=(clang libclang-rt-14-dev); fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
