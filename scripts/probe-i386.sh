#!/usr/bin/env bash
# Finds out whether this host starts 32-bit x86 (i386) programs, which
# wine32 needs: some kernels run 64-bit user code only, and then every i386
# program fails with "Exec format error", whatever uname says. Runs a tiny
# i386 program (written into DIR, which must allow running programs) that
# does nothing but exit with code 42.
# Prints one line saying why; exits 0 where i386 programs run, 1 where not.
# OX_TEST_ASSUME_NO_I386=1 makes it answer "no", so that the 64-bit path
# can be tested on a host that has both.
# Usage: probe-i386.sh DIR
set -uo pipefail
dir="${1:?usage: probe-i386.sh DIR}"

if [ "${OX_TEST_ASSUME_NO_I386:-0}" = 1 ]; then
    echo "OX_TEST_ASSUME_NO_I386=1 says so"
    exit 1
fi

mkdir -p "$dir" || exit 1
program="$dir/i386-probe"
# ELF header, one loadable segment, then: mov eax,1; mov ebx,42; int 0x80.
printf '%b' \
    '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' \
    '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00' \
    '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' \
    >"$program" && chmod +x "$program" || exit 1

error="$("$program" 2>&1)"
status=$?
if [ "$status" -eq 42 ]; then
    echo "an i386 program ran"
    exit 0
fi
echo "an i386 program did not run (exit code $status${error:+: ${error##*: }})"
exit 1
