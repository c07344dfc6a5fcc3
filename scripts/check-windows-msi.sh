#!/usr/bin/env bash
# Checks the Windows installer that build-windows-msi.sh made in
# BUILD_DIR/packages: its tables with msiinfo, then what a distribution
# system does with it, under Wine in a prefix of its own made anew
# (BUILD_DIR/msi-wineprefix): msiexec /i /qn, the files, the system PATH
# and the uninstall entry; INSTALLDIR moving it; an older build replaced by
# this one with one entry left, and the older one refused over it; and
# msiexec /x /qn taking all of it away again. On an i386 host (wine32)
# the installed tarnwell.exe runs (-V); on a 64-bit-only host wine64's
# msiexec installs the 32-bit package the same way, but the 32-bit
# program cannot start there, so it is compared with the zip's instead.
# Usage: check-windows-msi.sh BUILD_DIR i386|x86_64
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage="usage: check-windows-msi.sh BUILD_DIR i386|x86_64"
build="$(cd "${1:?$usage}" && pwd)"
host="${2:?$usage}"
fail() { echo "Windows installer: $*" >&2; exit 1; }

msi="$(echo "$build"/packages/tarnwell-*-win32.msi)"
[ -f "$msi" ] || fail "no installer in $build/packages"
(cd "$(dirname "$msi")" && sha256sum -c "$(basename "$msi").sha256" >&2) || fail "checksum file does not match"
version="$(basename "$msi" -win32.msi)"
version="${version#tarnwell-}"

# The tables, as a distribution system's import reads them.
tables="$(msiinfo tables "$msi")"
for table in Property File Environment Upgrade; do
    grep -qx "$table" <<<"$tables" || fail "no $table table"
done
property() { msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' -v name="$1" '$1 == name { print $2 }'; }
[ "$(property ProductVersion)" = "$version" ] || fail "ProductVersion is '$(property ProductVersion)', not $version"
[ "$(property ProductName)" = "Velqor Tarnwell Utility" ] || fail "ProductName is '$(property ProductName)'"
[ "$(property Manufacturer)" = "Velqor" ] || fail "Manufacturer is '$(property Manufacturer)'"
[ "$(property ALLUSERS)" = 1 ] || fail "not a per-machine package"
upgrade_code="$(property UpgradeCode)"
msiinfo suminfo "$msi" | grep -qx 'Template: Intel;1033' || fail "not a 32-bit (Intel) package"
files="$(msiinfo export "$msi" File | tr -d '\r' | awk -F'\t' 'NR > 3 { print $3 }' | sort | tr '\n' ' ')"
[ "$files" = "README.txt tarnwell.exe tarnwell.txt " ] || fail "holds '$files'"
msiinfo export "$msi" Environment | tr -d '\r' | grep -qP '\t=-\*PATH\t\[~\];\[INSTALLDIR\]\t' ||
    fail "the Environment table does not append INSTALLDIR to the system PATH"
msiinfo export "$msi" Upgrade | tr -d '\r' | grep -qP "^\\Q$upgrade_code\\E\\t\\t\\Q$version\\E\\t\\t513\\t" ||
    fail "no major upgrade of every version up to $version"

case "$host" in
    i386) runner="$root/scripts/wine-run.sh"; server=wineserver ;;
    x86_64) runner="$root/scripts/wine64-run.sh"; server=/usr/lib/wine/wineserver64 ;;
    *) echo "$usage" >&2; exit 2 ;;
