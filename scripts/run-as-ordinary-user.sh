#!/usr/bin/env bash
# Runs a test program as an ordinary user (nobody), for the tests that
# permissions would not bind when run as root, which is how CI runs. The
# program is copied into a folder of its own first, so that it runs
# wherever the checkout lies (a home folder nobody may not enter).
# Without root there is nothing to do: the suite already ran as this user.
# Usage: run-as-ordinary-user.sh PROGRAM [ARGUMENT...]   (exit 77: skipped)
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    echo "not root: the suite ran as an ordinary user already" >&2
    exit 77
fi
program="$1"
shift
place="$(mktemp -d)"
trap 'rm -rf "$place"' EXIT
chmod 755 "$place"
# Some tests write in the current folder.
chown nobody "$place"
cp "$program" "$place/"
cd "$place"
exec runuser -u nobody -- "$place/$(basename "$program")" "$@"
