#!/usr/bin/env bash
# Checks that PROGRAM is a Windows console program for ARCH (i386, the
# default: PE32; or x86_64: PE32+) that needs no DLL beyond those every
# Windows has.
# Usage: check-windows-program.sh PROGRAM [i386|x86_64]
set -euo pipefail
usage="usage: check-windows-program.sh PROGRAM [i386|x86_64]"
program="${1:?$usage}"
case "${2:-i386}" in
    i386) expected="PE32 executable (console) Intel 80386"; triple=i686-w64-mingw32 ;;
    x86_64) expected="PE32+ executable (console) x86-64"; triple=x86_64-w64-mingw32 ;;
    *) echo "$usage" >&2; exit 2 ;;
esac

kind="$(file -b "$program")"
case "$kind" in
    "$expected"*) ;;
    *) echo "$program is not a ${expected%% executable*} console program for ${2:-i386}: $kind" >&2; exit 1 ;;
esac

system_dlls='^(kernel32|user32|advapi32|ole32|ws2_32|msvcrt|gdi32|shell32)\.dll$'
foreign="$("$triple-objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' |
           tr 'A-Z' 'a-z' | grep -Ev "$system_dlls" || true)"
if [ -n "$foreign" ]; then
    echo "$program needs DLLs that a bare Windows lacks: $foreign" >&2
    exit 1
fi
echo "$program: $kind, system DLLs only" >&2
