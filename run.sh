#!/bin/sh
# Builds Lumivane (installing what is missing on Debian 12) and starts it.
set -e
cd "$(dirname "$0")"
. tools/deps.sh
need_packages $BUILD_PACKAGES
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target lumivane
exec build/app/lumivane "$@"
