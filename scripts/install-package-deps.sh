#!/usr/bin/env bash
# Installs, with apt-get, what building and checking the Debian packages
# needs beyond the build itself: scdoc (the manual page), dpkg-dev
# (dpkg-shlibdeps, dpkg-buildflags), lintian, man-db and file. Needs root
# (or sudo).
set -euo pipefail

packages=(scdoc dpkg-dev lintian man-db file)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
