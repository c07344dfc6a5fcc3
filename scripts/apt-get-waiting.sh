# shellcheck shell=bash
# Sourced by the install scripts: `apt_get ARGUMENT...` runs apt-get (through
# sudo when not root, non-interactive), and waits up to OX_APT_LOCK_TIMEOUT
# seconds (default 600) while another apt or dpkg holds apt's locks, instead
# of failing at once: on a shared machine several builds install at a time.
# apt waits for dpkg's locks itself (DPkg::Lock::Timeout), but not for the
# lock on the package lists that `update` takes (apt 2.6): that is tried
# again every 2 seconds until the same time is up. Package lists that fail
# to download (a mirror being synced) are fetched again up to
# OX_APT_INDEX_TRIES times (default 6), 15 seconds apart, and then the
# lists that did come are used.
apt_get() {
    local timeout="${OX_APT_LOCK_TIMEOUT:-600}"
    local as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    # Through env, since sudo drops the caller's environment; C, since the
    # lock's message is matched below.
    local command=("${as_root[@]}" env LC_ALL=C DEBIAN_FRONTEND=noninteractive
        apt-get -o "DPkg::Lock::Timeout=$timeout" "$@")
    local deadline=$((SECONDS + timeout)) errors status index_tries=0
    while true; do
        status=0
        # Standard output as it comes; standard error kept to be read.
        { errors="$("${command[@]}" 2>&1 >&3)" || status=$?; } 3>&1
        [ -z "$errors" ] || printf '%s\n' "$errors" >&2
        [ "$status" -eq 0 ] && return 0
        # A mirror in the middle of its sync serves lists of the wrong size
        # for a minute or two: the lists are fetched again, a few times.
        if grep -q 'Some index files failed to download' <<<"$errors"; then
            if [ "$index_tries" -lt "${OX_APT_INDEX_TRIES:-6}" ]; then
                index_tries=$((index_tries + 1))
                echo "apt-get: some package lists failed to download; trying again in 15 s ($index_tries)" >&2
                sleep 15
                continue
            fi
            # apt keeps the lists it had and every one that did come; an
            # install that needs a missing one fails and says which.
            echo "apt-get: going on with the package lists that could be fetched" >&2
            return 0
        fi
        if [ "$SECONDS" -ge "$deadline" ] ||
            ! grep -q 'Could not get lock /var/lib/apt/lists/lock' <<<"$errors"; then
            return "$status"
        fi
        echo "apt-get: another apt holds the package lists' lock; trying again" >&2
        sleep 2
    done
}
