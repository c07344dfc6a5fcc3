#!/usr/bin/env bash
# Installs what is missing, cross-compiles the tool and the test suite for
# 32-bit Windows (Crypto++ included, from Debian's source package, once
# per build folder), checks that tarnwell.exe is a self-contained PE32
# console program, and runs the suite under Wine.
# Usage: run-windows-tests.sh [BUILD_DIR]   (default: build-windows)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-windows}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"

source "$root/scripts/timed.sh"

timed "installing for Windows" bash "$root/scripts/install-windows-deps.sh"

echo "== Crypto++ for Windows" >&2
timed "Crypto++ for Windows" bash "$root/scripts/build-cryptopp-windows.sh" "$build/cryptopp"

echo "== Windows build" >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DOX_CRYPTOPP_PREFIX="$build/cryptopp"
timed "Windows build" cmake --build "$build" -j"$(nproc)"
bash "$root/scripts/check-windows-program.sh" "$build/tool/tarnwell.exe"

echo "== Windows tests under Wine" >&2
export WINEPREFIX="$build/wineprefix"
# One server for the whole run, so that the many short runs never race a
# server that is just shutting down; its helper programs start here with
# their output elsewhere, so no test's captured output waits for them.
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true  # a server left over from an earlier run
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# The first start creates the prefix, which takes a while.
OX_WINE_TIMEOUT=600 bash "$root/scripts/wine-run.sh" wineboot -i </dev/null >"$build/wineboot.log" 2>&1 ||
    { cat "$build/wineboot.log" >&2; echo "Wine did not start" >&2; exit 1; }
timed "Windows tests under Wine" ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
