#!/usr/bin/env bash
# Keeps one naming scheme for the GoogleTest suites: the module's name and
# "Test" (oxPreferencesTest), a qualifier between where one file holds
# several suites (oxThreadTableTest), "DeathTest" for death tests. Prints
# file:line for each suite named otherwise and exits 1 when there is one.
# Usage: check-test-names.sh [ROOT]   (default: this checkout)
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"

offences=0
while IFS= read -r hit; do
    echo "$hit" >&2
    offences=$((offences + 1))
done < <(grep -rnE --include='*_test.cpp' '^[[:space:]]*(TEST|TEST_F|TEST_P|TYPED_TEST)\(' tests |
    grep -vE '\((ox[A-Z][A-Za-z0-9]*Test)[[:space:]]*,' || true)

if [ "$offences" -ne 0 ]; then
    echo "check-test-names: $offences test(s) in a suite not named ox<Module>[<Qualifier>]Test" >&2
    exit 1
fi
echo "check-test-names: every suite is named ox<Module>[<Qualifier>]Test" >&2
