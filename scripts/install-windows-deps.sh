#!/usr/bin/env bash
# Installs, with apt-get, what the 32-bit Windows build and its tests under
# Wine need and this machine lacks: the mingw-w64 cross compiler, Wine with
# its 32-bit half (which needs the i386 architecture), the tools to fetch
# Debian's source package of Crypto++, and GoogleTest's sources. Also makes
# sure apt knows where Debian's source packages are. Needs root (or sudo).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
needs_update=0

if ! dpkg --print-foreign-architectures | grep -qx i386; then
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

packages=(g++-mingw-w64-i686-posix mingw-w64-i686-dev wine wine32 dpkg-dev file googletest make python3)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ] || [ "$needs_update" -eq 1 ]; then
    "${as_root[@]}" apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
