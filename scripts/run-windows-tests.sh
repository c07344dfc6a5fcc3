#!/usr/bin/env bash
# Builds the tool for 32-bit Windows (the product) and checks that
# tarnwell.exe is a self-contained PE32 console program, then runs the unit
# suite and the end-to-end tests under Wine, on the build this host can run:
# - a host that starts i386 programs: the 32-bit build, under wine32;
# - a host that runs 64-bit code only, or where wine32 does not start or
#   cannot be installed: the same sources built for 64-bit Windows too,
#   under wine64; the 32-bit build is then the tool alone.
# Builds the MSI from the 32-bit zip and installs, upgrades and removes it
# under Wine in a prefix of its own. Installs what is missing first;
# Crypto++ comes from Debian's source
# package, cross-built once per build folder. Every step says its name
# before it runs, and a failure names the step.
# OX_TEST_ASSUME_NO_I386=1 takes the 64-bit path on any host (for testing
# this script).
# Usage: run-windows-tests.sh [BUILD_DIR [BUILD64_DIR]]
#        (defaults: build-windows, build-windows64)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"
build="$(realpath -m "${1:-$root/build-windows}")"
build64="$(realpath -m "${2:-$root/build-windows64}")"

source "$root/scripts/timed.sh"
wine_server=""
finish() {
    local status=$?
    report_failed_step "$status"
    if [ -n "$wine_server" ]; then "$wine_server" -k >/dev/null 2>&1 || true; fi
}
trap finish EXIT

echo "== does this host start i386 programs?" >&2
if probed="$(bash "$root/scripts/probe-i386.sh" "$build")"; then
    tests_on=i386
    why="this host starts i386 programs ($probed) and wine32"
else
    tests_on=x86_64
    why="this host does not start i386 programs ($probed)"
fi
echo "$probed" >&2
if [ "$tests_on" = i386 ]; then
    # wine32 needs a matching set of i386 libraries, which a mirror in the
    # middle of its sync may not serve: the 64-bit tests stand in then.
    echo "== installing for Windows" >&2
    if ! timed "installing for Windows" bash "$root/scripts/install-windows-deps.sh" i386; then
        tests_on=x86_64
        why="this host starts i386 programs ($probed), but wine32 could not be installed"
        echo "$why" >&2
        step "installing for 64-bit Windows" bash "$root/scripts/install-windows-deps.sh" x86_64
    fi
else
    step "installing for Windows" bash "$root/scripts/install-windows-deps.sh" "$tests_on"
fi

# The kernel may start a hand-made i386 program and still not wine32's.
if [ "$tests_on" = i386 ]; then
    echo "== does wine32 start?" >&2
    if ! error="$(/usr/lib/wine/wineserver32 --version 2>&1)"; then
        tests_on=x86_64
        why="this host starts i386 programs ($probed), but not wine32 (wineserver32: ${error##*: })"
        echo "$why" >&2
        step "installing for 64-bit Windows" bash "$root/scripts/install-windows-deps.sh" x86_64
    fi
fi

if [ "$tests_on" = i386 ]; then
    what="the 32-bit build ($build, i686, wine32): $why"
    tests_build="$build"
    runner="$root/scripts/wine-run.sh"
    wine_server=wineserver
else
    what="the 64-bit build ($build64, x86_64, wine64): $why; the 32-bit tarnwell.exe is built and checked, not run"
    tests_build="$build64"
    runner="$root/scripts/wine64-run.sh"
    wine_server=/usr/lib/wine/wineserver64
    export WINESERVER="$wine_server"
fi
echo "== Windows tests run on $what" >&2

# configure_and_build DIR PRESET [TARGET]: the preset (windows, windows64)
# in the folder given, with its own Crypto++.
configure_and_build() {
    local dir="$1" preset="$2" target="${3:-}"
    cmake -S "$root" --preset "$preset" -B "$dir" -DOX_CRYPTOPP_PREFIX="$dir/cryptopp"
    cmake --build "$dir" -j"$jobs" ${target:+--target "$target"}
}

step "Crypto++ for 32-bit Windows" bash "$root/scripts/build-cryptopp-windows.sh" "$build/cryptopp" i686-w64-mingw32
if [ "$tests_on" = i386 ]; then
    step "32-bit Windows build" configure_and_build "$build" windows
else
    step "32-bit Windows build (the tool)" configure_and_build "$build" windows tarnwell
fi
step "checking the 32-bit tarnwell.exe" bash "$root/scripts/check-windows-program.sh" "$build/tool/tarnwell.exe" i386
step "the 32-bit Windows zip" bash "$root/scripts/check-windows-zip.sh" "$build"
step "the Windows installer" bash "$root/scripts/build-windows-msi.sh" "$build"
step "the Windows installer under Wine" bash "$root/scripts/check-windows-msi.sh" "$build" "$tests_on"

if [ "$tests_on" = x86_64 ]; then
    step "Crypto++ for 64-bit Windows" bash "$root/scripts/build-cryptopp-windows.sh" "$build64/cryptopp" x86_64-w64-mingw32
    step "64-bit Windows build" configure_and_build "$build64" windows64
    step "checking the 64-bit tarnwell.exe" bash "$root/scripts/check-windows-program.sh" "$build64/tool/tarnwell.exe" x86_64
fi

# One server for the whole run, so that the many short runs never race a
# server that is just shutting down; its helper programs start here with
# their output elsewhere, so no test's captured output waits for them.
start_wine() {
    export WINEPREFIX="$tests_build/wineprefix"
    mkdir -p "$WINEPREFIX"
    "$wine_server" -k >/dev/null 2>&1 || true  # a server left over from an earlier run
    "$wine_server" -p </dev/null >"$tests_build/wineserver.log" 2>&1 ||
        { cat "$tests_build/wineserver.log" >&2; echo "the Wine server ($wine_server) did not start" >&2; return 1; }
    # The first start creates the prefix, which takes a while.
    OX_WINE_TIMEOUT=600 "$runner" wineboot -i </dev/null >"$tests_build/wineboot.log" 2>&1 ||
        { cat "$tests_build/wineboot.log" >&2; echo "Wine did not start ($runner wineboot -i)" >&2; return 1; }
}
step "starting Wine" start_wine
step "Windows tests under Wine" ctest --test-dir "$tests_build" --output-on-failure -j"$jobs"
echo "== Windows tests passed on $what" >&2
