#!/usr/bin/env bash
# Builds Crypto++ for Windows from Debian's own source package of it (the
# one libcrypto++-dev is built from), with the mingw-w64 cross compiler for
# TRIPLE (default i686-w64-mingw32, 32-bit; x86_64-w64-mingw32 for 64-bit),
# into PREFIX/include/cryptopp and PREFIX/lib/libcrypto++.a.
# Does nothing when PREFIX already holds a finished build for TRIPLE.
# Usage: build-cryptopp-windows.sh PREFIX [TRIPLE]
set -euo pipefail
usage="usage: build-cryptopp-windows.sh PREFIX [TRIPLE]"
prefix="${1:?$usage}"
triple="${2:-i686-w64-mingw32}"
case "$triple" in
    i686-w64-mingw32|x86_64-w64-mingw32) ;;
    *) echo "$usage (TRIPLE: i686-w64-mingw32 or x86_64-w64-mingw32)" >&2; exit 2 ;;
esac
stamp="$prefix/.complete"
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$triple" ] && exit 0
rm -f "$stamp"

mkdir -p "$prefix"
prefix="$(cd "$prefix" && pwd)"
sources="$prefix/source"
rm -rf "$sources" "$prefix/include" "$prefix/lib"
mkdir -p "$sources"

echo "Fetching Debian's source package of Crypto++ into $sources" >&2
(cd "$sources" && apt-get source -q libcrypto++-dev)
tree="$(find "$sources" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
[ -n "$tree" ] && [ -f "$tree/GNUmakefile" ] || { echo "no Crypto++ source tree in $sources" >&2; exit 1; }

echo "Building Crypto++ for $triple" >&2
make -C "$tree" -j"$(nproc)" static \
    CXX="$triple-g++-posix" AR="$triple-ar" RANLIB="$triple-ranlib" \
    CXXFLAGS="-DNDEBUG -O2"

mkdir -p "$prefix/include/cryptopp" "$prefix/lib"
cp "$tree"/*.h "$prefix/include/cryptopp/"
cp "$tree/libcrypto++.a" "$prefix/lib/"
echo "$triple" >"$stamp"
