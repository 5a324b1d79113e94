#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the benchmarks (optimised, as shipped) and prints the results table
# that docs/performance.md records.
#   tools/bench.sh [runs]     start-up runs per program, default 30
set -e
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages $BUILD_PACKAGES util-linux python3 valgrind

dir=build-bench
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DLUMIVANE_WERROR="${LUMIVANE_WERROR:-OFF}" >/dev/null
cmake --build "$dir" --target bench_startup bench_emptywindow bench_controller bench_line bench_remote bench_timetable
export QT_QPA_PLATFORM=offscreen
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) CPUs, $(uname -sr)"
tests/isolate.sh python3 bench/run.py "$dir" "${1:-30}"
