#!/usr/bin/env bash
# Builds the Debian packages (tarnwell, kiln-dev) and checks them as an
# administrator and a developer would meet them: lintian finds no error or
# warning; tarnwell installs with dpkg, runs from the PATH, its manual page
# renders without warnings, and it removes cleanly; a program of someone
# else's builds and runs against the dev component installed in a
# temporary prefix, each of its headers compiling on its own. Needs root
# (dpkg -i).
# Usage: run-package-tests.sh [BUILD_DIR]   (default: build-deb)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-deb}"

scratch="$(mktemp -d)"
installed=0
cleanup() {
    [ "$installed" -eq 0 ] || dpkg -r tarnwell >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "package test failed: $*" >&2; exit 1; }

echo "== building the Debian packages" >&2
rm -rf "$build/packages"
# With Debian's hardening flags, and no warning let through.
OX_WARNINGS_AS_ERRORS=ON bash "$root/scripts/build-packages.sh" "$build"
tool_deb="$(echo "$build"/packages/tarnwell_*.deb)"
dev_deb="$(echo "$build"/packages/kiln-dev_*.deb)"
[ -f "$tool_deb" ] && [ -f "$dev_deb" ] || fail "packages missing in $build/packages"
ls -l "$tool_deb" "$dev_deb" >&2

echo "== lintian" >&2
# Every tag shown (information and pedantic ones too); errors and warnings fail.
report="$(lintian --allow-root --display-info --pedantic --fail-on error,warning "$tool_deb" "$dev_deb" 2>&1)" ||
    fail "lintian reports errors or warnings: $report"
echo "lintian: ${report:-no tags}" >&2

echo "== installing tarnwell" >&2
dpkg -i "$tool_deb"
installed=1
[ "$(command -v tarnwell)" = /usr/sbin/tarnwell ] || fail "tarnwell is not /usr/sbin/tarnwell on the PATH"
case "$(file -bL /usr/sbin/tarnwell)" in
    *"dynamically linked"*", stripped"*) ;;
    *) fail "/usr/sbin/tarnwell is not a stripped, dynamically linked program: $(file -bL /usr/sbin/tarnwell)" ;;
esac
version="$(cd "$scratch" && tarnwell -V)" || fail "tarnwell -V ended with exit code $?"
[[ "$version" == "Velqor Tarnwell Utility, version "* ]] || fail "tarnwell -V printed: $version"
echo "$version" >&2
(cd "$scratch" && printf '2\nDBHOST\\SQLEXPRESS\ntarnwell\nsecret\n' | tarnwell >/dev/null) ||
    fail "the piped dialogue ended with exit code $?"
grep -q '<DatabasePassword value="F84EF1270BEA6F836C" />' "$scratch/preferences.cfg" ||
    fail "the piped dialogue left: $(cat "$scratch/preferences.cfg")"

page="$(man -w tarnwell)"
[ "$page" = /usr/share/man/man8/tarnwell.8.gz ] || fail "man finds the page at '$page'"
warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"

dpkg -r tarnwell
installed=0
[ ! -e /usr/sbin/tarnwell ] && [ ! -e "$page" ] || fail "files left after dpkg -r"

echo "== a program built against the installed dev component" >&2
cmake --install "$build" --component dev --prefix "$scratch/prefix" >/dev/null
# Each installed header compiles on its own, with nothing but the installed
# headers to find: none needs a header that stayed behind in the tree.
for header in "$scratch/prefix/include/kiln"/*.h; do
    echo "#include \"$(basename "$header")\"" |
        g++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I"$scratch/prefix/include/kiln" -x c++ - ||
        fail "the installed $(basename "$header") does not compile on its own"
done
cmake -S "$root/tests/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
    -DOX_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$scratch/consumer"
mkdir "$scratch/run"
(cd "$scratch/run" && "$scratch/consumer/kiln_consumer")
echo "== packages checked" >&2
