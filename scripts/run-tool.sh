#!/usr/bin/env bash
# Installs what is missing, builds the tool and runs it in the current
# directory with the arguments given.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target tarnwell -j"$(nproc)" >/dev/null
exec "$root/build/tool/tarnwell" "$@"
