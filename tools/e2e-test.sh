#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# End-to-end test on a real X server: Lumivane under Xvfb (Qt's xcb platform),
# connected to zentrel-sim, driven by real mouse clicks and keys (xdotool).
# The simulator's log must show exactly the commands the clicks stand for.
# Then the browser panel, in chromium (tools/e2e-browser.py), and
# lumivane --service with no display (tools/e2e-service.sh).
#   tools/e2e-test.sh [--build DIR] [--screenshot FILE.png] [--browser-screenshot FILE.png]
# Exit status 0 when every check passed.
set -e
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages $BUILD_PACKAGES $E2E_PACKAGES

build=build
screenshot=""
browser_screenshot=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --screenshot) screenshot="$2"; shift 2 ;;
        --browser-screenshot) browser_screenshot=$(realpath -m "$2"); shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--screenshot FILE.png] [--browser-screenshot FILE.png]" >&2; exit 2 ;;
    esac
done
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
if [ -n "$screenshot" ]; then
    case "$screenshot" in /*) ;; *) screenshot="$PWD/$screenshot" ;; esac
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target lumivane zentrel-sim
app="$build/app/lumivane"
sim="$build/tools/zentrel-sim"

tmp=$(mktemp -d /tmp/lumivane-e2e.XXXXXX)
xvfb_pid=""; sim_pid=""; app_pid=""; watchdog_pid=""; part_pid=""
cleanup() {
    for pid in $watchdog_pid $part_pid $app_pid $sim_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
    done
    # Bounded: a process that ignores SIGTERM gets SIGKILL after 3 s.
    for pid in $part_pid $app_pid $sim_pid $xvfb_pid; do
        i=0
        while kill -0 "$pid" 2>/dev/null && [ $i -lt 30 ]; do sleep 0.1; i=$((i + 1)); done
        kill -9 "$pid" 2>/dev/null || true
    done
    if [ -n "$KEEP_E2E_DIR" ]; then echo "kept $tmp" >&2; else rm -rf "$tmp"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

. tools/checks.sh
die() {
    echo "FAIL $*"
    echo "$passed passed, $((failed + 1)) failed"
    exit 1
}
has_line() { grep -q "$2" "$1" 2>/dev/null; }

# However the run goes, it ends within a bound: the X server going away makes
# any client that waits on it fail at once.
(
    trap 'kill $sleeper 2>/dev/null; wait $sleeper 2>/dev/null; exit 0' TERM
    sleep "${LUMIVANE_E2E_TIMEOUT:-180}" & sleeper=$!
    wait $sleeper
    echo "FAIL the test did not finish within ${LUMIVANE_E2E_TIMEOUT:-180} s" >&2
    [ -s "$tmp/pids" ] && kill $(cat "$tmp/pids") 2>/dev/null
    kill -TERM $$
) &
watchdog_pid=$!

# -displayfd: the server picks a free display and names it once it is ready.
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
echo $xvfb_pid >>"$tmp/pids"
wait_until 15 has_line "$tmp/display" '[0-9]' || die "Xvfb did not start: $(cat "$tmp/xvfb.log")"
export DISPLAY=":$(head -n1 "$tmp/display")"

"$sim" --log "$tmp/sim.log" --quiet >"$tmp/sim.out" 2>"$tmp/sim.err" &
sim_pid=$!
echo $sim_pid >>"$tmp/pids"
wait_until 10 has_line "$tmp/sim.out" '^device: ' || die "zentrel-sim did not start: $(cat "$tmp/sim.err")"
device=$(sed -n 's/^device: //p' "$tmp/sim.out")

# A throwaway settings location whose port is the simulator: the user's own
# settings are never read or written.
mkdir -p "$tmp/config/lumivane.org"
conf="$tmp/config/lumivane.org/Lumivane.conf"
printf '[General]\nserialPort=%s\nlastFile=\n' "$device" >"$conf"

# In a private mount namespace /dev/ttyS0-3 are covered by /dev/null, so
# choosing COM1 in the set-up dialog fails safely instead of reaching a real
# line; the marker says the cover is in place.
isolated="$tmp/isolated"
if unshare -m true 2>/dev/null; then
    set -- unshare -m sh -c '
        for n in 0 1 2 3; do
            if [ -e /dev/ttyS$n ]; then mount --bind /dev/null /dev/ttyS$n || exit 97; fi
        done
        : >"$0"
        exec "$@"' "$isolated" "$app"
else
    set -- "$app"
fi
XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb "$@" >"$tmp/app.log" 2>&1 &
app_pid=$!
echo $app_pid >>"$tmp/pids"

title='^Tavrolux Zentrel Lumivane$'
win=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -n1) ||
    die "no main window appeared (a start-up box?): $(cat "$tmp/app.log")"
check "main window shown without a start-up box" \
    sh -c '! xdotool search --onlyvisible --name "^Lumivane\$" >/dev/null'

check "the window carries the program's icon" \
    sh -c "xprop -id $win _NET_WM_ICON | grep -q 'Icon ('"

eval "$(xdotool getwindowgeometry --shell "$win")"
wx=$X; wy=$Y

# The Internet sockets a process holds, as "proto local-address" lines from
# /proc/net (addresses in the kernel's hexadecimal); X11's Unix socket is
# not among them.
inet_sockets() { # inet_sockets PID
    inodes=$(ls -l "/proc/$1/fd" 2>/dev/null | sed -n 's/.*socket:\[\([0-9]*\)\]$/\1/p' | tr '\n' ' ')
    for proto in udp udp6 tcp tcp6; do
        awk -v p=$proto -v inodes=" $inodes" 'NR > 1 && index(inodes, " " $10 " ") { print p, $2 }' \
            "/proc/net/$proto"
    done
}
no_inet_sockets() { test -z "$(inet_sockets "$1")"; }
check "with remote control off nothing listens (/proc/net/udp, udp6, tcp, tcp6)" no_inet_sockets "$app_pid"

# --- Where things are. The program has no test hooks: positions come from
# its fixed layout, measured on screen where the style decides them.

# The File menu opens right below the menu bar, so its top is the top of the
# central widget.
popup_of() { # prints the visible window of ours that is not $win
    xdotool search --onlyvisible --class '^lumivane$' 2>/dev/null | grep -vx "$win" | head -n1
}
open_file_menu() {
    xdotool mousemove $((wx + 12)) $((wy + 6)) click 1
    wait_until 5 sh -c "xdotool search --onlyvisible --class '^lumivane\$' | grep -vqx $win"
}
open_file_menu || die "the File menu did not open"
menu=$(popup_of)
eval "$(xdotool getwindowgeometry --shell "$menu")"
cy=$Y; cx=$wx
xdotool key Escape
wait_until 5 sh -c "! xdotool search --onlyvisible --class '^lumivane\$' | grep -vqx $win" ||
    die "the File menu did not close"

# The tab widget (central 0,0 540x315): its pane's top border is the first
# change of colour down a column right of the tabs; the tabs are the long
# runs of one colour along a row just above it.
pane_top=""
measure() {
    import -window "$win" "$tmp/layout.png" || return 1
    top=$((cy - wy))
    pane_top=$(pixels "$tmp/layout.png" "1x80+536+$top" |
        awk 'NR == 1 { bg = $1 } $1 != bg { print NR - 1; exit }')
    [ -n "$pane_top" ] || return 1
    pane_top=$((cy + pane_top))
    row=$((pane_top - wy - 3))
    tabs=$(pixels "$tmp/layout.png" "540x1+0+$row" | awk -v bg="$(pixels "$tmp/layout.png" "1x1+538+$row")" '
        $1 != prev { if (n >= 20 && prev != bg) printf "%d ", start + n / 2; start = NR - 1; n = 0 }
        { prev = $1; n++ }
        END { if (n >= 20 && prev != bg) printf "%d ", start + n / 2 }')
    [ "$(echo $tabs | wc -w)" -eq 4 ]
}
# Retried: the first frames may not be painted yet.
wait_until 10 measure || die "could not find the tab widget on screen (tabs: $tabs)"
echo "layout: window $wx,$wy; central top $cy; page top $((pane_top + 1)); tab centres $tabs"

# Inside the pane's frame; clicks aim at the middle of a 20-pixel-high
# button, so a frame a few pixels wider would still be hit.
page_x=$((cx + 1)); page_y=$((pane_top + 1))
click_tab() { # click_tab PAGE (0..3)
    x=$(echo $tabs | cut -d' ' -f$(($1 + 1)))
    xdotool mousemove $((wx + x)) $((pane_top - 10)) click 1
    sleep 0.3
}
click_show() { # click_show NUMBER (1..128); its page must be showing
    id=$(($1 - 1)); col=$(((id % 32) / 8)); row=$((id % 8))
    # On the label, near its start: only the indicator and text take clicks.
    xdotool mousemove $((page_x + 20 + col * 140 + 25)) $((page_y + 20 + row * 30 + 10)) click 1
    sleep 0.3
}
log_commands() { grep -v ' state: ' "$tmp/sim.log" 2>/dev/null | cut -d' ' -f2- || true; }
count_commands() { log_commands | wc -l; }
commands_reach() { [ "$(count_commands)" -ge "$1" ]; }

# --- The operator's actions.
click_show 22
wait_until 5 commands_reach 1 || true
click_tab 2
click_show 95
click_tab 3
click_show 128
xdotool mousemove $((cx + 550 + 35)) $((cy + 280 + 15)) click 1
wait_until 5 commands_reach 4 || true

# The slider (central 570,30 40x240) starts at 0, its handle at the top; it
# is dragged past its bottom end in small steps, as a hand would.
hx=$((cx + 585)); hy=$((cy + 37))
xdotool mousemove $hx $hy mousedown 1
y=$hy
while [ $y -lt $((cy + 300)) ]; do
    y=$((y + 3))
    xdotool mousemove $hx $y
    sleep 0.02
done
xdotool mouseup 1
wait_until 5 has_line "$tmp/sim.log" ' brightness 1 ' || true
sleep 0.5
before_setup=$(count_commands)

# File, Setup Connection...: the dialog offers COM1 first.
open_file_menu || die "the File menu did not open a second time"
menu=$(popup_of)
eval "$(xdotool getwindowgeometry --shell "$menu")"
# The first item, just inside the menu's top edge.
xdotool mousemove $((X + 40)) $((Y + 10)) click 1
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Lumivane$' | head -n1) || true
check "File, Setup Connection... opens the port dialog" test -n "$dialog"
if [ -n "$dialog" ]; then
    # Without a window manager nothing moves the keyboard focus to a new
    # window; a real desktop would.
    xdotool windowfocus --sync "$dialog"
    if [ -f "$isolated" ]; then
        # The stored port is preselected; Home goes to COM1, the first item.
        xdotool key Home Return
        box=""
        wait_until 10 sh -c "xdotool search --onlyvisible --name '^Lumivane\$' | grep -vqx $dialog" &&
            box=$(xdotool search --onlyvisible --name '^Lumivane$' | grep -vx "$dialog" | head -n1)
        check "accepting COM1 (covered here) warns that it could not be opened" test -n "$box"
        if [ -n "$box" ]; then
            xdotool windowfocus --sync "$box"
            xdotool key Return
        fi
        check "the choice is stored as serialPort=COM1" grep -qx 'serialPort=COM1' "$conf"
    else
        echo "note: no mount namespace here; the dialog is cancelled so COM1 is never opened"
        xdotool key Escape
        wait_until 5 sh -c '! xdotool search --onlyvisible --name "^Lumivane\$" >/dev/null' || true
        check "cancelling keeps the stored port" grep -qx "serialPort=$device" "$conf"
    fi
    check "no box is left open" \
        wait_until 5 sh -c '! xdotool search --onlyvisible --name "^Lumivane\$" >/dev/null'
fi
check "Lumivane is still running" kill -0 "$app_pid"
check "nothing more was sent after the slider" test "$(count_commands)" -eq "$before_setup"

# File, Exit: the last item, just inside the menu's bottom edge. The program
# ends at once with status 0.
exit_status=none
if open_file_menu; then
    menu=$(popup_of)
    eval "$(xdotool getwindowgeometry --shell "$menu")"
    xdotool mousemove $((X + 40)) $((Y + HEIGHT - 10)) click 1
    if wait_until 10 sh -c "! kill -0 $app_pid 2>/dev/null"; then
        wait "$app_pid" && exit_status=0 || exit_status=$?
        app_pid=""
    fi
fi
check "File, Exit ends Lumivane with status 0 (got $exit_status)" test "$exit_status" = 0

# --- Remote control: Lumivane started again with it on, on a free port;
# oscsend (liblo) and nc are peers written by others.
port=$(awk 'BEGIN { srand(); print 20000 + int(rand() * 30000) }')
hexport=$(printf '%04X' "$port")
printf '[General]\nserialPort=%s\nlastFile=\n[remote]\nenabled=true\nport=%s\n' "$device" "$port" >"$conf"
before_remote=$(count_commands)
XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb "$app" >"$tmp/app2.log" 2>&1 &
app_pid=$!
echo $app_pid >>"$tmp/pids"
listening() { inet_sockets "$app_pid" | grep -q .; }
# UDP and TCP on 127.0.0.1, and on ::1 where this machine has IPv6.
local_only() {
    got=$(inet_sockets "$app_pid" | sort | tr '\n' ,)
    v6=00000000000000000000000001000000
    test "$got" = "tcp 0100007F:$hexport,tcp6 $v6:$hexport,udp 0100007F:$hexport,udp6 $v6:$hexport," ||
        test "$got" = "tcp 0100007F:$hexport,udp 0100007F:$hexport,"
}
remote_commands() { log_commands | tail -n +$((before_remote + 1)) | tr '\n' ,; }
remote_sent() { test "$(remote_commands)" = "$1"; }
if wait_until 20 listening; then
    check "it listens on port $port of 127.0.0.1 and ::1 only, UDP and TCP" local_only
    oscsend 127.0.0.1 "$port" /lumivane/show i 37
    wait_until 5 commands_reach $((before_remote + 1)) || true
    oscsend 127.0.0.1 "$port" /lumivane/show/5 T
    oscsend 127.0.0.1 "$port" /lumivane/show/6 F
    wait_until 5 commands_reach $((before_remote + 2)) || true
    reply=$(printf 'brightness 49\r\nstate\njump\n' | nc -N -w 5 127.0.0.1 "$port" | tr -d '\r') || true
    echo "nc got: $reply"
    check "the text protocol answers each line" \
        test "$(printf '%s\n' "$reply" | sed -n '1p;3p' | tr '\n' ,)" = "ok brightness 49,error: unknown command (show N, brightness P, off, state),"
    check "state gives the show, the brightness and the link" \
        test "$(printf '%s\n' "$reply" | sed -n 2p)" = "ok show 5 brightness 49 link Connected: ${device#/dev/}"
    oscsend 127.0.0.1 "$port" /lumivane/off
    wait_until 5 commands_reach $((before_remote + 4)) || true
    check "oscsend and nc reached the player: show 37, show 5, brightness 49%, off" \
        remote_sent 'show 37,show 5,brightness 126 (49%),off,'
else
    check "Lumivane listens with remote control on ($(cat "$tmp/app2.log"))" false
fi
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""

# --- The timetable: Lumivane started again with a timetable file whose one
# entry passed a minute ago, which catch-up sends once at start; then the
# file replaced, as a copy over a network share replaces it, by one with an
# entry 3 s ahead, which arrives at its time, and the passed one not again.
# The shows clicked above went out after that entry, and catch-up sends
# nothing that a later command overrode: their record goes first.
rm -f "$tmp/data/lumivane.org/Lumivane/sent.txt"
before_timetable=$(count_commands)
timetable="$tmp/gallery.txt"
printf '# gallery\ndaily %s show 44\n' "$(date -d '-1 minute' +%H:%M:%S)" >"$timetable"
printf '[General]\nserialPort=%s\nlastFile=\n[timetable]\nenabled=true\nfile=%s\n' "$device" "$timetable" >"$conf"
XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" QT_QPA_PLATFORM=xcb "$app" >"$tmp/app4.log" 2>&1 &
app_pid=$!
echo $app_pid >>"$tmp/pids"
timetable_commands() { log_commands | tail -n +$((before_timetable + 1)) | tr '\n' ,; }
timetable_sent() { test "$(timetable_commands)" = "$1"; }
wait_until 20 commands_reach $((before_timetable + 1)) || true
check "catch-up at start sent the entry passed a minute ago, once" timetable_sent 'show 44,'
ahead=$(date -d '+3 seconds' +%s)
printf '# gallery\ndaily %s show 44\ndaily %s show 45\n' "$(date -d '-1 minute' +%H:%M:%S)" \
    "$(date -d "@$ahead" +%H:%M:%S)" >"$tmp/gallery.new"
mv "$tmp/gallery.new" "$timetable"
wait_until 10 commands_reach $((before_timetable + 2)) || true
arrived=$(date +%s)
check "the entry 3 s ahead reached the player at its time (due $ahead, seen by $arrived)" \
    test "$arrived" -ge "$ahead" -a "$arrived" -le $((ahead + 2))
check "and the passed entry did not go again" timetable_sent 'show 44,show 45,'
check "the journal names the timetable's lines" \
    sh -c "grep -q 'catch-up line 2' '$tmp/data/lumivane.org/Lumivane/journal.log' &&
           grep -q 'timetable line 3' '$tmp/data/lumivane.org/Lumivane/journal.log'"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""
# The computer restarted alone: the player still shows what the timetable
# last sent, and the next start sends nothing.
XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" QT_QPA_PLATFORM=xcb "$app" >"$tmp/app5.log" 2>&1 &
app_pid=$!
echo $app_pid >>"$tmp/pids"
sleep 4
check "started again, it sends nothing that went out already" timetable_sent 'show 44,show 45,'
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""

# --- File, Lock Controls holds after a restart: Setup cannot be opened, the
# shows still go out.
printf '[General]\nserialPort=%s\nlastFile=\n' "$device" >"$conf"
start_app() { # start_app LOG: Lumivane on the simulator, its window in $win
    XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb "$app" >"$1" 2>&1 &
    app_pid=$!
    echo $app_pid >>"$tmp/pids"
    win=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -n1) || win=""
    [ -n "$win" ] || return 1
    # The layout measured above holds wherever the window stands now.
    eval "$(xdotool getwindowgeometry --shell "$win")"
    page_x=$((page_x + X - wx)); page_y=$((page_y + Y - wy)); cx=$((cx + X - wx)); cy=$((cy + Y - wy))
    wx=$X; wy=$Y
}
# --- Safe hands, each option in a run of its own, set in the settings file
# before the start: with the guard on, a double click on a show sends it
# once; with select-then-go, the arrow keys send nothing until Enter.
run_with() { # run_with LOG LINE...: Lumivane started with these [operation] lines
    log=$1; shift
    { printf '[General]\nserialPort=%s\nlastFile=\n[operation]\n' "$device"; printf '%s\n' "$@"; } >"$conf"
    XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb "$app" >"$log" 2>&1 &
    app_pid=$!
    echo $app_pid >>"$tmp/pids"
    win=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -n1) || return 1
    # The central widget keeps its place inside the window.
    cy=$((cy - wy)); cx=$((cx - wx))
    eval "$(xdotool getwindowgeometry --shell "$win")"
    wx=$X; wy=$Y; cy=$((cy + wy)); cx=$((cx + wx))
    wait_until 10 measure || return 1
    page_x=$((cx + 1)); page_y=$((pane_top + 1))
}
stop_app() {
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
}
if start_app "$tmp/app-lock.log"; then
    # Setup Connection..., Remote Control..., Browser Panel..., Timetable...,
    # Operation..., Lock Controls.
    if open_file_menu; then
        xdotool key Down Down Down Down Down Down Return
    fi
    check "File, Lock Controls stores the lock" \
        wait_until 5 sh -c "sed -n '/^\[operation\]/,/^\[/p' '$conf' | grep -qx 'locked=true'"
    stop_app
    before_lock=$(count_commands)
    if start_app "$tmp/app-lock2.log"; then
        # Setup Connection..., the first item, greyed out: nothing opens.
        if open_file_menu; then
            menu=$(popup_of)
            eval "$(xdotool getwindowgeometry --shell "$menu")"
            xdotool mousemove $((X + 40)) $((Y + 10)) click 1
            sleep 1
        fi
        check "after a restart, a locked Setup Connection... opens nothing" \
            sh -c '! xdotool search --onlyvisible --name "^Lumivane\$" >/dev/null'
        # A greyed-out entry may keep the menu open; Esc closes it (Esc on
        # the window itself would send Off).
        [ -n "$(popup_of)" ] && xdotool key Escape
        wait_until 5 sh -c "! xdotool search --onlyvisible --class '^lumivane\$' | grep -vqx $win" || true
        click_show 3
        wait_until 5 commands_reach $((before_lock + 1)) || true
        check "the shows still go out while locked" \
            test "$(log_commands | tail -n +$((before_lock + 1)) | tr '\n' ,)" = "show 3,"
        check "the lock is still stored" grep -qx 'locked=true' "$conf"
        stop_app
    else
        check "Lumivane started again, locked ($(cat "$tmp/app-lock2.log"))" false
    fi
else
    check "Lumivane started for the lock ($(cat "$tmp/app-lock.log"))" false
fi

since() { log_commands | tail -n +$(($1 + 1)) | tr '\n' ,; }

before_safe=$(count_commands)
if run_with "$tmp/app4.log" repeatGuardMs=1000; then
    # Show 3: the first column's third row.
    xdotool mousemove $((page_x + 20 + 25)) $((page_y + 20 + 2 * 30 + 10)) click --repeat 2 --delay 120 1
    wait_until 5 commands_reach $((before_safe + 1)) || true
    sleep 1
    check "with the guard on, a double click sends show 3 once" test "$(since "$before_safe")" = "show 3,"
else
    check "Lumivane started with the guard on ($(cat "$tmp/app4.log"))" false
fi
stop_app

before_safe=$(count_commands)
if run_with "$tmp/app5.log" selectThenGo=true; then
    # The focus starts on show 1; down, down and right make show 11 ready.
    xdotool windowfocus --sync "$win"
    xdotool key --delay 100 Down Down Right
    sleep 1
    check "with select-then-go the arrow keys send nothing" test "$(since "$before_safe")" = ""
    xdotool key Return
    wait_until 5 commands_reach $((before_safe + 1)) || true
    check "with select-then-go Enter sends the show made ready, show 11" \
        test "$(since "$before_safe")" = "show 11,"
else
    check "Lumivane started with select-then-go on ($(cat "$tmp/app5.log"))" false
fi
stop_app

# A part in a script of its own, whose checks count here, and whose last
# line is "NAME: ... passed". In the background, so that the watchdog's TERM
# is taken at once.
part() { # part NAME WHAT COMMAND...
    part_name=$1; what=$2; shift 2
    part_started=$(date +%s)
    "$@" >"$tmp/$part_name.out" 2>&1 &
    part_pid=$!
    echo $part_pid >>"$tmp/pids"
    wait "$part_pid" || true
    part_pid=""
    cat "$tmp/$part_name.out"
    passed=$((passed + $(grep -c '^ok ' "$tmp/$part_name.out"))) || true
    failed=$((failed + $(grep -c '^FAIL ' "$tmp/$part_name.out"))) || true
    check "$what ran to its end in $(($(date +%s) - part_started)) s" \
        grep -q "^$part_name: .* passed" "$tmp/$part_name.out"
}

# --- The browser panel: Lumivane on a line of its own, its page in
# chromium, and its server under clients no browser would be.
part browser "the browser panel's test" /usr/bin/python3 tools/e2e-browser.py --app "$app" --work "$tmp/browser" \
    --pids "$tmp/pids" ${browser_screenshot:+--screenshot "$browser_screenshot"}

# --- lumivane --service, with no display (tools/e2e-service.sh).
part service "the service's test" tools/e2e-service.sh --app "$app" --work "$tmp/service" --pids "$tmp/pids"

# --- The README's screenshot: a start as a show's operator makes it, with
# remote control on and yesterday's name file loaded, whose message stands
# in the status bar for its five seconds.
if [ -n "$screenshot" ]; then
    printf '%s\n' Preshow Welcome "Act 1, scene 1" "Act 1, scene 2" "Act 1, scene 3" "Act 1, scene 4" \
        "Act 1, scene 5" Interval "Act 2, scene 1" "Act 2, scene 2" Finale Bows >"$tmp/shows.txt"
    port=$((port + 1))
    printf '[General]\nserialPort=%s\nlastFile=%s\n[remote]\nenabled=true\nport=%s\n' \
        "$device" "$tmp/shows.txt" "$port" >"$conf"
    XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=xcb "$app" >"$tmp/app3.log" 2>&1 &
    app_pid=$!
    echo $app_pid >>"$tmp/pids"
    box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Lumivane$' | head -n1) || true
    check "the screenshot's start asks to read the name file" test -n "$box"
    if [ -n "$box" ]; then
        xdotool windowfocus --sync "$box"
        xdotool key Return
    fi
    win=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -n1) || true
    check "the screenshot's window appeared" test -n "$win"
    if [ -n "$win" ]; then
        # The pointer away from the window, so that no tooltip shows.
        xdotool mousemove 1000 760
        sleep 1
        mkdir -p "$(dirname "$screenshot")"
        import -window "$win" -strip -define png:exclude-chunks=date,time "$screenshot"
        echo "screenshot: $screenshot"
    fi
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
fi

# Stopping the simulator flushes anything partial to the log.
kill "$sim_pid"
wait "$sim_pid" || true
sim_pid=""
log_commands >"$tmp/commands"
echo "simulator log:"; sed 's/^/  /' "$tmp/sim.log"

check "no malformed input" sh -c "! grep -q warning '$tmp/commands'"
# The operator's part of the log, before the remote peers'.
head -n "$before_remote" "$tmp/commands" >"$tmp/operator"
mv "$tmp/operator" "$tmp/commands"
check "the clicks sent show 22, show 95, show 128, off, then brightness" \
    sh -c "awk '/^brightness / { if (!b) print \"brightness...\"; b = 1; next } { print; b = 0 }' '$tmp/commands' |
           tr '\n' ',' | grep -qx 'show 22,show 95,show 128,off,brightness...,'"

# Motion events may skip slider values, so the run is checked for shape: each
# level is one the slider can produce, strictly falling, ending at the floor.
grep '^brightness ' "$tmp/commands" | cut -d' ' -f2 >"$tmp/levels" || true
valid_levels() {
    awk 'BEGIN { for (v = 1; v <= 99; v++) { l = int((99 - v) * 255 / 99); ok[l < 1 ? 1 : l] = 1 } }
         !($1 in ok) { exit 1 }' "$tmp/levels"
}
check "the drag sent only levels the slider can produce" valid_levels
check "the drag's levels fall strictly" \
    sh -c "awk 'NR > 1 && \$1 >= prev { exit 1 } { prev = \$1 }' '$tmp/levels'"
check "the drag ends at brightness 1 (0%)" sh -c "tail -n1 '$tmp/commands' | grep -qx 'brightness 1 (0%)'"
check "the drag passed through many values ($(wc -l <"$tmp/levels") commands)" \
    test "$(wc -l <"$tmp/levels")" -ge 30

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
