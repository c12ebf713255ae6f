#!/usr/bin/env bash
# Puts Debian's own kernel and the SCSI modules the guest needs into a cache directory,
# taken from the kernel package behind linux-image-amd64. Nothing is installed on the host:
# the package is downloaded with apt-get and unpacked with dpkg-deb.
#
# Usage: prepare-kernel.sh CACHE_DIR
# Prints the directory that holds vmlinuz, modules/*.ko and load-order (the modules to load
# at boot, in dependency order; scsi_debug itself is left out: the checks load it with
# their own parameters). A second run with the same package version reuses the cache.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

cache=${1:?usage: prepare-kernel.sh CACHE_DIR}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

# The modules the guest needs; their dependencies come from modules.dep.
wanted=(sg sr_mod scsi_debug)

package_of_meta() {
    apt-cache depends --important linux-image-amd64 2>/dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }'
}

pkg=$(package_of_meta || true)
if [ -z "$pkg" ]; then
    kt_as_root apt-get update -qq >/dev/null 2>&1 || true
    pkg=$(package_of_meta || true)
fi
if [ -z "$pkg" ]; then
    # Offline, or no package lists: any kernel cached earlier will do.
    found=$(ls -d "$cache"/linux-image-*/ 2>/dev/null | sort | tail -n 1)
    [ -n "$found" ] && [ -f "$found/ready" ] && { echo "${found%/}"; exit 0; }
    kt_log "cannot find Debian's linux-image-amd64 package"
    exit 1
fi
version=$(apt-cache show --no-all-versions "$pkg" | awk '/^Version:/ { print $2; exit }')
dir="$cache/$pkg-$version"
if [ -f "$dir/ready" ]; then
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
order=()
for m in "${wanted[@]}"; do
    while read -r verb path _; do
        [ "$verb" = insmod ] || continue
        name=$(basename "$path")
        case " ${order[*]} " in *" $name "*) continue ;; esac
        cp "$path" "$dir/modules/$name"
        order+=("$name")
    done < <(modprobe -d "$dir.tmp/root" -S "$kver" --show-depends "$m")
done
printf '%s\n' "${order[@]}" | grep -vx 'scsi_debug.ko' > "$dir/load-order"
cp "$dir.tmp/root/boot/vmlinuz-$kver" "$dir/vmlinuz"
echo "$kver" > "$dir/kernel-release"
rm -rf "$dir.tmp"
touch "$dir/ready"
echo "$dir"
