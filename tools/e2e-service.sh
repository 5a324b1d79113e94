#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# `lumivane --service` end to end, run by tools/e2e-test.sh: no display at
# all, its port a pseudo-terminal whose far side is read here byte for byte,
# remote control, the browser panel and a timetable on, its settings, journal
# and port owner notes in a folder of the test's own. One line per check, as
# tools/checks.sh prints them, then "service: N s, P passed, F failed".
#   tools/e2e-service.sh --app PATH --work DIR [--pids FILE]
set -u
cd "$(dirname "$0")/.."
. tools/checks.sh

usage="usage: $0 --app PATH --work DIR [--pids FILE]"
app=""; work=""; pids=/dev/null
while [ $# -gt 0 ]; do
    case "$1" in
        --app) app=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --pids) pids=$2; shift 2 ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
[ -n "$app" ] && [ -n "$work" ] || { echo "$usage" >&2; exit 2; }
started=$(date +%s)

line_pid=""; pid=""; waiter_pid=""
cleanup() {
    for p in $pid $waiter_pid $line_pid; do kill "$p" 2>/dev/null; done
}
trap cleanup EXIT
# The e2e test's watchdog ends this with SIGTERM.
trap 'exit 1' INT TERM
finish() {
    echo "service: $(($(date +%s) - started)) s, $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}
die() {
    check "$*" false
    finish
}

mkdir -p "$work/config/lumivane.org" "$work/lock"
lockdir=$work/lock
journal=$work/data/lumivane.org/Lumivane/journal.log

check "lumivane --help lists --service, without a display" \
    sh -c "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '$app' --help | grep -q '^  --service '"

# The player's side of the line: every byte that arrives is appended to
# $work/wire. The slave stays open here, so the port closing between runs
# never hangs the line up.
cat >"$work/line.py" <<'EOF'
import os, sys, tty
master, slave = os.openpty()
tty.setraw(slave)
print(os.ttyname(slave), flush=True)
with open(sys.argv[1], "ab", buffering=0) as out:
    while data := os.read(master, 4096):
        out.write(data)
EOF
: >"$work/wire"
python3 "$work/line.py" "$work/wire" >"$work/line.out" &
line_pid=$!
echo $line_pid >>"$pids"
wait_until 10 grep -q '^/dev/' "$work/line.out" || die "a pseudo-terminal stood in for the port"
device=$(head -n1 "$work/line.out")
wire() { cat "$work/wire"; }

# Two ports free at once on loopback: remote control's (UDP and TCP) and
# the browser panel's.
set -- $(python3 -c 'import socket
held = [socket.socket() for _ in range(2)]
for s in held:
    s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in held])')
remote_port=$1; web_port=$2

# The entry is due 5 s after the start: time for the checks before it.
# Catch-up is off, so nothing but the entry itself goes out at its time.
due=$(($(date +%s) + 5))
printf '# foyer\ndaily %s show 45\n' "$(date -d "@$due" +%H:%M:%S)" >"$work/timetable.txt"
printf '[General]\nserialPort=%s\n[names]\naskAtStart=false\n[remote]\nenabled=true\nport=%s\n[web]\nenabled=true\nport=%s\n[timetable]\nenabled=true\nfile=%s\ncatchUp=off\n' \
    "$device" "$remote_port" "$web_port" "$work/timetable.txt" >"$work/config/lumivane.org/Lumivane.conf"

# With no display of any kind: the service needs none.
service() { # service LOG: lumivane --service in the background, its pid in $pid, its standard error in LOG
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
        XDG_DATA_HOME="$work/data" LUMIVANE_LOCK_DIR="$lockdir" "$app" --service >/dev/null 2>"$1" &
    pid=$!
    echo $pid >>"$pids"
}
# A process that has ended but is not yet waited for is a zombie: gone for
# this test.
ended() { [ ! -e "/proc/$1" ] || grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }
ms() { echo $(($(date +%s%N) / 1000000)); }

service "$work/first.log"
first=$pid
# When the entry arrives is noted as it happens, whatever the checks
# between are doing then.
(wait_until 20 grep -q X042D "$work/wire" && date +%s >"$work/arrived") &
waiter_pid=$!
wait_until 10 grep -q '^lumivane: browser panel: ' "$work/first.log" ||
    die "lumivane --service started, remote control and the browser panel on: $(cat "$work/first.log")"
check "it says on standard error that it runs as a service, process $first, with $device open" \
    sh -c "grep -qx 'lumivane: running as a service, process $first' '$work/first.log' &&
           grep -qx 'lumivane: serial port $device is open' '$work/first.log'"
