#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Boots Debian's kernel in a small QEMU guest (software emulation is enough) with a busybox
# initramfs, the SCSI modules (sg, sr_mod, cdrom, scsi_mod and their dependencies; scsi_debug
# is available at /lib/modules/scsi_debug.ko for the payload to load) and a payload: programs
# with every shared library they need, plus files. The payload's entry script runs as root in
# the guest; its output and exit code come back on the serial console.
#
# Usage: run-guest.sh [options] --run SCRIPT
#   --run SCRIPT     the guest's entry script (becomes /payload/run, run with busybox sh)
#   --binary PATH    a program for /payload/bin/, its libraries (ldd) and loader go along
#   --file PATH      a file for /payload/
#   --cache DIR      where the kernel, the modules and the base initramfs are kept
#                    (default: $KERNEL_TEST_CACHE, else $XDG_CACHE_HOME/flashutil-kernel-test)
#   --work DIR       scratch directory for this run (default: a new temporary directory)
#   --timeout SEC    the longest the guest may run (default 300)
#
# Exit code: the entry script's exit code; 77 when QEMU cannot run on this machine at all;
# 1 when the guest did not finish (crash, timeout) or the harness failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

cache=${KERNEL_TEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/flashutil-kernel-test}
work=""
run_script=""
timeout_seconds=300
binaries=()
files=()
while [ $# -gt 0 ]; do
    case "$1" in
        --run) run_script=$2; shift 2 ;;
        --binary) binaries+=("$2"); shift 2 ;;
        --file) files+=("$2"); shift 2 ;;
        --cache) cache=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --timeout) timeout_seconds=$2; shift 2 ;;
        *) kt_log "unknown option $1"; exit 1 ;;
    esac
done
[ -n "$run_script" ] || { kt_log "--run SCRIPT is required"; exit 1; }

# What the harness needs on the host. Without QEMU there is nothing to test with: skip.
if ! kt_need_packages qemu-system-x86 busybox-static cpio kmod; then
    kt_log "SKIP: cannot install qemu-system-x86, busybox-static, cpio and kmod"
    exit 77
fi
if ! qemu-system-x86_64 -version >/dev/null 2>&1; then
    kt_log "SKIP: qemu-system-x86_64 does not run on this machine"
    exit 77
fi

kdir=$("$here/prepare-kernel.sh" "$cache")

if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
rm -rf "$work/payload-root"
mkdir -p "$work/payload-root/payload/bin"

