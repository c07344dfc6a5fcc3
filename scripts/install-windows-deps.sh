#!/usr/bin/env bash
# Installs, with apt-get, what the Windows builds and their tests under Wine
# need and this machine lacks: the mingw-w64 cross compiler for 32-bit
# Windows (the product), the tools to fetch Debian's source package of
# Crypto++, GoogleTest's sources, and wixl and msitools to build and read
# the MSI; then, for the build the tests run on,
# either Wine with its 32-bit half (i386: wine32, which needs the i386
# architecture) or the 64-bit cross compiler and wine64 (x86_64, for hosts
# that do not start i386 programs: wine32 is of no use there, and leaving it
# out saves installing a second set of libraries). Also makes sure apt knows
# where Debian's source packages are. Waits while another apt holds apt's
# locks (see apt-get-waiting.sh). Needs root (or sudo).
# Usage: install-windows-deps.sh i386|x86_64
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tests_on="${1:?usage: install-windows-deps.sh i386|x86_64}"
source "$root/scripts/apt-get-waiting.sh"

packages=(g++-mingw-w64-i686-posix mingw-w64-i686-dev dpkg-dev file googletest make python3
    wixl msitools)
case "$tests_on" in
    i386) packages+=(wine wine32) ;;
    x86_64) packages+=(wine64 g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev) ;;
    *) echo "usage: install-windows-deps.sh i386|x86_64" >&2; exit 2 ;;
esac

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
needs_update=0

if [ "$tests_on" = i386 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture (for wine32)" >&2
    "${as_root[@]}" dpkg --add-architecture i386
    needs_update=1
fi

# Source entries: the machine's own Debian entries, as deb-src.
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then
    sources_file="/etc/apt/sources.list.d/tarnwell-deb-src.sources"
    echo "Adding source entries for the configured Debian archives: $sources_file" >&2
    python3 "$root/scripts/derive-deb-src.py" | "${as_root[@]}" tee "$sources_file" >/dev/null
    needs_update=1
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ] || [ "$needs_update" -eq 1 ]; then
    apt_get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    apt_get install -y -q --no-install-recommends "${missing[@]}"
fi
