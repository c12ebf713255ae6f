#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Puts Debian's udev (systemd-udevd, udevadm, the rules and the helpers they run) into a cache
# directory for the guest, taken from the `udev` package with apt-get download and dpkg-deb:
# nothing is installed on the host. Its libraries (libsystemd-shared among them) are the
# host's, copied into the guest by ldd like a payload program's.
#
# Usage: prepare-udev.sh CACHE_DIR
# Prints the directory whose root/ holds the files at their places in the guest. A second run
# reuses the cache (KERNEL_TEST_REFRESH=1 looks for a newer package).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

cache=${1:?usage: prepare-udev.sh CACHE_DIR}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

cached=$(ls -d "$cache"/udev-*/ 2>/dev/null | sort -V | tail -n 1 || true)
if [ -n "$cached" ] && [ -f "$cached/ready" ] && [ "${KERNEL_TEST_REFRESH:-0}" != 1 ]; then
    echo "${cached%/}"
    exit 0
fi

version=$(apt-cache show --no-all-versions udev 2>/dev/null | awk '$1 == "Version:" { print $2; exit }' || true)
if [ -z "$version" ]; then
    kt_as_root apt-get update -qq >/dev/null 2>&1 || true
    version=$(apt-cache show --no-all-versions udev 2>/dev/null | awk '$1 == "Version:" { print $2; exit }' || true)
fi
[ -n "$version" ] || { kt_log "cannot find Debian's udev package"; exit 1; }
dir="$cache/udev-$version"
[ -f "$dir/ready" ] && { echo "$dir"; exit 0; }

kt_log "fetching udev $version"
rm -rf "$dir" "$dir.tmp"
mkdir -p "$dir.tmp/deb" "$dir.tmp/root"
(cd "$dir.tmp/deb" && apt-get download -q "udev=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' >&2 || true)
deb=$(ls "$dir.tmp/deb"/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { kt_log "apt-get download udev failed"; exit 1; }
dpkg-deb -x "$deb" "$dir.tmp/root"
# Only what the daemon and its rules use; the hardware database and documentation stay out.
rm -rf "$dir.tmp/root/usr/share" "$dir.tmp/root/lib/udev/hwdb.d" "$dir.tmp/root/etc/init.d"
mv "$dir.tmp/root" "$dir/root" 2>/dev/null || { mkdir -p "$dir" && mv "$dir.tmp/root" "$dir/root"; }
rm -rf "$dir.tmp"
touch "$dir/ready"
echo "$dir"
