#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds Lumivane (installing what is missing on Debian 12) and starts it.
#   ./run.sh          against zentrel-sim, a simulated show player, with its
#                     own temporary settings (tools/demo.sh)
#   ./run.sh --real   on the serial port of your own settings
# Further arguments go to Lumivane.
set -e
cd "$(dirname "$0")"
if [ "$1" != "--real" ]; then
    exec tools/demo.sh "$@"
fi
shift
. tools/deps.sh
need_packages $BUILD_PACKAGES
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target lumivane
exec build/app/lumivane "$@"
