#!/usr/bin/env bash
# Builds the Windows zip in BUILD_DIR, a configured 32-bit Windows build
# (cmake/mingw-i686.cmake), then lists and checks it: its SHA-256 file
# matches; it holds exactly tarnwell-<version>-win32/ with tarnwell.exe
# (a stripped PE32 console program needing only system DLLs), README.txt
# and tarnwell.txt (the manual page), both texts with CR LF line ends.
# Usage: check-windows-zip.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:?usage: check-windows-zip.sh BUILD_DIR}" && pwd)"
fail() { echo "Windows zip: $*" >&2; exit 1; }

# The manual page needs scdoc and man; configure again so that a build
# folder made before they were installed finds them.
bash "$root/scripts/install-package-deps.sh"
cmake "$build" >/dev/null
cmake --build "$build" --target tarnwell documents -j"$(nproc)"
rm -rf "$build/packages"
(cd "$build" && cpack -G ZIP)
zip="$(echo "$build"/packages/tarnwell-*-win32.zip)"
[ -f "$zip" ] || fail "no zip in $build/packages"
unzip -l "$zip" >&2
(cd "$(dirname "$zip")" && sha256sum -c "$(basename "$zip").sha256" >&2) || fail "checksum file does not match"

folder="$(basename "$zip" .zip)"
contents="$(zipinfo -1 "$zip" | sort | tr '\n' ' ')"
expected="$folder/README.txt $folder/tarnwell.exe $folder/tarnwell.txt "
[ "$contents" = "$expected" ] || fail "holds '$contents', not '$expected'"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
unzip -q "$zip" -d "$scratch"
bash "$root/scripts/check-windows-program.sh" "$scratch/$folder/tarnwell.exe"
sections="$(i686-w64-mingw32-objdump -h "$scratch/$folder/tarnwell.exe")"
! grep -q '\.debug' <<<"$sections" || fail "tarnwell.exe is not stripped"

for text in README.txt tarnwell.txt; do
    file="$scratch/$folder/$text"
    [ "$(grep -c $'\r$' "$file")" -eq "$(wc -l <"$file")" ] || fail "$text has lines without CR LF"
done
head -n 1 "$scratch/$folder/README.txt" | grep -q '^# Velqor Tarnwell Utility' || fail "README.txt is not the README"
# Plain text: no roff left, no overstrike, nothing outside ASCII.
! LC_ALL=C grep -qP '[^\x09\x0d\x20-\x7e]|^\.' "$scratch/$folder/tarnwell.txt" || fail "tarnwell.txt is not plain text"
for heading in NAME SYNOPSIS OPTIONS 'EXIT STATUS' 'PASSWORD FORMAT'; do
    grep -q "^$heading"$'\r$' "$scratch/$folder/tarnwell.txt" || fail "tarnwell.txt lacks $heading"
done
echo "== $(basename "$zip"): $(stat -c %s "$zip") bytes, checked" >&2
