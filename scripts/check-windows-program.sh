#!/usr/bin/env bash
# Checks that PROGRAM is a 32-bit Windows console program that needs no DLL
# beyond those every Windows has.
# Usage: check-windows-program.sh PROGRAM
set -euo pipefail
program="${1:?usage: check-windows-program.sh PROGRAM}"

kind="$(file -b "$program")"
case "$kind" in
    "PE32 executable (console) Intel 80386"*) ;;
    *) echo "$program is not a PE32 console program for i386: $kind" >&2; exit 1 ;;
esac

system_dlls='^(kernel32|user32|advapi32|ole32|ws2_32|msvcrt|gdi32|shell32)\.dll$'
foreign="$(i686-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p' |
           tr 'A-Z' 'a-z' | grep -Ev "$system_dlls" || true)"
if [ -n "$foreign" ]; then
    echo "$program needs DLLs that a bare Windows lacks: $foreign" >&2
    exit 1
fi
echo "$program: $kind, system DLLs only" >&2
