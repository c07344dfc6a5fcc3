#!/usr/bin/env bash
# Builds the Windows installer from the zip that check-windows-zip.sh made
# in BUILD_DIR/packages, so that both hold the same stripped files:
# BUILD_DIR/packages/tarnwell-<version>-win32.msi and its .sha256. wixl
# builds it from packaging/tarnwell.wxs for the Intel platform; msibuild
# then adds what wixl does not know: the Environment table (the folder
# appended to the system PATH, removed again on uninstall) with its two
# actions, and a major upgrade that also replaces the same version rebuilt.
# VERSION and OUTPUT build another version of the same files elsewhere (the
# upgrade test installs an older one first).
# Usage: build-windows-msi.sh BUILD_DIR [VERSION OUTPUT]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage="usage: build-windows-msi.sh BUILD_DIR [VERSION OUTPUT]"
build="$(cd "${1:?$usage}" && pwd)"
fail() { echo "Windows installer: $*" >&2; exit 1; }

zip="$(echo "$build"/packages/tarnwell-*-win32.zip)"
[ -f "$zip" ] || fail "no zip in $build/packages (check-windows-zip.sh makes it)"
folder="$(basename "$zip" .zip)"
project_version="${folder#tarnwell-}"
project_version="${project_version%-win32}"
version="${2:-$project_version}"
output="$(realpath -m "${3:-$build/packages/tarnwell-$version-win32.msi}")"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
unzip -q "$zip" -d "$scratch"
rm -f "$output" "$output.sha256"
mkdir -p "$(dirname "$output")"
# wixl takes the files' sources relative to where it runs.
(cd "$scratch/$folder" && wixl --arch x86 -D Version="$version" -D SourceDir=. -o "$output" \
    "$root/packaging/tarnwell.wxs")

# Name: = set at install, - removed at uninstall, * the system's variable;
# [~]; in front appends to what is there.
{
    printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n'
    printf 'SystemPath\t=-*PATH\t[~];[INSTALLDIR]\tTool\n'
} >"$scratch/Environment.idt"
# wixl's upgrade row stops below this version (VersionMax exclusive);
# 513 adds VersionMaxInclusive to MigrateFeatures, so that a rebuild of
# the same version, which has a new ProductCode, replaces it too.
msiinfo export "$output" Upgrade |
    awk -F'\t' 'BEGIN { OFS = "\t" } NR > 3 && $7 ~ /^WIX_UPGRADE_DETECTED\r?$/ { $5 = 513 } { print }' \
        >"$scratch/Upgrade.idt"
# msibuild takes the tables' files relative to where it runs.
(cd "$scratch" && msibuild "$output" -i Environment.idt -i Upgrade.idt \
    -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteEnvironmentStrings', 5200)")
(cd "$(dirname "$output")" && sha256sum "$(basename "$output")" >"$(basename "$output").sha256")
echo "== $(basename "$output"): $(stat -c %s "$output") bytes" >&2
