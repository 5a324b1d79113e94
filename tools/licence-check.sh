#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Every file of the source tree says its copyright and licence, in its header
# or in .reuse/dep5: `reuse lint` (Debian's reuse package) passes.
set -e
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages reuse
reuse lint
