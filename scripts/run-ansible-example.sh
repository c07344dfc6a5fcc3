#!/usr/bin/env bash
# Runs the playbook examples/tarnwell-database.yml with Debian's
# ansible-core against this machine (inventory "localhost,", connection
# local, no facts gathered: nothing reaches any network) on a file in a
# temporary directory, with the tool given, and checks what a fleet sees:
# the first run reports changed, the second ok and leaves the file's
# identity (inode, size, times) untouched, a third with another server
# changed, a fourth for SQLite changed.
# Usage: run-ansible-example.sh TARNWELL_PROGRAM
# Exit 77 (a skip for ctest) only where ansible-playbook is not installed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="$(realpath "${1:?usage: run-ansible-example.sh TARNWELL_PROGRAM}")"
if ! command -v ansible-playbook >/dev/null; then
    echo "SKIP: ansible-playbook is not installed (Debian package ansible-core; scripts/install-deps.sh installs it)" >&2
    exit 77
fi

work="$(mktemp -d /tmp/tarnwell-ansible.XXXXXX)"
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
# Ansible's own files in the temporary directory, no configuration file or
# collection of this host's, a locale Ansible accepts, and nothing that
# would wait for a person.
export HOME="$work/home" ANSIBLE_HOME="$work/ansible" ANSIBLE_CONFIG="$work/ansible.cfg"
export ANSIBLE_LOCAL_TEMP="$work/ansible-local" ANSIBLE_REMOTE_TEMP="$work/ansible-remote"
export ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0 ANSIBLE_HOST_KEY_CHECKING=0
export ANSIBLE_STDOUT_CALLBACK=default ANSIBLE_LOAD_CALLBACK_PLUGINS=0 ANSIBLE_COLLECTIONS_PATH="$work/collections"
export LC_ALL=C.UTF-8 LANG=C.UTF-8
mkdir -p "$HOME" "$ANSIBLE_HOME"
: >"$ANSIBLE_CONFIG"
file="$work/srv/preferences.cfg"
mkdir -p "$(dirname "$file")"

# Where this user may make a network namespace (root on most machines),
# the playbook runs in one with no network at all, to prove it needs none.
isolated=()
if unshare --net true 2>/dev/null; then
    isolated=(unshare --net)
    echo "The playbook runs without any network (unshare --net)." >&2
fi

fail() { echo "FAILED: $*" >&2; exit 1; }
identity() { stat -c '%i %s %Y.%y %Z.%z' "$1"; }

# play NAME PROVIDER SERVER: runs the playbook; prints its recap counts
# ("ok=.. changed=.. failed=..") for localhost.
play() {
    local name="$1" provider="$2" server="$3" vars="$work/vars-$1.json"
    python3 - "$vars" "$program" "$file" "$provider" "$server" <<'PY'
import json, sys
path, program, file, provider, server = sys.argv[1:]
json.dump({"tarnwell": program, "preferences_file": file, "db_provider": provider,
           "db_server": server, "db_user": "tarnwell", "db_password": "secret",
           "ansible_python_interpreter": sys.executable}, open(path, "w"))
PY
    local log="$work/play-$name.log"
    if ! "${isolated[@]}" ansible-playbook -i localhost, -c local -e "@$vars" "$root/examples/tarnwell-database.yml" >"$log" 2>&1; then
        cat "$log" >&2
        fail "run $name: ansible-playbook failed"
    fi
    local recap
    recap="$(grep -E '^localhost +: ok=' "$log")" || { cat "$log" >&2; fail "run $name: no recap line"; }
    echo "run $name: $recap" >&2
    echo "$recap" | grep -oE '(ok|changed|failed)=[0-9]+' | tr '\n' ' '
}

expect() {
    local name="$1" got="$2" want="$3"
    [ "$got" = "$want" ] || fail "run $name reported '$got', expected '$want'"
}

expect first "$(play first mssql 'DBHOST\SQLEXPRESS')" "ok=1 changed=1 failed=0 "
grep -qxF $'<DatabaseServer value="DBHOST&#x5C;SQLEXPRESS" />\r' "$file" || fail "first run: server not written"
grep -qxF $'<DatabasePassword value="F84EF1270BEA6F836C" />\r' "$file" || fail "first run: password not written"
before="$(identity "$file")"
sleep 1.1  # a rewrite would show in the times even on a coarse clock

expect second "$(play second mssql 'DBHOST\SQLEXPRESS')" "ok=1 changed=0 failed=0 "
[ "$(identity "$file")" = "$before" ] || fail "second run: the file was rewritten ($before -> $(identity "$file"))"

expect third "$(play third mssql 'OTHERHOST')" "ok=1 changed=1 failed=0 "
grep -qxF $'<DatabaseServer value="OTHERHOST" />\r' "$file" || fail "third run: server not changed"

expect fourth "$(play fourth sqlite '')" "ok=1 changed=1 failed=0 "
[ "$(cat "$file")" = $'<Database value="SQLite" />\r' ] || fail "fourth run: not SQLite alone"
echo "The Ansible example reported changed, ok, changed, changed, as it should." >&2
