#!/usr/bin/env bash
# Line and branch coverage of the write path: a gcc build with --coverage
# and no optimisation (so that branches are the source's), with the
# dynamically linked tool the fault-injection test preloads into. Runs the
# unit suite and the end-to-end tests and prints the coverage of the files
# below; then runs the fault-injection harness and prints it again.
# Branches that only an exception takes, and those the compiler proves
# unreachable, are left out. A run that ends by a signal (the harness's
# kills) writes no counts, nor does one under a file size limit (an
# end-to-end test): libgcov's complaint goes to <build-dir>/gcov-errors.log,
# not into what the test compares.
# Exits 1 when a test failed, after printing both.
# The build is the preset "coverage", in the folder given.
# Usage: run-coverage.sh [build-dir]   (default: build-coverage/)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-coverage}")"
cd "$root"

# Measured: the store, and every POSIX platform module (a new one is taken
# in by the glob) except those of today's that have nothing to do with
# files.
measured=(shared/kiln/util/oxPreferences.cpp shared/kiln/platform/posix/oxPosix*.cpp)
not_file_modules=(Console ConsoleControl CrashOutput Events ExceptionFilter Handles Messages Paths PlatformExtras
    Runtime ThreadHandles Threads)

source "$root/scripts/timed.sh"
timed "installing" bash -c "bash '$root/scripts/install-deps.sh' all && bash '$root/scripts/install-missing.sh' gcovr"

filters=()
for file in "${measured[@]}"; do
    module="$(basename "$file" .cpp)"
    if [[ " ${not_file_modules[*]} " == *" ${module#oxPosix} "* ]]; then
        continue
    fi
    filters+=(--filter "$(printf '%s' "$root/$file" | sed 's/[.]/[.]/g')\$")
done

configure_and_build() {
    cmake -S "$root" --preset coverage -B "$build" >/dev/null
    cmake --build "$build" -j2
}
timed "coverage build" configure_and_build
# Counts from zero, in files that the runs as another user (end-to-end
# tests) may write too.
find "$build" -name '*.gcno' -not -path '*/CompilerIdCXX/*' | while IFS= read -r notes; do
    : >"${notes%.gcno}.gcda"
    chmod 666 "${notes%.gcno}.gcda"
done

report() {
    echo "== coverage $1" >&2
    local options=(--root "$root" --object-directory "$build" "${filters[@]}"
        --exclude-directories '.*/CompilerIdCXX$' --exclude-throw-branches --exclude-unreachable-branches)
    gcovr "${options[@]}" --txt
    gcovr "${options[@]}" --txt --branches
}

# A failed test is noted, and the coverage still printed.
failed=0
noting_failure() {
    "$@" || failed=1
}
export GCOV_ERROR_FILE="$build/gcov-errors.log"
# A run under a file-size limit would write its counts cut short and spoil
# every later merge of them: the tests that set one skip it here.
export OX_COVERAGE_BUILD=1
: >"$GCOV_ERROR_FILE"
chmod 666 "$GCOV_ERROR_FILE"
timed "unit suite and end-to-end tests" noting_failure ctest --test-dir "$build" -j2 --output-on-failure \
    -E '^tarnwell_fault_injection$'
report "after the unit suite and the end-to-end tests"
# Straight, not through ctest: instrumented, it outlasts the test's time
# limit.
timed "fault injection" noting_failure python3 "$root/tests/faults/run_faults.py" \
    --tool "$build/tool/tarnwell_dynamic" --preload "$build/tests/faults/libtarnwell_faults.so"
report "after those and the fault injection"
exit "$failed"
