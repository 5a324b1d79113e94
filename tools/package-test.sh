#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the Debian package in a fresh build folder and checks what it would
# install: unpacked into a temporary root, the files are in place, the desktop
# entry and the AppStream file are valid and name them, the binary finds every
# library it needs without a run path, and the package depends on those
# libraries; the service's unit passes systemd-analyze verify and is not
# enabled; lintian reports no error and no warning. Also checks
# cmake --install.
#   tools/package-test.sh [--keep DIR]   (--keep: copy the .deb to DIR)
set -e
cd "$(dirname "$0")/.."
here=$(pwd)
. tools/deps.sh
need_packages $BUILD_PACKAGES $PACKAGE_PACKAGES

keep=""
if [ "$1" = "--keep" ]; then keep="$2"; fi

tmp=$(mktemp -d /tmp/lumivane-package.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

cmake -S . -B "$tmp/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$tmp/build" --target lumivane
(cd "$tmp/build" && cpack -G DEB >/dev/null)
deb=$(ls "$tmp"/build/lumivane_*.deb)
echo "package: $(basename "$deb")"
if [ -n "$keep" ]; then mkdir -p "$keep"; cp "$deb" "$keep/"; fi

. tools/checks.sh

# Every relative link target ](path) in the Markdown files of a folder exists.
links_resolve() {
    for md in "$1"/README.md "$1"/docs/*.md; do
        for target in $(grep -o '](\([^)#:]*\))' "$md" | sed 's/^](//; s/)$//'); do
            test -e "$(dirname "$md")/$target" || { echo "$md: no $target" >&2; return 1; }
        done
    done
}

# Both ways of installing must lay out the same files.
check_tree() { # check_tree HOW ROOT
    check "$1: lumivane in bin/, executable" test -x "$2/bin/lumivane"
    check "$1: remote control's module where lumivane looks" test -f "$2/bin/../lib/lumivane/modules/remote.so"
    check "$1: the port list's module where lumivane looks" test -f "$2/bin/../lib/lumivane/modules/ports.so"
    check "$1: desktop entry" test -f "$2/share/applications/lumivane.desktop"
    check "$1: scalable icon" test -f "$2/share/icons/hicolor/scalable/apps/lumivane.svg"
    check "$1: manual page lumivane(1)" test -f "$2/share/man/man1/lumivane.1.gz"
    check "$1: the service's unit for systemd" test -f "$2/lib/systemd/system/lumivane.service"
    check "$1: AppStream metainfo" test -f "$2/share/metainfo/$metainfo"
    check "$1: copyright and changelog" \
        test -f "$2/share/doc/lumivane/copyright" -a -f "$2/share/doc/lumivane/changelog.gz"
    check "$1: the README" cmp -s "$2/share/doc/lumivane/README.md" "$here/README.md"
    check "$1: what the installed README and its documents link to is installed" links_resolve "$2/share/doc/lumivane"
}
metainfo=org.lumivane.Lumivane.metainfo.xml

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
check_tree "deb" "$root/usr"
entry="$root/usr/share/applications/lumivane.desktop"
check "the desktop entry is valid" desktop-file-validate "$entry"
check "the desktop entry starts the installed binary" grep -qx 'Exec=lumivane' "$entry"
check "the desktop entry names the installed icon" grep -qx 'Icon=lumivane' "$entry"
check "the icon is an SVG" grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/lumivane.svg"

check "the AppStream file is valid (appstreamcli)" \
    appstreamcli validate --no-net "$root/usr/share/metainfo/$metainfo"
check "the AppStream file launches the installed desktop entry" \
    grep -q '<launchable type="desktop-id">lumivane.desktop</launchable>' "$root/usr/share/metainfo/$metainfo"
check "the manual page renders without warnings" \
    sh -c "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '$root/usr/share/man/man1/lumivane.1.gz' 2>&1 >/dev/null | awk 'END { exit NR > 0 }'"
# The unit as systemd reads it: every key known, the binary and the manual
# page it names present (a copy that names the unpacked binary, as nothing is
# installed here). Its output must be empty: an unknown key is only a warning.
unit="$root/usr/lib/systemd/system/lumivane.service"
check "the unit runs the installed binary as a service" grep -qx 'ExecStart=/usr/bin/lumivane --service' "$unit"
mkdir "$tmp/unit"
sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$tmp/unit/lumivane.service"
MANPATH="$root/usr/share/man" systemd-analyze verify "$tmp/unit/lumivane.service" >"$tmp/verify" 2>&1 || echo "status $?" >>"$tmp/verify"
cat "$tmp/verify"
check "systemd-analyze verify: the unit is clean" test ! -s "$tmp/verify"
# Installing the package must not start a service on the network: no
# maintainer script enables it, and no link in /etc does.
dpkg-deb -e "$deb" "$tmp/control"
check "the service is not enabled by the package" \
    sh -c "! ls '$tmp/control' | grep -Eq 'inst|rm' && ! test -e '$root/etc/systemd'"

version=$(dpkg-deb -f "$deb" Version)
check "the changelog's latest entry is version $version" \
    sh -c "gzip -dc '$root/usr/share/doc/lumivane/changelog.gz' | head -n1 | grep -q '^lumivane ($version) '"
check "the installed binary has no run path" \
    sh -c "! readelf -d '$root/usr/bin/lumivane' | grep -Eq 'RPATH|RUNPATH'"

ldd "$root/usr/bin/lumivane" >"$tmp/ldd" 2>&1 || true
check "the unpacked binary resolves every library (ldd)" \
    sh -c "grep -q 'libQt6Widgets' '$tmp/ldd' && ! grep -q 'not found' '$tmp/ldd'"
grep 'not found' "$tmp/ldd" || true

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for pkg in libqt6widgets6 libqt6gui6 libqt6core6 libqt6network6 libqt6serialport6 libc6 qt6-qpa-plugins; do
    check "Depends lists $pkg" sh -c "echo '$depends' | tr ',' '\n' | grep -q '^ *$pkg\\b'"
done

# Every error and warning fails; an override belongs in the package only
# with a comment that says why.
lintian_status=0
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$tmp/lintian" || true
check "lintian: no error, no warning" test "$lintian_status" -eq 0

DESTDIR="$tmp/dest" cmake --install "$tmp/build" --prefix /opt/lumivane >/dev/null
check_tree "cmake --install" "$tmp/dest/opt/lumivane"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
