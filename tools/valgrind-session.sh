#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs the scripted operator session (bench/session.cpp) under valgrind
# memcheck on the offscreen platform: any invalid read or write, or a leak
# "definitely lost", fails it. Covered serial ports as in the tests.
#   tools/valgrind-session.sh [build folder]     default build/
set -e
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages $BUILD_PACKAGES util-linux valgrind

dir="${1:-build}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
    -DLUMIVANE_WERROR="${LUMIVANE_WERROR:-OFF}" >/dev/null
cmake --build "$dir" --target lumivane_session

log="$dir/valgrind-session.log"
export QT_QPA_PLATFORM=offscreen
# Code that PCRE2 compiles at run time (the file dialog's filters) has no
# symbols and trips memcheck; the interpreter runs the same expressions.
export QT_ENABLE_REGEXP_JIT=0
# The session makes its own settings folder; this only keeps Qt's caches
# and the journal out of the user's home.
XDG_CONFIG_HOME="$(mktemp -d)"
XDG_CACHE_HOME="$XDG_CONFIG_HOME"
XDG_DATA_HOME="$XDG_CONFIG_HOME"
export XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
status=0
tests/isolate.sh valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
    --errors-for-leak-kinds=definite --show-leak-kinds=definite --track-origins=yes \
    --num-callers=30 --log-file="$log" \
    "$dir/bench/lumivane_session" || status=$?
grep -E "ERROR SUMMARY|definitely lost|Invalid (read|write)" "$log" || true
if [ "$status" -ne 0 ]; then
    echo "valgrind-session: failed (status $status), see $log" >&2
fi
exit "$status"
