#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds Lumivane and runs its tests (installing what is missing on Debian 12).
#   ./test.sh              the test suite
#   ./test.sh --sanitize   the same suite under AddressSanitizer and UBSan
# Set LUMIVANE_WERROR=ON to treat warnings as errors, as CI does.
set -e
cd "$(dirname "$0")"
. tools/deps.sh
need_packages $BUILD_PACKAGES util-linux

dir=build
flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo"
if [ "$1" = "--sanitize" ]; then
    dir=build-sanitize
    flags="-DCMAKE_BUILD_TYPE=Debug -DLUMIVANE_SANITIZE=ON"
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    # Qt's own libraries keep some allocations until exit; ours must not.
    export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}"
fi
cmake -S . -B "$dir" -G Ninja $flags -DBUILD_TESTING=ON -DLUMIVANE_WERROR="${LUMIVANE_WERROR:-OFF}" >/dev/null
cmake --build "$dir"
cd "$dir"
ctest --output-on-failure --timeout 300
