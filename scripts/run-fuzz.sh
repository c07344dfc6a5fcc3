#!/usr/bin/env bash
# Builds the fuzz target of the preferences file reader with clang
# (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer; the preset
# "fuzz", in build-fuzz) and
# runs it for the given number of seconds (default 60), starting from the
# committed seed corpus. Any finding ends the run with a non-zero exit code;
# the input that caused it is kept in build-fuzz/fuzz-findings/.
# Needs the Debian packages clang and libclang-rt-14-dev (or a newer pair).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
dir="$root/build-fuzz"

if ! command -v clang++ >/dev/null; then
    echo "run-fuzz: clang++ not found (install clang and libclang-rt-14-dev)" >&2
    exit 2
fi

cmake -S "$root" --preset fuzz >/dev/null
(cd "$root" && cmake --build --preset fuzz -j2)

# New inputs go to a scratch corpus; the committed seeds stay as they are.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$dir/fuzz-findings"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/tests/fuzz/oxProperties_fuzz" -max_total_time="$seconds" -timeout=10 \
    -dict="$root/tests/fuzz/oxProperties.dict" -artifact_prefix="$dir/fuzz-findings/" \
    "$work" "$root/tests/fuzz/corpus"
