#!/usr/bin/env bash
# Proves that scripts/install-missing.sh waits for apt's locks: with a fake
# apt-get first on the PATH (the real apt is never called), update is tried
# again while the package lists' lock is held, given up once the time is
# up, not retried after another error, and install is told to wait for
# dpkg's lock. Root only (exit 77 otherwise): as another user the script
# goes through sudo, whose PATH would reach the real apt-get.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
if [ "$(id -u)" -ne 0 ]; then
    echo "not root: install-missing.sh would call sudo and the real apt-get" >&2
    exit 77
fi
fake="$(mktemp -d)"
trap 'rm -rf "$fake"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The fake: update fails as a held lock makes it fail, FAKE_LOCKED_UPDATES
# times (or with FAKE_UPDATE_ERROR instead); every call is logged.
cat >"$fake/apt-get" <<'FAKE'
#!/usr/bin/env bash
set -euo pipefail
echo "$*" >>"$FAKE_LOG"
case " $* " in
    *" update "*)
        count=$(($(cat "$FAKE_COUNT" 2>/dev/null || echo 0) + 1))
        echo "$count" >"$FAKE_COUNT"
        if [ -n "${FAKE_UPDATE_ERROR:-}" ]; then
            echo "E: $FAKE_UPDATE_ERROR" >&2
            exit 100
        fi
        if [ "$count" -le "$FAKE_LOCKED_UPDATES" ]; then
            echo "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 1 (apt-get)" >&2
            echo "E: Unable to lock directory /var/lib/apt/lists/" >&2
            exit 100
        fi
        ;;
esac
FAKE
chmod +x "$fake/apt-get"
package=tarnwell-test-package-that-is-not-installed

# run_install NAME EXPECTED_STATUS [VARIABLE=VALUE...]
run_install() {
    local name="$1" expected="$2"
    shift 2
    rm -f "$fake/log" "$fake/count"
    local status=0
    env PATH="$fake:$PATH" FAKE_LOG="$fake/log" FAKE_COUNT="$fake/count" FAKE_LOCKED_UPDATES=0 "$@" \
        bash "$root/scripts/install-missing.sh" "$package" >"$fake/output" 2>&1 || status=$?
    if [ "$status" -ne "$expected" ]; then
        fail "$name: exit code $status, not $expected"
        cat "$fake/output" >&2
    fi
}
updates() { grep -c -w update "$fake/log" || true; }

run_install "lists lock held twice" 0 FAKE_LOCKED_UPDATES=2 OX_APT_LOCK_TIMEOUT=60
[ "$(updates)" -eq 3 ] || fail "lists lock held twice: $(updates) updates, not 3"
grep -qx -- "-o DPkg::Lock::Timeout=60 install -y -q --no-install-recommends $package" "$fake/log" ||
    fail "install not told to wait for dpkg's lock: $(cat "$fake/log")"

started=$SECONDS
run_install "lists lock never released" 100 FAKE_LOCKED_UPDATES=1000 OX_APT_LOCK_TIMEOUT=3
[ $((SECONDS - started)) -le 20 ] || fail "lists lock never released: gave up after $((SECONDS - started)) s"
[ "$(updates)" -ge 2 ] || fail "lists lock never released: $(updates) update(s), not tried again"
! grep -qw install "$fake/log" || fail "lists lock never released: install ran after a failed update"

run_install "another error" 100 "FAKE_UPDATE_ERROR=Failed to fetch http://deb.debian.org" OX_APT_LOCK_TIMEOUT=60
[ "$(updates)" -eq 1 ] || fail "another error: $(updates) updates, not 1"

[ "$failures" -eq 0 ] || exit 1
echo "install-missing.sh waits for apt's locks, and only for them" >&2