note=$(ls "$lockdir"/lumivane-*.owner 2>/dev/null | head -n1)
check "  ... and notes that it holds the port (${note#"$work/"})" \
    test -n "$note" -a "$(cat "$note" 2>/dev/null | tr '\n' ' ')" = "$first service "

reply=$(printf 'show 7\nstate\n' | nc -N -w 5 127.0.0.1 "$remote_port" | tr -d '\r' | tr '\n' '|')
check "over TCP, \"show 7\" and \"state\" are answered \"ok ...\" with the entry next and the link (got: $reply)" \
    test "$reply" = "ok show 7|ok show 7 next show 45 $(date -d "@$due" +%FT%T) link Connected: ${device#/dev/}|"
wait_until 5 sh -c "test \"\$(cat '$work/wire')\" = X0407"
check "  ... and show 7 arrives on the line: X0407" test "$(wire)" = X0407

state=$(python3 - "$web_port" <<'EOF' 2>&1
import json, sys, urllib.request
with urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/api/state", timeout=5) as answer:
    state = json.load(answer)
    print(answer.status, answer.headers.get_content_type(), state["show"], state["link"])
EOF
)
check "GET /api/state answers JSON with the show and the link (got: $state)" \
    test "$state" = "200 application/json 7 Connected: ${device#/dev/}"

# A second service on the same port leaves at once, naming the first.
begin=$(ms)
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    LUMIVANE_LOCK_DIR="$lockdir" timeout 10 "$app" --service >/dev/null 2>"$work/second.log"
status=$?
took=$(($(ms) - begin))
check "a second lumivane --service on $device exits with status 1 within 5 s (got $status after $took ms)" \
    test "$status" = 1 -a "$took" -lt 5000
check "  ... saying \"is in use by Lumivane (service, process $first)\"" \
    grep -q "^lumivane: serial port $device is not open: .* is in use by Lumivane (service, process $first)\$" \
    "$work/second.log"
check "  ... and sends nothing" test "$(wire)" = X0407

wait "$waiter_pid"
waiter_pid=""
arrived=$(cat "$work/arrived" 2>/dev/null)
check "the timetable's entry due at $(date -d "@$due" +%T) arrives at its time (seen ${arrived:+$(date -d "@$arrived" +%T)}): X042D" \
    test "$(wire)" = X0407X042D -a "${arrived:-0}" -ge "$due" -a "${arrived:-0}" -le $((due + 2))
check "the journal names the timetable's line and the TCP peer" \
    sh -c "awk -F '\t' '\$2 == \"X042D\" && \$3 == \"sent\" && \$4 == \"timetable line 2\" { t = 1 }
                        \$2 == \"X0407\" && \$3 == \"sent\" && \$4 == \"remote 127.0.0.1\" { r = 1 }
                        END { exit !(t && r) }' '$journal'"

# Qt's platform plugins (xcb, offscreen, wayland) live in plugins/platforms;
# Qt Core among the mappings shows they were read.
check "no platform plugin is loaded (/proc/$first/maps)" \
    sh -c "grep -q libQt6Core '/proc/$first/maps' &&
           ! grep -Eq '/platforms/|libqxcb|libqoffscreen|libqwayland|XcbQpa|WaylandClient' '/proc/$first/maps'"

# SIGTERM right after a command: it goes out whole, then the port is let go.
printf 'show 9\n' | nc -N -w 5 127.0.0.1 "$remote_port" >/dev/null
begin=$(ms); took=never
kill -TERM "$first"
status=running
if wait_until 5 ended "$first"; then
    took=$(($(ms) - begin))
    wait "$first"; status=$?
    pid=""
fi
check "SIGTERM ends it with status 0 within 2 s (got $status after $took ms)" \
    sh -c '[ "$1" = 0 ] && [ "$2" -le 2000 ]' - "$status" "$took"
check "  ... the show sent just before arrives whole: X0409" test "$(wire)" = X0407X042DX0409
check "  ... and its note of the port is gone" sh -c "! ls '$lockdir'/lumivane-*.owner >/dev/null 2>&1"

service "$work/third.log"
check "the port is free: a third lumivane --service opens it" \
    wait_until 5 grep -qx "lumivane: serial port $device is open" "$work/third.log"
kill -TERM "$pid"
status=running
if wait_until 5 ended "$pid"; then
    wait "$pid"; status=$?
    pid=""
fi
check "  ... and SIGTERM ends that one with status 0 too (got $status)" test "$status" = 0

finish
