#!/usr/bin/env bash
# Host side of the kernel checks: builds the guest's payload (the program, the transport
# test, a utility built for the guest's drive) and boots the guest that runs
# guest-checks.sh against the kernel's scsi_debug drive.
#
# Usage: run-kernel-checks.sh FLASHUTIL TRANSPORT_TEST WORK_DIR
# The kernel, modules and base initramfs are cached in $KERNEL_TEST_CACHE, else in
# WORK_DIR/cache. Exit code 77: QEMU cannot run on this machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
flashutil=$(realpath "${1:?usage: run-kernel-checks.sh FLASHUTIL TRANSPORT_TEST WORK_DIR}")
transport=$(realpath "${2:?}")
work=${3:?}
mkdir -p "$work"
work=$(cd "$work" && pwd)
export KERNEL_TEST_CACHE=${KERNEL_TEST_CACHE:-$work/cache}

exec "$root/scripts/kernel-test/run-guest.sh" --work "$work/run" --timeout 420 \
    --binary "$flashutil" --binary "$transport" \
    --run "$here/guest-checks.sh"
