#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests: without Wine's own
# diagnostics on standard error, without the offers to install Mono and
# Gecko, without Wine's crash debugger (a crash ends the program, as on a
# Windows without a debugger), and bounded in time (OX_WINE_TIMEOUT
# seconds, default 600), so that a hung program or Wine fails the run
# instead of stalling it. Starts the program with the loader WINELOADER
# names (see wine64-run.sh), else with the `wine` command.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
exec timeout --kill-after=10 "${OX_WINE_TIMEOUT:-600}" "${WINELOADER:-wine}" "$@"
