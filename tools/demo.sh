#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Try Lumivane without a show player: builds everything, starts zentrel-sim
# and Lumivane connected to it. The player's decoded commands scroll here
# while you click; closing Lumivane stops the simulator.
# Lumivane gets a throwaway settings folder, so your own settings
# (~/.config/lumivane.org) are neither read nor changed.
set -e
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages $BUILD_PACKAGES

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target lumivane zentrel-sim

tmp=$(mktemp -d /tmp/lumivane-demo.XXXXXX)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        # The simulator prints the player's final state as it stops.
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Through a link with a fixed name, so the stored port reads the same in
# every demo; the simulator's output goes straight to this terminal.
link="$tmp/zentrel"
build/tools/zentrel-sim --link "$link" &
sim_pid=$!
i=0
until [ -L "$link" ]; do
    i=$((i + 1))
    if [ $i -ge 100 ] || ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "demo: zentrel-sim did not start" >&2
        exit 1
    fi
    sleep 0.1
done

mkdir -p "$tmp/config/lumivane.org"
printf '[General]\nserialPort=%s\nlastFile=\n' "$link" >"$tmp/config/lumivane.org/Lumivane.conf"
echo "demo: Lumivane is connected to zentrel-sim; close its window to end the demo." >&2
echo "demo: to run Lumivane on the real serial port instead: ./run.sh --real" >&2

status=0
XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" build/app/lumivane "$@" || status=$?
exit $status
