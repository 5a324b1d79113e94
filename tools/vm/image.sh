#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Lumivane developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Prepares the virtual machine's kernel and initramfs in the cache and prints
# their two paths. Debian's own kernel, unpacked from its package (never
# installed on this machine), and busybox-static; reused when present.
#   tools/vm/image.sh CACHE_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cache=$1

# The kernel package that linux-image-amd64 stands for today.
kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n1)
[ -n "$kpkg" ] || { echo "image: no linux-image-amd64 in apt's lists (run apt-get update)" >&2; exit 1; }
kver=${kpkg#linux-image-}
dir="$cache/$kver"
mkdir -p "$dir"

# The drivers the guest loads; the 8250 UART driver is built into the kernel.
wanted="virtio_pci virtio_console 9pnet_virtio 9p xhci-pci ftdi_sio"

if [ ! -f "$dir/vmlinux" ] || [ "$(cat "$dir/modules/wanted" 2>/dev/null)" != "$wanted" ]; then
    work=$(mktemp -d "$cache/.unpack.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # As root, apt would warn that its own user cannot write to the cache.
    (cd "$work" && apt-get download -q -o APT::Sandbox::User="$(id -un)" "$kpkg" >&2)
    dpkg-deb -x "$work"/*.deb "$work/root"
    # Under software emulation the kernel's own decompressor costs seconds on
    # every boot: keep the ELF image inside the bzImage (xz, the first stream;
    # QEMU boots it through its PVH entry).
    offset=$(grep -abo "$(printf '\3757zXZ')" "$work/root/boot/vmlinuz-$kver" | head -n1 | cut -d: -f1)
    tail -c +$((offset + 1)) "$work/root/boot/vmlinuz-$kver" | xz -dc --single-stream >"$work/vmlinux"
    [ "$(head -c4 "$work/vmlinux" | od -An -c | tr -d ' ')" = "177ELF" ] ||
        { echo "image: no ELF kernel inside vmlinuz-$kver" >&2; exit 1; }

    # Each module after what it depends on: the package ships no modules.dep,
    # but every module names its dependencies itself.
    order=""
    add_module() {
        case " $order " in *" $1 "*) return ;; esac
        ko=$(find "$work/root/lib/modules/$kver/kernel" -name "$1.ko" | head -n1)
        [ -n "$ko" ] || { echo "image: no module $1 in $kpkg" >&2; exit 1; }
        cp "$ko" "$work/modules/"
        for dep in $(grep -ao 'depends=[^[:cntrl:]]*' "$ko" | head -n1 | cut -d= -f2 | tr , ' '); do
            add_module "$dep"
        done
        order="$order $1"
    }
    mkdir -p "$work/modules"
    for m in $wanted; do add_module "$m"; done
    echo $order >"$work/modules/order"
    echo "$wanted" >"$work/modules/wanted"
    rm -rf "$dir/modules" "$dir"/initramfs-*.cpio
    mv "$work/modules" "$dir/modules"
    mv "$work/vmlinux" "$dir/vmlinux"
    rm -rf "$work"
    trap - EXIT
fi

# The initramfs is rebuilt whenever the guest's init changes.
key=$(cat "$here/init" /usr/bin/busybox | cksum | cut -d' ' -f1)
if [ ! -f "$dir/initramfs-$key.cpio" ]; then
    root=$(mktemp -d "$cache/.initramfs.XXXXXX")
    mkdir -p "$root/bin" "$root/modules" "$root/dev" "$root/proc" "$root/sys" "$root/tmp" "$root/usr" "$root/etc"
    cp /usr/bin/busybox "$root/bin/busybox"
    ln -s busybox "$root/bin/sh"
    # The host's /usr arrives over 9p; Debian's merged /usr puts the loader
    # and the libraries there.
    ln -s usr/lib "$root/lib"
    ln -s usr/lib64 "$root/lib64"
    ln -s usr/sbin "$root/sbin"
    cp "$here/init" "$root/init"
    chmod 755 "$root/init"
    cp "$dir/modules/order" "$dir"/modules/*.ko "$root/modules/"
    (cd "$root" && find . | busybox cpio -o -H newc -R 0:0 >"$root.cpio" 2>/dev/null)
    rm -f "$dir"/initramfs-*.cpio
    mv "$root.cpio" "$dir/initramfs-$key.cpio"
    rm -rf "$root"
fi
echo "$dir/vmlinux $dir/initramfs-$key.cpio"
