#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Host side of the kernel checks: builds the guest's payload (the program, the transport
# test, the handler of the kernel-served drive, flash utilities built for the guest's drives,
# the pause shim) and boots the guest that runs guest-checks.sh against the kernel's scsi_debug
# drive, drives the guest's kernel serves itself (SCSI target, TCMU, loopback) and QEMU's own
# drives: ATAPI, virtio-scsi, USB Bulk-Only and USB Attached SCSI, each a CD drive without a disc.
#
# Usage: run-kernel-checks.sh FLASHUTIL TRANSPORT_TEST TCMU_DRIVE WORK_DIR
# The kernel, modules and base initramfs are cached in $KERNEL_TEST_CACHE, else in
# WORK_DIR/cache. Exit code 77: QEMU cannot run on this machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
flashutil=$(realpath "${1:?usage: run-kernel-checks.sh FLASHUTIL TRANSPORT_TEST TCMU_DRIVE WORK_DIR}")
transport=$(realpath "${2:?}")
handler=$(realpath "${3:?}")
work=${4:?}
mkdir -p "$work"
work=$(cd "$work" && pwd)
export KERNEL_TEST_CACHE=${KERNEL_TEST_CACHE:-$work/cache}

# A flash utility for the guest's drive, made by the builder from a blank copy: the model
# INI names the identity scsi_debug is given in guest-checks.sh (vendor SGIOTEST, product
# OPTICALTESTDRIVE, revision 1.00), and the image file's name makes 1.01 the new revision.
# The image is of the plain kind (no profile markers) and fills the whole image area.
build="$work/build"
rm -rf "$build"
mkdir -p "$build"
cp "$flashutil" "$build/flashutil"
cat > "$build/flashutil.INI" <<'EOF'
[MODEL00]
Model=SG-IO test drive
Inquiry=SGIOTESTOPTICALTESTDRIVE
FW-Range=1.00-1.09
BINMask=*.BIN
Vendor=Kernel test
Note=Normal
[MODEL01]
Model=QEMU ATAPI drive
Inquiry=QEMU    QEMU DVD-ROM
FW-Range=1.00-1.09
BINMask=*.BIN
Vendor=Kernel test
Note=Normal
[MODEL02]
Model=SG-IO FLASH-ALL drive
Inquiry=SGIOTESTOPTICALTESTDRIVE
FW-Range=1.00-1.09
BINMask=*.BIN
Vendor=Kernel test
Note=FLASH-ALL
EOF
head -c 524288 /dev/zero | tr '\0' '\132' > "$build/1.01.BIN"
if ! (cd "$build" && ./flashutil --build --model 0 --image 1.01.BIN --output-dir "$build" >build.log 2>&1); then
    cat "$build/build.log" >&2
    echo "kernel-test: the builder failed to make the flash utility" >&2
    exit 1
fi
[ -x "$build/1.01.EXE" ] || { cat "$build/build.log" >&2; echo "kernel-test: no 1.01.EXE" >&2; exit 1; }
# And one of the profile kind (the marker 05 80 at 0x1100), built without the maker's
# profiles: on a real drive it must be refused before anything is sent.
python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[0x1100:0x1102] = b"\x05\x80"; open(sys.argv[2], "wb").write(b)' \
    "$build/1.01.BIN" "$build/1.02.BIN"
if ! (cd "$build" && ./flashutil --build --model 0 --image 1.02.BIN --output-dir "$build" >>build.log 2>&1); then
    cat "$build/build.log" >&2
    echo "kernel-test: the builder failed to make the profile-image utility" >&2
    exit 1
fi

# The maker's flash-chip profiles for the drives the kernel serves (a kernel drive is a real
# drive: no stand-ins), made the same on every run so that recordings replay: and a profile
# image and a DVD image built with them.
python3 -c 'import sys; open(sys.argv[1], "wb").write(bytes((i * 37 + 11) % 251 for i in range(3326)))' "$build/maker.prf"
cp "$build/1.02.BIN" "$build/1.03.BIN"
python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[0x4000:0x4002] = b"\x05\x80"; b[0x4010:0x401f] = b"DVD-ROM QMR-204"; open(sys.argv[2], "wb").write(b)' \
    "$build/1.01.BIN" "$build/1.04.BIN"
for image in 1.03 1.04; do
    if ! (cd "$build" && ./flashutil --build --model 0 --image $image.BIN --profiles maker.prf --output-dir "$build" >>build.log 2>&1); then
        cat "$build/build.log" >&2
        echo "kernel-test: the builder failed to make $image.EXE with the maker's profiles" >&2
        exit 1
    fi