# The base initramfs (busybox, /init, modules) depends only on the kernel, busybox and the
# init script: build it once per combination and keep it in the cache.
busybox=/bin/busybox
key=$(cat "$here/guest-init.sh" "$busybox" "$kdir/load-order" | sha256sum | cut -c1-16)
base="$kdir/base-$key.cpio"
if [ ! -f "$base" ]; then
    stage="$work/base-root"
    rm -rf "$stage"
    mkdir -p "$stage"/{bin,sbin,dev,proc,sys,tmp,etc,lib/modules,payload}
    cp "$busybox" "$stage/bin/busybox"
    cp "$here/guest-init.sh" "$stage/init"
    chmod 755 "$stage/init" "$stage/bin/busybox"
    cp "$kdir"/modules/*.ko "$kdir/load-order" "$stage/lib/modules/"
    echo "root:x:0:0:root:/:/bin/sh" > "$stage/etc/passwd"
    echo "nobody:x:65534:65534:nobody:/:/bin/sh" >> "$stage/etc/passwd"
    printf 'root:x:0:\nnogroup:x:65534:\n' > "$stage/etc/group"
    (cd "$stage" && find . | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) > "$base.tmp"
    mv "$base.tmp" "$base"
    rm -rf "$stage"
fi

# The payload: programs with their libraries at the paths the loader looks in, and files.
copy_with_path() { # copies a file to the same absolute path inside the payload root
    local src=$1
    mkdir -p "$work/payload-root$(dirname "$src")"
    cp -L "$src" "$work/payload-root$src"
}
for b in "${binaries[@]}"; do
    [ -x "$b" ] || { kt_log "not a program: $b"; exit 1; }
    # Without their debug information: the initramfs lives in the guest's memory twice
    # (archive and unpacked), and a debug build's programs would not leave it room to run.
    # The embedded identity, image and seal sit in the data, which stripping keeps as is.
    strip --strip-debug -o "$work/payload-root/payload/bin/$(basename "$b")" "$b"
    while read -r lib; do
        [ -n "$lib" ] && [ ! -e "$work/payload-root$lib" ] && copy_with_path "$lib"
    done < <(ldd "$b" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }')
done
for f in "${files[@]}"; do
    cp -L "$f" "$work/payload-root/payload/"
done
cp "$run_script" "$work/payload-root/payload/run"
chmod -R a+rX "$work/payload-root"
(cd "$work/payload-root" && find . -mindepth 1 | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) > "$work/payload.cpio"
# The kernel unpacks concatenated archives one after the other.
cat "$base" "$work/payload.cpio" > "$work/initrd.cpio"

# KVM where it works. Some hosts (nested virtualisation) offer /dev/kvm whose guests never
# run: QEMU starts, the kernel prints nothing, and the whole time limit is lost. The kernel
# must say its first line within a few seconds under KVM, or the guest runs under TCG.
kvm_boots() {
    [ -w /dev/kvm ] || return 1
    local probe="$work/kvm-probe.log"
    rm -f "$probe"
    timeout -k 2 15 qemu-system-x86_64 -accel kvm -m 128M -smp 1 -nodefaults -display none \
        -no-reboot -serial "file:$probe" -kernel "$kdir/vmlinuz" \
        -append "console=ttyS0 panic=-1" </dev/null >/dev/null 2>&1 &
    local qemu=$!
    for _ in $(seq 50); do
        if grep -aq 'Linux version' "$probe" 2>/dev/null; then
            kill "$qemu" 2>/dev/null; wait "$qemu" 2>/dev/null
            return 0
        fi
        kill -0 "$qemu" 2>/dev/null || break
        sleep 0.2
    done
    kill "$qemu" 2>/dev/null; wait "$qemu" 2>/dev/null
    return 1
}
accel=(-accel tcg)
if kvm_boots; then
    accel=(-accel kvm)
else
    [ -e /dev/kvm ] && kt_log "KVM does not boot a guest here; using TCG"
fi
log="$work/console.log"
kt_log "booting $(cat "$kdir/kernel-release") ($(du -m "$work/initrd.cpio" | cut -f1) MB initramfs)"
start=$(date +%s)
set +e
timeout -k 5 "$timeout_seconds" qemu-system-x86_64 "${accel[@]}" -m 512M -smp 1 \
    -nodefaults -display none -no-reboot -serial "file:$log" \
    -kernel "$kdir/vmlinuz" -initrd "$work/initrd.cpio" \
    -append "console=ttyS0 quiet loglevel=1 panic=-1 rdinit=/init" </dev/null
qemu_rc=$?
set -e
# The archives are made afresh for every run; only the console log is worth keeping.
rm -rf "$work/initrd.cpio" "$work/payload.cpio" "$work/payload-root"
tr -d '\r' < "$log" > "$log.txt"
cat "$log.txt"
kt_log "guest ran $(( $(date +%s) - start )) s"

exit_line=$(grep -a '^KTEST-EXIT ' "$log.txt" | tail -n 1 || true)
if [ -z "$exit_line" ]; then
    if [ $qemu_rc -eq 124 ] || [ $qemu_rc -eq 137 ]; then
        kt_log "the guest did not finish within $timeout_seconds s"
    elif ! grep -aq '^KTEST-BOOTED' "$log.txt"; then
        kt_log "the guest did not boot (qemu exit code $qemu_rc)"
    else
        kt_log "the guest stopped before the checks ended (qemu exit code $qemu_rc)"
    fi
    exit 1
fi
exit "${exit_line#KTEST-EXIT }"
