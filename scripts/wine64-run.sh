#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine as wine-run.sh does, with Wine's
# 64-bit loader and server called directly: the `wine` command picks the
# 32-bit loader whenever wine32 is installed, even on a host that cannot
# start it.
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
exec "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" "$@"
