# Sourced by the scripts that count their own checks: "check NAME COMMAND..."
# runs COMMAND and records it; the caller prints "$passed passed, $failed failed".
passed=0
failed=0
check() {
    name="$1"; shift
    if "$@"; then
        passed=$((passed + 1)); echo "ok   $name"
    else
        failed=$((failed + 1)); echo "FAIL $name"
    fi
}
