#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and this
# machine lacks. Needs root (or sudo).
set -euo pipefail
exec bash "$(dirname "${BASH_SOURCE[0]}")/install-missing.sh" \
    cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev python3 libcrypto++-dev openssl \
    libpugixml-dev clang libclang-rt-dev clang-format ansible-core libacl1-dev libattr1-dev acl
