# Sourced by the test scripts: `timed NAME COMMAND...` runs COMMAND, then
# says how long it took, so that CI's time can be read off part by part.
timed() {
    local name="$1"; shift
    local started=$SECONDS
    "$@"
    echo "== $name took $((SECONDS - started)) s" >&2
}
