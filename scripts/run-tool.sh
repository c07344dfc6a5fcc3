#!/usr/bin/env bash
# Installs what the tool's build lacks (not the test suite's tools), builds
# the tool alone (the preset "tool", in build/) and runs it in the current
# directory with the arguments given.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh" build
cmake -S "$root" --preset tool >/dev/null
(cd "$root" && cmake --build --preset tool -j"$(nproc)" >/dev/null)
exec "$root/build/tool/tarnwell" "$@"
