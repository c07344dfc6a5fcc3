# Sourced by the test scripts: `timed NAME COMMAND...` runs COMMAND, then
# says how long it took, so that CI's time can be read off part by part.
timed() {
    local name="$1"; shift
    local started=$SECONDS status=0
    # Its status is handed on, so that a caller may also test it (an if
    # turns off errexit inside).
    "$@" || status=$?
    echo "== $name took $((SECONDS - started)) s" >&2
    return "$status"
}

# `step NAME COMMAND...` is timed, and also says NAME before COMMAND runs
# and keeps it in current_step, so that a script whose step failed can say
# which (see report_failed_step).
current_step=""
step() {
    echo "== $1" >&2
    current_step="$1"
    timed "$@"
    current_step=""
}

# For an EXIT trap: after a failure, names the step under way.
report_failed_step() {
    local status="$1"
    if [ "$status" -ne 0 ]; then
        echo "== FAILED${current_step:+: $current_step} (exit code $status)" >&2
    fi
}
