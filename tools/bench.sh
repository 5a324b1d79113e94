#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the benchmarks (optimised, as shipped) and prints the results table
# that docs/performance.md records (lumivane --service idle among them), and
# the time from exec to the first window mapped on a virtual X server, beside
# the service's from exec to answering.
#   tools/bench.sh [runs]     start-up runs per program, default 30
set -e
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages $BUILD_PACKAGES util-linux python3 valgrind xvfb python3-xlib

dir=build-bench
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DLUMIVANE_WERROR="${LUMIVANE_WERROR:-OFF}" >/dev/null
cmake --build "$dir" --target lumivane bench_startup bench_emptywindow bench_textwindow bench_controller bench_line bench_remote bench_web bench_timetable bench_timetablecost
export QT_QPA_PLATFORM=offscreen
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) CPUs, $(uname -sr)"
tests/isolate.sh python3 bench/run.py "$dir" "${1:-30}"
# The first mapped window needs a real X server: a virtual one of this run's
# own, on the first free display.
# A number left from the last run would be read before Xvfb empties the file.
rm -f "$dir/display"
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 3>"$dir/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
while [ ! -s "$dir/display" ]; do sleep 0.1; done
# The stored port is a pseudo-terminal, and nothing at start lists ports.
DISPLAY=":$(cat "$dir/display")" /usr/bin/python3 bench/mapped.py "$dir" 15
