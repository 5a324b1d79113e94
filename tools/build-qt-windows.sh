#!/bin/bash
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds a static Qt for 64-bit Windows (Core, Gui, Widgets, Network, the windows
# platform plugin, SerialPort) from Debian's own qt6-base and qt6-serialport
# source packages with Debian's mingw-w64 compilers, into a cache outside the
# source tree. The cache folder is keyed by the Qt version and the options and
# reused when it is complete; its path is the last line printed.
#
# SerialPort is added when Debian's mirror serves its source; when it does
# not, Qt without it is still complete, a warning says so, and the next run
# tries again (LUMIVANE_QT_SERIALPORT=required makes that an error).
#
# The host's Qt (same version) provides moc, rcc and uic for the cross build.
#
#   tools/build-qt-windows.sh            builds (when needed); prints the prefix
#   tools/build-qt-windows.sh --prepare  only installs what the build needs and
#                                        the deb-src entry, so that a build run
#                                        in the background never runs apt-get
#                                        while a foreground step does
set -euo pipefail
prepare_only=""
[ "${1:-}" = "--prepare" ] && prepare_only=1

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${LUMIVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumivane}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=${LUMIVANE_QT_JOBS:-2}

packages=(dpkg-dev cmake ninja-build perl python3 xz-utils
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
missing=()
for pkg in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "build-qt-windows: missing packages; as root run:" >&2
        echo "apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    echo "build-qt-windows: installing ${missing[*]}" >&2
    apt-get update -q >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
fi

# The sources must be the very version of the host's Qt: the host tools refuse
# a target Qt of another version.
qt_deb=$(dpkg-query -W -f='${Version}' qt6-base-dev)
serial_deb=$(dpkg-query -W -f='${Version}' qt6-serialport-dev)
qt_version=${qt_deb%%[+-]*}

qt_options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF -DFEATURE_static_runtime=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_pkg_config=OFF -DFEATURE_sql=OFF
    # Network for remote control; without TLS, which plain UDP and TCP on the
    # show network never need.
    -DFEATURE_network=ON -DFEATURE_ssl=OFF -DFEATURE_openssl=OFF -DFEATURE_schannel=OFF
    -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF -DFEATURE_testlib=OFF
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_libpng=OFF
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_sqlite=OFF
    -DFEATURE_system_md4c=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF
    # Debian's source leaves out src/3rdparty/wintab and mingw has no wintab.h.
    -DFEATURE_tabletevent=OFF
    # What Lumivane.exe never uses is left out, which brings the build down to
    # some 40% of the processor time (1,517 s against about 3,900 s): image
    # formats other than PNG, FreeType (Windows draws the fonts; the offscreen
    # platform goes with it), Markdown, ODF and PDF, MIME types, the tray, the
    # undo framework, and the widgets and dialogs that nothing in app/ or
    # forms/ shows. Kept: what any window or dialog on Windows needs
    # (accessibility, the session manager's close at log-off, drag and drop
    # and the clipboard in line edits, style sheets, rich-text tooltips, the
    # vista style and its animations), and QToolBar, which Qt 6.4's
    # compat/removed_api.cpp of Widgets includes unguarded.
    -DFEATURE_gif=OFF -DFEATURE_jpeg=OFF -DFEATURE_ico=OFF -DFEATURE_tuiotouch=OFF
    -DFEATURE_imageformat_ppm=OFF -DFEATURE_imageformat_xbm=OFF -DFEATURE_movie=OFF
    -DFEATURE_freetype=OFF -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF
    -DFEATURE_textodfwriter=OFF -DFEATURE_pdf=OFF -DFEATURE_picture=OFF
    -DFEATURE_systemtrayicon=OFF -DFEATURE_whatsthis=OFF
    -DFEATURE_undocommand=OFF -DFEATURE_undostack=OFF -DFEATURE_undogroup=OFF
    -DFEATURE_mimetype=OFF -DFEATURE_mimetype_database=OFF
    -DFEATURE_xmlstream=OFF -DFEATURE_xmlstreamreader=OFF -DFEATURE_xmlstreamwriter=OFF
    -DFEATURE_sharedmemory=OFF -DFEATURE_systemsemaphore=OFF
    -DFEATURE_jalalicalendar=OFF -DFEATURE_hijricalendar=OFF -DFEATURE_islamiccivilcalendar=OFF
    -DFEATURE_transposeproxymodel=OFF -DFEATURE_concatenatetablesproxymodel=OFF
    -DFEATURE_gestures=OFF -DFEATURE_scroller=OFF
    -DFEATURE_style_fusion=OFF -DFEATURE_effects=OFF -DFEATURE_graphicsview=OFF
    -DFEATURE_graphicseffect=OFF -DFEATURE_mdiarea=OFF -DFEATURE_dockwidget=OFF
    -DFEATURE_toolbox=OFF -DFEATURE_splashscreen=OFF
    -DFEATURE_lcdnumber=OFF -DFEATURE_dial=OFF -DFEATURE_commandlinkbutton=OFF
    -DFEATURE_calendarwidget=OFF -DFEATURE_datetimeedit=OFF -DFEATURE_keysequenceedit=OFF
    -DFEATURE_fontcombobox=OFF -DFEATURE_textbrowser=OFF -DFEATURE_syntaxhighlighter=OFF
    -DFEATURE_listwidget=OFF -DFEATURE_columnview=OFF -DFEATURE_datawidgetmapper=OFF
    -DFEATURE_undoview=OFF -DFEATURE_progressbar=OFF -DFEATURE_progressdialog=OFF
    -DFEATURE_colordialog=OFF -DFEATURE_fontdialog=OFF -DFEATURE_errormessage=OFF
    -DFEATURE_wizard=OFF
    # Remote control listens on plain UDP and TCP: no HTTP, proxies, DNS
    # lookups, local sockets or network information.
    -DFEATURE_http=OFF -DFEATURE_networkdiskcache=OFF -DFEATURE_networkproxy=OFF
    -DFEATURE_socks5=OFF -DFEATURE_system_proxies=OFF -DFEATURE_localserver=OFF
    -DFEATURE_dnslookup=OFF -DFEATURE_sspi=OFF -DFEATURE_networklistmanager=OFF
    -DFEATURE_topleveldomain=OFF -DFEATURE_publicsuffix_qt=OFF -DFEATURE_publicsuffix_system=OFF
    # With direct2d off, 6.4.2 links no QWindowsDirectWriteFontDatabase and
    # no program links; only the 1.1 variant needs what mingw lacks.
    -DFEATURE_direct2d1_1=OFF
)
key=$( { echo "$qt_deb $serial_deb"; printf '%s\n' "${qt_options[@]}"; cat "$toolchain"; } |
    sha256sum | cut -c1-10)
prefix=$cache/qt-windows-$qt_version-$key
stamp=$prefix/.complete

serial_stamp=$prefix/.complete-serialport
serial_required=${LUMIVANE_QT_SERIALPORT:-optional}

# What Qt builds in, with the licence texts, for the notices of the zip
# (tools/windows-notices.py): taken from the source while it is here.
notices=$prefix/share/lumivane-notices
index_notices() {
    rm -rf "$notices"
    python3 "$root/tools/windows-notices.py" index "$1" "$notices.tmp"
    mv "$notices.tmp" "$notices"
}

notices_current() {
    python3 "$root/tools/windows-notices.py" current "$notices"
}

if [ -f "$stamp" ] && notices_current &&
    { [ -f "$serial_stamp" ] || [ -n "${LUMIVANE_QT_NO_RETRY:-}" ]; }; then
    [ -n "$prepare_only" ] || echo "$prefix"
    exit 0
fi

mkdir -p "$cache"
# Two runs at once would build into the same folder.
exec 9>"$cache/qt-windows.lock"
flock 9

# apt-get source needs a deb-src entry; add one for the same suites as the
# deb entries already there.
if ! apt-get source --print-uris qt6-base="$qt_deb" >/dev/null 2>&1; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "build-qt-windows: no deb-src entry for qt6-base; as root add one, e.g.:" >&2
        echo "sed 's/^Types: deb\$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > /etc/apt/sources.list.d/debian-src.sources && apt-get update" >&2
        exit 1
    fi
    echo "build-qt-windows: adding deb-src entries" >&2
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        >/etc/apt/sources.list.d/debian-src.sources
    apt-get update -q >&2
fi
[ -n "$prepare_only" ] && exit 0

work=$cache/qt-windows-work-$key
mkdir -p "$work"
cd "$work"

# dpkg-source applies every patch in debian/patches/series while unpacking;
# those that touch what is built here are named in the log.
fetch_source() {
    local package=$1 version=$2 folder=$3
    [ -d "$folder" ] && return 0
    rm -rf "$package"-*/
    if ! apt-get source -q "$package=$version" >"$work/fetch-$package.log" 2>&1; then
        grep '^E:' "$work/fetch-$package.log" >&2
        return 1
    fi
    mv "$(find . -maxdepth 1 -type d -name "$package-*" | head -n1)" "$folder"
    [ -f "$folder/.pc/applied-patches" ] || return 0
    while read -r patch; do
        if grep -qE '^\+\+\+ [^ ]*(src/(corelib|gui|widgets|plugins/platforms/windows|serialport|3rdparty)|cmake/)' \
            "$folder/debian/patches/$patch"; then
            echo "build-qt-windows: $package: applied $patch" >&2
        fi
    done <"$folder/.pc/applied-patches"
}

if [ ! -f "$stamp" ]; then
    start=$(date +%s)
    fetch_source qt6-base "$qt_deb" qtbase
    # qt.toolchain.cmake of the install chain-loads the toolchain file it was
    # built with; a copy inside the prefix keeps the cache free of this checkout.
    mkdir -p "$prefix"
    cp "$toolchain" "$prefix/mingw-w64-x86_64.cmake"
    cmake -S qtbase -B build-qtbase -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        "${qt_options[@]}" >&2
    ninja -C build-qtbase -j"$jobs" >&2
    ninja -C build-qtbase install >/dev/null
    echo "Qt $qt_deb: built in $(( $(date +%s) - start )) s with -j$jobs on $(date -u +%F)" \
        >>"$prefix/BUILT"
    touch "$stamp"
    index_notices qtbase
    rm -rf build-qtbase qtbase qt6-base_*
fi

# A Qt built before the notices were kept, or kept in an older form: its
# source again, nothing rebuilt.
if ! notices_current; then
    fetch_source qt6-base "$qt_deb" qtbase
    index_notices qtbase
    rm -rf qtbase qt6-base_*
fi

if [ ! -f "$serial_stamp" ]; then
    start=$(date +%s)
    if fetch_source qt6-serialport "$serial_deb" qtserialport; then
        cmake -S qtserialport -B build-qtserialport -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
            -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
            -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF >&2
        ninja -C build-qtserialport -j"$jobs" >&2
        ninja -C build-qtserialport install >/dev/null
        echo "SerialPort $serial_deb: built in $(( $(date +%s) - start )) s on $(date -u +%F)" \
            >>"$prefix/BUILT"
        touch "$serial_stamp"
    elif [ "$serial_required" = required ]; then
        echo "build-qt-windows: the source of qt6-serialport $serial_deb cannot be fetched" >&2
        exit 1
    else
        echo "build-qt-windows: WARNING: the source of qt6-serialport $serial_deb cannot be" \
            "fetched; this Qt has no SerialPort (Lumivane then lists Windows' own serial ports)" >&2
    fi
fi

cd "$cache"
[ -f "$serial_stamp" ] && rm -rf "$work"
echo "build-qt-windows: $prefix ($(du -sh "$prefix" | cut -f1))" >&2
cat "$prefix/BUILT" >&2
echo "$prefix"
