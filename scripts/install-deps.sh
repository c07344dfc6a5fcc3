#!/usr/bin/env bash
# Installs, with apt-get, what this machine lacks of what the build needs
# and, unless told "build", of what the tests need too: the tool alone
# builds without GoogleTest, Google Benchmark, clang or Ansible, so
# scripts/run-tool.sh installs none of them. Needs root (or sudo).
# Usage: install-deps.sh [build|all]   (default: all)
set -euo pipefail
scripts="$(dirname "${BASH_SOURCE[0]}")"

# The tool and the framework: compiler, CMake, Crypto++, ACL and xattr.
build=(cmake make g++ pkg-config libcrypto++-dev libacl1-dev libattr1-dev)
# The suite, the benchmarks, the clang and fuzz builds, the source checks
# (clang-format) and the end-to-end and Ansible tests.
tests=(libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev python3 openssl clang libclang-rt-dev clang-format
    ansible-core acl python3-venv python3-voluptuous pycodestyle pylint yamllint)

case "${1:-all}" in
    build) exec bash "$scripts/install-missing.sh" "${build[@]}" ;;
    all) exec bash "$scripts/install-missing.sh" "${build[@]}" "${tests[@]}" ;;
    *) echo "usage: install-deps.sh [build|all]" >&2; exit 2 ;;
esac
