#!/usr/bin/env bash
# Builds the Debian packages tarnwell and kiln-dev into BUILD_DIR/packages:
# linked dynamically against Debian's libraries, with Debian's hardening
# flags (dpkg-buildflags), as Debian builds its own packages.
# The build is the preset "deb", in the folder given, with the flags on top.
# Installs what the build lacks first. OX_WARNINGS_AS_ERRORS=ON in the
# environment makes any compiler warning fail the build (the package test
# sets it; a packager's newer compiler is not stopped by default).
# Usage: build-packages.sh [BUILD_DIR]   (default: build-deb)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-deb}"
bash "$root/scripts/install-deps.sh" build
bash "$root/scripts/install-package-deps.sh"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" --preset deb -B "$build" -DOX_WARNINGS_AS_ERRORS="${OX_WARNINGS_AS_ERRORS:-OFF}" \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)
