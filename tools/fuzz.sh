#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs each libFuzzer target for a bounded time under ASan and UBSan.
#   tools/fuzz.sh [seconds]     default 60 per target
# New inputs go to build-fuzz/corpus-*, never into the seed corpora in
# tests/fuzz/corpus. Exits non-zero when a target crashes; the input that did
# it is left as build-fuzz/crash-* (or leak-*, timeout-*) to become a test.
set -e
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages $BUILD_PACKAGES clang libclang-rt-14-dev

seconds="${1:-60}"
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMIVANE_FUZZ=ON -DBUILD_TESTING=OFF -DLUMIVANE_WERROR="${LUMIVANE_WERROR:-OFF}" >/dev/null
cmake --build "$dir" --target fuzz_namefile fuzz_zentreldecoder fuzz_osc fuzz_timetable

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Two targets at a time, each on a core of its own for its full time: the
# targets are single-threaded, and one after another they left a core idle.
fuzz() { # fuzz TARGET: leaves its statistics, or its last lines, in a file
    work="$dir/corpus-$1"
    mkdir -p "$work"
    # -rss_limit_mb: the name-file target builds inputs of a few MiB on purpose.
    if ! "$dir/tests/fuzz/fuzz_$1" -max_total_time="$seconds" -rss_limit_mb=2048 \
            -artifact_prefix="$dir/" -print_final_stats=1 \
            "$work" "tests/fuzz/corpus/$1" 2>"$dir/fuzz_$1.log"; then
        tail -n 40 "$dir/fuzz_$1.log" >"$dir/fuzz_$1.result"
        return 1
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$dir/fuzz_$1.log" >"$dir/fuzz_$1.result" || true
}
status=0
finished() { # finished TARGET PID
    echo "fuzz_$1: $seconds s"
    if wait "$2"; then
        cat "$dir/fuzz_$1.result"
    else
        cat "$dir/fuzz_$1.result" >&2
        status=1
    fi
}
fuzz namefile & first=$!
fuzz zentreldecoder & second=$!
finished namefile $first
finished zentreldecoder $second
fuzz osc & first=$!
fuzz timetable & second=$!
finished osc $first
finished timetable $second
exit $status
