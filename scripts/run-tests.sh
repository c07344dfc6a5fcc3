#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole suite twice:
# in the normal build and with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"
bash "$root/scripts/install-deps.sh"

run_suite() {
    local name="$1"; shift
    local dir="$root/build-tests-$name"
    echo "== $name build" >&2
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$dir" -j"$jobs"
    ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

run_suite normal
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite sanitize -DOX_SANITIZE=ON
