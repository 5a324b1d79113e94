#!/bin/bash
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Cross-compiles the Win32 serial back end with mingw-w64 and runs it under
# Wine against a pseudo-terminal standing in for COM1 (tests/wine/).
# Exits non-zero on any failure; the last line reads "N passed, M failed".
#
# LUMIVANE_WINE_BUILD chooses the build folder (default: build-wine).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMIVANE_WINE_BUILD:-$root/build-wine}

missing=()
command -v x86_64-w64-mingw32-g++ >/dev/null || missing+=(g++-mingw-w64-x86-64)
# Debian's wine wrapper is there without wine64 when only wine32 was chosen.
{ command -v wine && command -v wineserver && [ -x /usr/lib/wine/wine64 ]; } >/dev/null ||
    missing+=(wine wine64)
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
command -v python3 >/dev/null || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "wine-test: missing tools; as root run:" >&2
        echo "apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    echo "wine-test: installing ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The probe links statically (no compiler DLLs for Wine to find).
cmake -S "$root/tests/wine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++ >/dev/null
cmake --build "$build"

work=$(mktemp -d "${TMPDIR:-/tmp}/lumivane-wine.XXXXXX")
cleanup() {
    # A server left behind would keep the pseudo-terminal's symlink and the
    # prefix busy; it is keyed on the prefix, so only ours is stopped.
    if [ -d "$work/prefix" ]; then
        WINEPREFIX="$work/prefix" TMPDIR="$work/tmp" wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX="$work/prefix" TMPDIR="$work/tmp" wineserver -w >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# isolate.sh covers /dev/ttyS0../dev/ttyS3 with /dev/null in a private mount
# namespace where it can, so that a mapping mistake cannot reach a real port.
"$root/tests/isolate.sh" python3 "$root/tests/wine/check_serial.py" \
    --exe "$build/serialprobe.exe" --workdir "$work"
