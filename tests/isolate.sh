#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs a test with every /dev/ttyS node covered by /dev/null in a private
# mount namespace: "COM1" then fails to open as on a machine without ports,
# and nothing reaches a real line (ttyS0 may carry the machine's console; the
# port enumeration may open ttyS nodes to ask what is behind them).
# Where namespaces are not allowed the test runs as it is; the tests that need
# COM1 to fail check for themselves and skip.
if [ -z "$LUMIVANE_ISOLATED" ] && unshare -m true 2>/dev/null; then
    export LUMIVANE_ISOLATED=1
    exec unshare -m sh -c '
        for n in /dev/ttyS*; do
            [ -e "$n" ] && mount --bind /dev/null "$n"
        done
        exec "$@"' sh "$@"
fi
exec "$@"
