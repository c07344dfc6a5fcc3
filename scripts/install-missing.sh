#!/usr/bin/env bash
# Installs, with apt-get, those of the Debian packages named as arguments
# that this machine lacks. Needs root (or sudo). Waits while another apt
# holds apt's locks (see apt-get-waiting.sh).
# Usage: install-missing.sh PACKAGE...
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/apt-get-waiting.sh"

missing=()
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
apt_get update -q
apt_get install -y -q --no-install-recommends "${missing[@]}"
