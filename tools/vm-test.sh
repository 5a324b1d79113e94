#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# The serial link on real Linux drivers: a virtual machine (QEMU, software
# emulation) running Debian's own kernel, with a 16550 UART and an FTDI USB
# adapter whose far ends this host reads. Each scenario boots the guest once
# and is checked from the far end (tools/vm/runner.py says which).
#   tools/vm-test.sh [--build DIR] [--only N,N]
# The kernel and initramfs are made once in
# ${LUMIVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumivane}/vm and reused.
# The last line reads "N passed, M failed"; exit status 0 when all passed.
set -e
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages $BUILD_PACKAGES qemu-system-x86 busybox-static python3 xz-utils

build=build
only=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --only) only="$2"; shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--only N,N]" >&2; exit 2 ;;
    esac
done
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vm-probe vm-operator

# The kernel package is found through apt's lists, which a fresh machine may
# not have yet.
if ! apt-cache depends linux-image-amd64 2>/dev/null | grep -q 'Depends: linux-image-[0-9]'; then
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update -qq >&2
    else
        echo "vm-test: apt's package lists know no kernel; as root run: apt-get update" >&2
        exit 1
    fi
fi
cache="${LUMIVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumivane}/vm"
mkdir -p "$cache"
set -- $(tools/vm/image.sh "$cache")
kernel=$1
initrd=$2

work=$(mktemp -d /tmp/lumivane-vm.XXXXXX)
runner=""
cleanup() {
    # The runner kills its guests on the way out, and each guest dies with it.
    if [ -n "$runner" ]; then
        kill "$runner" 2>/dev/null || true
        wait "$runner" 2>/dev/null || true
    fi
    if [ -n "$KEEP_VM_DIR" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Bounded as a whole: six boots and their checks take well under this.
timeout -k 5 "${LUMIVANE_VM_TIMEOUT:-300}" python3 tools/vm/runner.py \
    --kernel "$kernel" --initrd "$initrd" --build "$build" --workdir "$work" ${only:+--only "$only"} &
runner=$!
status=0
wait $runner || status=$?
runner=""
exit $status
