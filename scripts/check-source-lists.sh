#!/usr/bin/env bash
# The CMake files name every source instead of globbing, so a file nobody
# added to a list would silently go unbuilt (a test that never runs, a
# header never installed). This names each source and framework header
# that no CMakeLists.txt mentions and exits 1 when there is one.
# Usage: check-source-lists.sh [ROOT]   (default: this checkout)
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"

files() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files --cached --others --exclude-standard -- "$@"
    else
        find "$@" -type f 2>/dev/null
    fi
}

lists="$(find shared tool tests bench -name CMakeLists.txt 2>/dev/null)"
missing=0
while IFS= read -r file; do
    [ -f "$file" ] || continue
    name="$(basename "$file")"
    # A probe is listed by its program's name.
    case "$file" in tests/probes/*) name="${name%.cpp}" ;; esac
    # shellcheck disable=SC2086
    if ! grep -qwF -- "$name" $lists; then
        echo "$file: in no CMakeLists.txt" >&2
        missing=$((missing + 1))
    fi
done < <({ files shared tool tests bench | grep -E '\.cpp$'; files shared/kiln | grep -E '\.h$'; } |
    grep -v '^tests/consumer/')

if [ "$missing" -ne 0 ]; then
    echo "check-source-lists: $missing file(s) missing from the CMake lists" >&2
    exit 1
fi
echo "check-source-lists: every source and framework header is in a CMake list" >&2
