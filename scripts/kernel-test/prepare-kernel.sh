#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Puts Debian's own kernel and the SCSI modules the guest needs into a cache directory,
# taken from the kernel package behind linux-image-amd64. Nothing is installed on the host:
# the package is downloaded with apt-get and unpacked with dpkg-deb.
#
# Usage: prepare-kernel.sh CACHE_DIR
# Prints the directory that holds vmlinuz, modules/*.ko and load-order (the modules to load
# at boot, in dependency order; scsi_debug itself is left out: the checks load it with
# their own parameters) and drive-load-order (the host adapters of QEMU's own drives: ATAPI,
# virtio-scsi, USB Bulk-Only and UAS, and ext4, which the checks load when they come to those
# drives) and target-load-order (the kernel's SCSI target: its core, the user-space back-end
# TCMU with uio, and the loopback fabric, for a drive the guest serves itself).
# A second run with the same package version and module lists reuses the cache.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

cache=${1:?usage: prepare-kernel.sh CACHE_DIR}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

# The modules the guest needs; their dependencies come from modules.dep.
wanted=(sg sr_mod scsi_debug)
# The adapters of QEMU's drives, loaded later (names as modprobe knows them), and ext4 for a
# disc to mount.
adapters=(ata_piix virtio_pci virtio_scsi xhci_pci ehci_pci usb_storage uas ext4)
# The SCSI target with its user-space back-end and loopback fabric (configfs comes along).
targets=(target_core_user tcm_loop)
# A cache made for other module lists is made again.
lists="${wanted[*]} / ${adapters[*]} / ${targets[*]}"
ready_for() { [ -f "$1/ready" ] && [ "$(cat "$1/ready")" = "$lists" ]; }

# A kernel fetched before is used again without asking apt (whose answers take seconds when
# it keeps no package cache); KERNEL_TEST_REFRESH=1 looks for a newer one.
cached=$(ls -d "$cache"/linux-image-*/ 2>/dev/null | sort -V | tail -n 1 || true)
if [ -n "$cached" ] && ready_for "$cached" && [ "${KERNEL_TEST_REFRESH:-0}" != 1 ]; then
    echo "${cached%/}"
    exit 0
fi

# The kernel package behind the meta package, with its exact version:
# "Depends: linux-image-6.1.0-57-amd64 (= 6.1.192-3)".
kernel_of_meta() {
    apt-cache show --no-all-versions linux-image-amd64 2>/dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ && $3 == "(=" { sub(/\)/, "", $4); print $2, $4; exit }'
}

read -r pkg version < <(kernel_of_meta || true) || true
if [ -z "${pkg:-}" ]; then
    kt_as_root apt-get update -qq >/dev/null 2>&1 || true
    read -r pkg version < <(kernel_of_meta || true) || true
fi
if [ -z "${pkg:-}" ]; then
    [ -n "$cached" ] && ready_for "$cached" && { echo "${cached%/}"; exit 0; }
    kt_log "cannot find Debian's linux-image-amd64 package"
    exit 1
fi
dir="$cache/$pkg-$version"
if ready_for "$dir"; then
    echo "$dir"
    exit 0
fi

kt_log "fetching $pkg $version"
rm -rf "$dir" "$dir.tmp"
mkdir -p "$dir.tmp/deb" "$dir.tmp/root" "$dir/modules"
(cd "$dir.tmp/deb" && apt-get download -q "$pkg=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' >&2 || true)
deb=$(ls "$dir.tmp/deb"/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { kt_log "apt-get download $pkg failed"; exit 1; }

dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$dir.tmp/root" --wildcards './boot/vmlinuz-*' './lib/modules/*'
kver=$(ls "$dir.tmp/root/lib/modules" | head -n 1)
depmod -b "$dir.tmp/root" "$kver"

# modprobe --show-depends lists "insmod PATH" lines in load order, soft dependencies
# (the crc-t10dif providers) included.
# A module built into the kernel shows as "builtin NAME" and needs no file.
order=()
add_modules() { # add_modules MODULE...: appends each with its dependencies to order
    local m verb path name
    for m in "$@"; do
        while read -r verb path _; do
            [ "$verb" = insmod ] || continue
            name=$(basename "$path")
            case " ${order[*]} " in *" $name "*) continue ;; esac
            cp "$path" "$dir/modules/$name"
            order+=("$name")
        done < <(modprobe -d "$dir.tmp/root" -S "$kver" --show-depends "$m")
    done
}
add_modules "${wanted[@]}"
printf '%s\n' "${order[@]}" | grep -vx 'scsi_debug.ko' > "$dir/load-order"
before=${#order[@]}
add_modules "${adapters[@]}"
printf '%s\n' "${order[@]:$before}" > "$dir/drive-load-order"
before=${#order[@]}
add_modules "${targets[@]}"
printf '%s\n' "${order[@]:$before}" > "$dir/target-load-order"
cp "$dir.tmp/root/boot/vmlinuz-$kver" "$dir/vmlinuz"
echo "$kver" > "$dir/kernel-release"
rm -rf "$dir.tmp"
echo "$lists" > "$dir/ready"
echo "$dir"
