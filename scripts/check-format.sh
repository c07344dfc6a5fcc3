#!/usr/bin/env bash
# Fails, naming the files, when a C++ source of the project is not laid
# out as .clang-format says. Without clang-format it checks nothing and
# exits 77, which ctest counts as skipped and every other caller as failed.
# Usage: check-format.sh [--fix]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
if ! command -v clang-format >/dev/null; then
    echo "check-format: clang-format not found (the test command installs it): nothing checked" >&2
    exit 77
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -- '*.h' '*.cpp')
else
    mapfile -t files < <(find bench shared tests tool -name '*.h' -o -name '*.cpp' | sort)
fi
if [ "${1:-}" = "--fix" ]; then
    clang-format -i -- "${files[@]}"
    exit 0
fi
unformatted=()
for file in "${files[@]}"; do
    if ! clang-format --dry-run --Werror -- "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done
if [ "${#unformatted[@]}" -gt 0 ]; then
    printf 'not formatted: %s\n' "${unformatted[@]}" >&2
    echo "run: bash scripts/check-format.sh --fix" >&2
    exit 1
fi
echo "all ${#files[@]} C++ files formatted"
