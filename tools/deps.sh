# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Sourced by the scripts: makes sure Debian packages are installed.
# As root it installs what is missing; otherwise it prints the exact command.

need_packages() {
    missing=""
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $pkg"
        fi
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing:$missing" >&2
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq >&2 || return 1
        apt-get install -y -qq --no-install-recommends $missing >&2 || return 1
    else
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y --no-install-recommends$missing" >&2
        return 1
    fi
}

# What building and testing Lumivane needs on Debian 12 (go-md2man makes
# the manual page).
BUILD_PACKAGES="cmake ninja-build g++ qt6-base-dev qt6-serialport-dev libgl-dev fonts-dejavu-core libqt6svg6 go-md2man node-llhttp"

# The end-to-end test on a virtual X server, and its screenshot; oscsend
# (liblo-tools) and nc are the remote peers; chromium, driven through
# Selenium by Debian's python3, is the browser panel's.
E2E_PACKAGES="xvfb xdotool x11-utils imagemagick libxcb-cursor0 util-linux liblo-tools netcat-openbsd
chromium chromium-driver python3-selenium"

# Building and checking the Debian package (dpkg-shlibdeps needs dpkg-dev
# and file; lintian and man check the package and its manual page,
# appstreamcli its AppStream file; readelf comes with binutils;
# systemd-analyze, which checks the service's unit, with systemd).
PACKAGE_PACKAGES="dpkg-dev file desktop-file-utils lintian appstream man-db binutils systemd"
