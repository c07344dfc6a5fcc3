#!/usr/bin/env bash
# Installs, with apt-get, what building and checking the Debian packages
# needs beyond the build itself: scdoc (the manual page), dpkg-dev
# (dpkg-shlibdeps, dpkg-buildflags), lintian, man-db and file. Needs root
# (or sudo).
set -euo pipefail
exec bash "$(dirname "${BASH_SOURCE[0]}")/install-missing.sh" scdoc dpkg-dev lintian man-db file
