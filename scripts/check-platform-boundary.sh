#!/usr/bin/env bash
# Keeps the operating system behind shared/kiln/platform/: no other source
# includes an OS header or tests a platform macro. Prints file:line for
# each offence and exits 1 when there is one.
# Exempt, as they are built for one platform only: the platform folder
# itself and the tests in folders named posix/ or win32/ (the build picks
# them by platform and they drive the OS directly to set up their cases),
# plus the tests of the platform folder (tests/kiln/platform/), and
# tests/faults/, a Linux-only library that stands in for the C runtime.
# Usage: check-platform-boundary.sh [ROOT]   (default: this checkout)
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root"

# Headers of an operating system or its C runtime, not of standard C++.
os_headers='windows|winsock2?|ws2tcpip|objbase|conio|io|direct|process|share|tlhelp32|dbghelp|psapi|shlobj|shellapi|unistd|pthread|termios|signal|fcntl|dirent|dlfcn|poll|sched|spawn|pwd|grp|syslog|ucontext|execinfo|ftw|libgen|netdb|semaphore|utime|glob|sys/[A-Za-z0-9_/]+|linux/[A-Za-z0-9_/]+|mach/[A-Za-z0-9_/]+|netinet/[A-Za-z0-9_/]+|arpa/[A-Za-z0-9_/]+'
include_pattern="^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"](${os_headers})\\.h[>\"]"
# Macros that tell one operating system or its toolchain from another.
platform_macros='_WIN32|_WIN64|WIN32|_WINDOWS|__WINDOWS__|__CYGWIN__|__MINGW32__|__MINGW64__|_MSC_VER|__linux__|__linux|linux|__unix__|__unix|unix|__APPLE__|__MACH__|__FreeBSD__|__NetBSD__|__OpenBSD__|__sun|_POSIX_VERSION|__ANDROID__'
macro_pattern="^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif)\\b.*\\b(${platform_macros})\\b"

sources() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files --cached --others --exclude-standard -- shared tool bench tests
    else
        find shared tool bench tests -type f 2>/dev/null
    fi |
        grep -E '\.(c|cc|cpp|cxx|h|hh|hpp)$' |
        grep -vE '^shared/kiln/platform/|^tests/kiln/platform/|^tests/faults/|/(posix|win32)/' || true
}

offences=0
while IFS= read -r file; do
    [ -f "$file" ] || continue
    while IFS= read -r hit; do
        echo "$file:$hit" >&2
        offences=$((offences + 1))
    done < <(grep -nE "$include_pattern|$macro_pattern" "$file" || true)
done < <(sources)

if [ "$offences" -ne 0 ]; then
    echo "check-platform-boundary: $offences OS header(s) or platform test(s) outside shared/kiln/platform/" >&2
    exit 1
fi
echo "check-platform-boundary: no OS header or platform macro outside shared/kiln/platform/" >&2
