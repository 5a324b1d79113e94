# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Sourced by the scripts that count their own checks: "check NAME COMMAND..."
# runs COMMAND and records it; the caller prints "$passed passed, $failed failed".
# The helpers below serve the tests that drive a window on a virtual X server.
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

# wait_until SECONDS COMMAND...: polls every 0.1 s.
wait_until() {
    limit=$(($1 * 10)); shift
    i=0
    until "$@"; do
        i=$((i + 1)); [ $i -ge $limit ] && return 1
        sleep 0.1
    done
}

# pixels PNG WxH+X+Y: one colour per pixel, in order.
pixels() {
    convert "$1" -crop "$2" -depth 8 txt:- | awk 'NR > 1 { print $3 }'
}
