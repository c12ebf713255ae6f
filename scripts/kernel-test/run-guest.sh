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
#   --qemu ARG       one more argument for QEMU (drives and their adapters), repeatable
#
# The guest also holds Debian's udev (not started: /lib/systemd/systemd-udevd) and the
# modules of QEMU's drive adapters (/lib/modules/drive-load-order, not loaded). A line
# "KTEST-MONITOR COMMAND" that the guest prints on the console is given to QEMU's monitor
# (device_del, device_add: a drive pulled out and plugged in again; change: a disc put in),
# with @WORK@ standing for the work directory; the guest watches sysfs for the outcome.
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
qemu_args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --run) run_script=$2; shift 2 ;;
        --binary) binaries+=("$2"); shift 2 ;;
        --file) files+=("$2"); shift 2 ;;
        --cache) cache=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --timeout) timeout_seconds=$2; shift 2 ;;
        --qemu) qemu_args+=("$2"); shift 2 ;;
        *) kt_log "unknown option $1"; exit 1 ;;
    esac
done
[ -n "$run_script" ] || { kt_log "--run SCRIPT is required"; exit 1; }

# What the harness needs on the host. Without QEMU there is nothing to test with: skip.
if ! kt_need_packages qemu-system-x86 busybox-static cpio kmod python3 e2fsprogs; then
    kt_log "SKIP: cannot install qemu-system-x86, busybox-static, cpio, kmod, python3 and e2fsprogs"
    exit 77
fi
if ! qemu-system-x86_64 -version >/dev/null 2>&1; then
    kt_log "SKIP: qemu-system-x86_64 does not run on this machine"
    exit 77
fi

kdir=$("$here/prepare-kernel.sh" "$cache")
udir=$("$here/prepare-udev.sh" "$cache")

if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
rm -rf "$work/payload-root"
mkdir -p "$work/payload-root/payload/bin"

# The base initramfs (busybox, /init, modules) depends only on the kernel, busybox and the
# init script: build it once per combination and keep it in the cache.
busybox=/bin/busybox
key=$( (cat "$here/guest-init.sh" "$busybox" "$kdir/load-order" "$kdir/drive-load-order" "$kdir/target-load-order"; echo "$udir") |
    sha256sum | cut -c1-16)
base="$kdir/base-$key.cpio"
if [ ! -f "$base" ]; then
    stage="$work/base-root"
    rm -rf "$stage"
    mkdir -p "$stage"/{bin,sbin,dev,proc,sys,tmp,etc,lib/modules,payload}
    cp "$busybox" "$stage/bin/busybox"
    cp "$here/guest-init.sh" "$stage/init"
    chmod 755 "$stage/init" "$stage/bin/busybox"
    cp "$kdir"/modules/*.ko "$kdir/load-order" "$kdir/drive-load-order" "$kdir/target-load-order" "$stage/lib/modules/"
    echo "root:x:0:0:root:/:/bin/sh" > "$stage/etc/passwd"
    echo "nobody:x:65534:65534:nobody:/:/bin/sh" >> "$stage/etc/passwd"
    # The groups udev's rules give device nodes to.
    printf 'root:x:0:\ndisk:x:6:\ncdrom:x:24:\ntape:x:26:\nkvm:x:104:\ninput:x:105:\nrender:x:106:\nsgx:x:107:\naudio:x:29:\nvideo:x:44:\ndialout:x:20:\nnogroup:x:65534:\n' \
        > "$stage/etc/group"
    # udev: the package's tree, and the libraries of its programs at the host's paths.
    cp -a "$udir/root/." "$stage/"
    for program in "$udir"/root/bin/udevadm "$udir"/root/lib/udev/*_id; do
        [ -f "$program" ] && [ -x "$program" ] || continue
        while read -r lib; do
            [ -n "$lib" ] && [ ! -e "$stage$lib" ] || continue
            mkdir -p "$stage$(dirname "$lib")"
            cp -L "$lib" "$stage$lib"
        done < <(ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }')
    done
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
rm -f "$log" "$work/monitor.sock"
kt_log "booting $(cat "$kdir/kernel-release") ($(du -m "$work/initrd.cpio" | cut -f1) MB initramfs)"
start=$(date +%s)
# Passes the guest's "KTEST-MONITOR COMMAND" lines to QEMU's human monitor, each once.
monitor_relay() {
    local given=0 command
    while kill -0 "$1" 2>/dev/null; do
        while read -r command; do
            command=${command//@WORK@/$work}
            kt_log "monitor: $command"
            python3 - "$work/monitor.sock" "$command" <<'PY' || kt_log "monitor: no answer to $command"
import socket, sys, time
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.settimeout(5)
s.recv(4096)                       # the greeting and the prompt
s.sendall(sys.argv[2].encode() + b"\n")
time.sleep(0.5)
try:
    answer = s.recv(4096).decode(errors="replace")
except socket.timeout:
    answer = ""
for line in answer.splitlines()[1:]:
    if line.strip() and not line.startswith("(qemu)"):
        print("kernel-test: monitor says:", line, file=sys.stderr)
PY
            given=$((given + 1))
        done < <({ tr -d '\r' < "$log"; } 2>/dev/null | sed -n 's/^KTEST-MONITOR //p' | tail -n +$((given + 1)))
        sleep 0.2
    done
}
set +e
timeout -k 5 "$timeout_seconds" qemu-system-x86_64 "${accel[@]}" -m 512M -smp 1 \
    -nodefaults -display none -no-reboot -serial "file:$log" \
    -monitor "unix:$work/monitor.sock,server=on,wait=off" "${qemu_args[@]}" \
    -kernel "$kdir/vmlinuz" -initrd "$work/initrd.cpio" \
    -append "console=ttyS0 quiet loglevel=1 panic=-1 rdinit=/init" </dev/null &
qemu=$!
monitor_relay "$qemu" &
relay=$!
wait "$qemu"
qemu_rc=$?
kill "$relay" 2>/dev/null
wait "$relay" 2>/dev/null
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