done

# The same image for QEMU's ATAPI drive, whose INQUIRY vendor is always QEMU's own.
mkdir -p "$build/atapi"
if ! (cd "$build" && ./flashutil --build --model 1 --image 1.01.BIN --output-dir "$build/atapi" >>build.log 2>&1); then
    cat "$build/build.log" >&2
    echo "kernel-test: the builder failed to make the ATAPI utility" >&2
    exit 1
fi
cp "$build/atapi/1.01.EXE" "$build/atapi-1.01.EXE"
# And one whose Note asks for the FLASH-ALL commit.
mkdir -p "$build/all"
if ! (cd "$build" && ./flashutil --build --model 2 --image 1.01.BIN --output-dir "$build/all" >>build.log 2>&1); then
    cat "$build/build.log" >&2
    echo "kernel-test: the builder failed to make the FLASH-ALL utility" >&2
    exit 1
fi
cp "$build/all/1.01.EXE" "$build/all-1.01.EXE"
# The shim that pauses a run at a chosen command, so that a drive can be pulled out there.
cc -Wall -O2 -shared -fPIC -o "$build/pause-shim.so" "$here/pause-shim.c" -ldl

# QEMU's drives, each a CD drive without a disc with its own serial number; the SCSI ones
# answer INQUIRY with the identity the utility is built for. The USB Bulk-Only drive gets
# pulled out and plugged in again through the monitor (ids bot1, bot2, ...).
scsi_cd="vendor=SGIOTEST,product=OPTICALTESTDRIVE,ver=1.00"
drives=(
    -device ide-cd,bus=ide.1,unit=0,id=atapi,ver=1.00,model=ATAPITESTDRIVE,serial=KTATAPI0001
    -device virtio-scsi-pci,id=vscsi -device "scsi-cd,bus=vscsi.0,id=vcd,$scsi_cd,serial=KTVIRTIO0001"
    -device qemu-xhci,id=xhci
    -device usb-bot,bus=xhci.0,id=bot1,serial=KTUSBBOT0001 -device "scsi-cd,bus=bot1.0,id=botcd1,$scsi_cd,serial=KTUSBBOT0001"
    -device usb-uas,bus=xhci.0,id=uas,serial=KTUAS0001 -drive if=none,id=uasdisc,media=cdrom
    -device "scsi-cd,bus=uas.0,id=uascd,scsi-id=0,lun=0,drive=uasdisc,$scsi_cd,serial=KTUAS0001"
)
# The disc the checks put into the UAS drive to mount (through the monitor, as @WORK@/disc.img).
mkdir -p "$work/run"
rm -f "$work/run/disc.img"
PATH=$PATH:/usr/sbin:/sbin mke2fs -q -F -t ext2 -b 2048 "$work/run/disc.img" 1024
qemu=()
for arg in "${drives[@]}"; do qemu+=(--qemu "$arg"); done

status=0
"$root/scripts/kernel-test/run-guest.sh" --work "$work/run" --timeout 900 \
    --binary "$flashutil" --binary "$transport" --binary "$handler" --binary "$build/1.01.EXE" \
    --binary "$build/1.02.EXE" --binary "$build/1.03.EXE" --binary "$build/1.04.EXE" \
    --binary "$build/atapi-1.01.EXE" --binary "$build/all-1.01.EXE" --file "$build/pause-shim.so" \
    --file "$build/1.01.BIN" --file "$build/1.03.BIN" --file "$build/1.04.BIN" --file "$build/maker.prf" \
    --file "$here/guest-lib.sh" --file "$here/kernel-drive-checks.sh" \
    --file "$root/scripts/kernel-test/kernel-drive.sh" "${qemu[@]}" \
    --run "$here/guest-checks.sh" || status=$?

# The runs the guest recorded (with --trace-data), each as NAME.trace, NAME.txt (its output)
# and NAME.rc, in WORK_DIR/recordings; tests/cli/recordings holds a set of them for replay.
rm -rf "$work/recordings"
mkdir -p "$work/recordings"
if [ -f "$work/run/console.log.txt" ]; then
    tr -d '\r' < "$work/run/console.log.txt" | awk -v dir="$work/recordings" '
        /^KTEST-RECORDING / { name = $2; file = dir "/" name ".trace"; print $3 > (dir "/" name ".rc"); next }
        /^KTEST-OUTPUT / { file = dir "/" $2 ".txt"; printf "" > file; next }
        /^KTEST-RECORDING-END / { file = ""; next }
        file != "" { print > file }'
fi
exit $status
