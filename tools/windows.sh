#!/bin/bash
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Cross-builds Lumivane.exe for 64-bit Windows against the static Qt of
# tools/build-qt-windows.sh (built first when its cache is missing) and packs
# dist/lumivane-<version>-windows-x64.zip with the exe, a README.txt, the
# GPL as LICENSE.txt and THIRD-PARTY.txt, the notices of everything the linker
# took into the exe. Fails when the exe imports anything but Windows' own
# DLLs, is not a GUI program, or holds a component that has no notice.
#
# LUMIVANE_WINDOWS_BUILD chooses the build folder (default: build-windows).
# The exe's path is the last line printed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${LUMIVANE_WINDOWS_BUILD:-$root/build-windows}

if ! command -v rsvg-convert >/dev/null || ! command -v convert >/dev/null ||
    ! command -v zip >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "windows: missing tools; as root run:" >&2
        echo "apt-get install -y --no-install-recommends librsvg2-bin imagemagick zip" >&2
        exit 1
    fi
    apt-get update -q >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        librsvg2-bin imagemagick zip >&2
fi

qt=$("$root/tools/build-qt-windows.sh" | tail -n1)

start=$(date +%s)
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DLUMIVANE_APP_ONLY=ON -DBUILD_TESTING=OFF \
    -DLUMIVANE_WERROR="${LUMIVANE_WERROR:-OFF}" >&2
cmake --build "$build" -j2 >&2
# qt_standard_project_setup() puts Windows programs at the top of the build
# folder, beside the DLLs they would need.
exe=$build/Lumivane.exe
echo "windows: built in $(( $(date +%s) - start )) s" >&2

# Windows' own DLLs, and the API sets that stand for them; Qt Network adds
# iphlpapi (the interfaces' addresses), and winhttp (the system's proxy)
# when built with proxy support, which the Qt of build-qt-windows.sh is not.
# Anything else (libgcc_s_seh-1.dll, libstdc++-6.dll, libwinpthread-1.dll,
# Qt6*.dll) would be missing on a user's machine.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|comctl32|uxtheme|dwmapi|shcore|imm32|winmm|version|shlwapi|setupapi|userenv|netapi32|wtsapi32|ws2_32|iphlpapi|winhttp|mpr|d2d1|d3d11|d3d9|d3d12|dxgi|dwrite|dcomp|msvcrt|ucrtbase|authz|cfgmgr32|bcrypt|crypt32|secur32|rpcrt4|api-ms-win-[a-z0-9-]+)\.dll$'
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
foreign=$(grep -Ev "$system_dlls" <<<"$imports" || true)
if [ -n "$foreign" ]; then
    echo "windows: Lumivane.exe needs DLLs that Windows does not have:" $foreign >&2
    exit 1
fi
if ! grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$headers"; then
    echo "windows: Lumivane.exe is not a GUI program: $(grep '^Subsystem' <<<"$headers")" >&2
    exit 1
fi
echo "windows: imports:" $imports >&2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
stage=$build/zip
rm -rf "$stage"
mkdir -p "$stage" "$root/dist"
x86_64-w64-mingw32-strip -o "$stage/Lumivane.exe" "$exe"
# Notepad of older Windows shows a file with bare line feeds on one line.
sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$root/data/windows-readme.txt" >"$stage/README.txt"
sed -e 's/$/\r/' "$root/LICENSES/GPL-3.0-or-later.txt" >"$stage/LICENSE.txt"
python3 "$root/tools/windows-notices.py" write "$exe.map" "$qt" "$qt/share/lumivane-notices" \
    "$build" "$stage/THIRD-PARTY.txt"
sed -i -e 's/$/\r/' "$stage/THIRD-PARTY.txt"
zipfile=$root/dist/lumivane-$version-windows-x64.zip
rm -f "$zipfile"
(cd "$stage" && zip -q -X "$zipfile" Lumivane.exe README.txt LICENSE.txt THIRD-PARTY.txt)
echo "windows: $zipfile ($(du -k "$zipfile" | cut -f1) KiB; exe $(du -k "$exe" | cut -f1) KiB," \
    "stripped $(du -k "$stage/Lumivane.exe" | cut -f1) KiB)" >&2
echo "$stage/Lumivane.exe"
