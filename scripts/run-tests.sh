#!/usr/bin/env bash
# Checks that no source outside the platform folder reaches the operating
# system, installs what is missing, checks the layout of the C++ files,
# then builds and runs the whole suite three
# times: in the normal build (with the benchmarks built, not run; then a
# clang build checks the lock annotations), with AddressSanitizer and
# UndefinedBehaviorSanitizer, and with ThreadSanitizer; fuzzes the
# preferences reader for a minute; then builds the tool for 32-bit Windows
# and runs the suite under Wine, on the Windows build this host can run (see
# scripts/run-windows-tests.sh).
# Every build is a preset of CMakePresets.json (cmake --list-presets).
# Usage: run-tests.sh [--linux-only]   (--linux-only: skip the Windows part)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The presets are read from the current folder.
cd "$root"
jobs="$(nproc)"
windows=1
for argument in "$@"; do
    case "$argument" in
        --linux-only) windows=0 ;;
        *) echo "usage: run-tests.sh [--linux-only]" >&2; exit 2 ;;
    esac
done
source "$root/scripts/timed.sh"
# Cheap, and a failure here needs no build to be seen.
timed "platform boundary" bash "$root/scripts/check-platform-boundary.sh"
timed "test suite names" bash "$root/scripts/check-test-names.sh"
timed "source lists" bash "$root/scripts/check-source-lists.sh"
timed "installing" bash "$root/scripts/install-deps.sh" all
timed "format" bash "$root/scripts/check-format.sh"

# Each build is a preset of CMakePresets.json, in build-tests-<preset>/.
run_suite() {
    local preset="$1"
    echo "== $preset build" >&2
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j"$jobs"
    ctest --preset "$preset" -j"$jobs"
}

timed "normal build and suite" run_suite normal
# Clang checks the lock rules written at the declarations (OX_GUARDED_BY and
# the rest, see shared/kiln/threads/oxThreadAnnotations.h): a field used
# without its lock fails the build. Built, not run: the suite above ran.
clang_build() {
    echo "== clang build with the thread-safety analysis" >&2
    cmake --preset clang
    cmake --build --preset clang -j"$jobs"
}
timed "clang build (thread-safety analysis)" clang_build
# The sanitizers' options are the presets' own.
timed "sanitizer build and suite" run_suite sanitize
timed "ThreadSanitizer build and suite" run_suite threads

echo "== fuzzing the preferences reader" >&2
timed "fuzzing" bash "$root/scripts/run-fuzz.sh" 60
timed "packaging" bash "$root/scripts/run-package-tests.sh"

if [ "$windows" -eq 1 ]; then
    echo "== Windows build and tests under Wine" >&2
    timed "Windows part" bash "$root/scripts/run-windows-tests.sh"
fi