esac
export WINEPREFIX="$build/msi-wineprefix"
export WINESERVER="$server"
scratch="$(mktemp -d)"
finish() {
    "$server" -k >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap finish EXIT
"$server" -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
OX_WINE_TIMEOUT=600 "$runner" wineboot -i </dev/null >"$scratch/wineboot.log" 2>&1 ||
    { cat "$scratch/wineboot.log" >&2; fail "Wine did not start"; }
# A 32-bit package goes where 32-bit programs go: Program Files (x86) on
# 64-bit Windows, Program Files on 32-bit Windows.
if [ -d "$WINEPREFIX/drive_c/Program Files (x86)" ]; then
    program_files='Program Files (x86)'
else
    program_files='Program Files'
fi

wine_cmd() { OX_WINE_TIMEOUT=300 "$runner" "$@" </dev/null; }
msiexec() {
    local started=$SECONDS status=0
    wine_cmd msiexec "$@" || status=$?
    echo "msiexec $*: exit $status, $((SECONDS - started)) s" >&2
    return "$status"
}
# The uninstall entries of this UpgradeCode's products: "name|publisher|version"
# a line. A 32-bit package writes them to the registry's 32-bit view.
entries() {
    wine_cmd reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 2>/dev/null |
        tr -d '\r' | awk '
            /^HKEY/ { if (name != "") print name "|" publisher "|" version; name = publisher = version = "" }
            $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
            $1 == "Publisher" { sub(/^ *Publisher +REG_SZ +/, ""); publisher = $0 }
            $1 == "DisplayVersion" { sub(/^ *DisplayVersion +REG_SZ +/, ""); version = $0 }
            END { if (name != "") print name "|" publisher "|" version }' |
        grep '^Velqor Tarnwell Utility|' || true
}
system_path() {
    wine_cmd reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH |
        tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//p'
}
# path_holds WINDOWS_FOLDER: the system PATH names it, with or without a
# trailing backslash.
path_holds() {
    tr ';' '\n' <<<"$(system_path)" | sed 's/\\$//' | grep -qixF "$1"
}
unix_of() { printf '%s/drive_c/%s' "$WINEPREFIX" "$(sed 's/^C:\\//; s/\\/\//g' <<<"$1")"; }

scratch_zip="$(echo "$build"/packages/tarnwell-*-win32.zip)"
unzip -q "$scratch_zip" -d "$scratch/zip"
zip_folder="$scratch/zip/$(basename "$scratch_zip" .zip)"

# check_installed WINDOWS_FOLDER VERSION: the files, PATH and one entry.
check_installed() {
    local folder="$1" expected_version="$2" unix
    unix="$(unix_of "$folder")"
    for file in tarnwell.exe README.txt tarnwell.txt; do
        cmp -s "$unix/$file" "$zip_folder/$file" || fail "$folder\\$file is not the zip's"
    done
    if [ "$host" = i386 ]; then
        wine_cmd "$folder\\tarnwell.exe" -V | tr -d '\r' | grep -q '^Velqor Tarnwell Utility, version ' ||
            fail "the installed tarnwell.exe -V does not run"
    fi
    path_holds "$folder" || fail "the system PATH ($(system_path)) does not hold $folder"
    [ "$(entries)" = "Velqor Tarnwell Utility|Velqor|$expected_version" ] ||
        fail "uninstall entries: '$(entries)', not one of version $expected_version"
}
check_removed() {
    local folder="$1"
    [ ! -e "$(unix_of "$folder")/tarnwell.exe" ] || fail "$folder\\tarnwell.exe is left after /x"
    ! path_holds "$folder" || fail "the system PATH still holds $folder after /x"
    [ -z "$(entries)" ] || fail "an uninstall entry is left after /x: $(entries)"
}

default_folder="C:\\$program_files\\Velqor\\Tarnwell"
echo "== installing $(basename "$msi") silently into $default_folder" >&2
msiexec /i "$msi" /qn || fail "msiexec /i /qn failed"
check_installed "$default_folder" "$version"
msiexec /x "$msi" /qn || fail "msiexec /x /qn failed"
check_removed "$default_folder"

moved='C:\Tools\Tarnwell'
echo "== INSTALLDIR=$moved" >&2
msiexec /i "$msi" /qn "INSTALLDIR=$moved" || fail "msiexec /i /qn INSTALLDIR=... failed"
check_installed "$moved" "$version"
[ ! -e "$(unix_of "$default_folder")" ] || fail "INSTALLDIR given, yet $default_folder was made"
msiexec /x "$msi" /qn || fail "msiexec /x /qn failed"
check_removed "$moved"

older="$scratch/tarnwell-0.9-win32.msi"
bash "$root/scripts/build-windows-msi.sh" "$build" 0.9 "$older"
echo "== an older build, replaced by this one" >&2
msiexec /i "$older" /qn || fail "msiexec /i /qn of the older build failed"
[ "$(entries)" = "Velqor Tarnwell Utility|Velqor|0.9" ] || fail "the older build's entry: '$(entries)'"
msiexec /i "$msi" /qn || fail "msiexec /i /qn over the older build failed"
check_installed "$default_folder" "$version"
echo "== the older build, refused over this one" >&2
# Refused by its launch condition: ERROR_INSTALL_FAILURE (1603), which
# reaches a POSIX shell cut to its low byte (67).
status=0
msiexec /i "$older" /qn || status=$?
[ "$status" -eq $((1603 % 256)) ] || fail "the older build over this one: exit $status, not 1603"
check_installed "$default_folder" "$version"
msiexec /x "$msi" /qn || fail "msiexec /x /qn failed"
check_removed "$default_folder"
echo "== $(basename "$msi"): installed, moved, upgraded, refused as a downgrade and removed under Wine ($host)" >&2
