# Guest side of the kernel checks (busybox sh, run as root by the guest's /init).
# The kernel's scsi_debug module plays an optical drive; each check prints PASS or FAIL
# with its name, and the exit code is the number of failed checks (0 = all passed).
bin=/payload/bin
failures=0

# The drive as the module presents it: a CD/DVD device (peripheral type 5) with
# removable medium and the identity below. Vendor, product and revision are given at
# their full widths (8, 16, 4) so the module pads nothing.
VENDOR=SGIOTEST
PRODUCT=OPTICALTESTDRIVE
REVISION=1.00
export KT_INQUIRY="$VENDOR$PRODUCT$REVISION"
export KT_BLOCKS=16384   # the module's default 8 MiB in 512-byte blocks

pass() { echo "PASS $1"; }
fail() { echo "FAIL $1${2:+: $2}"; failures=$((failures + 1)); }
# Runs a command line as the unprivileged user "nobody", keeping the environment.
as_nobody() { su -p -s /bin/sh nobody -c "$*"; }

# Loads scsi_debug with the drive's parameters (and any given), waits until the sg and sr
# drivers have attached to it, and exports where it sits.
load_drive() {
    rmmod scsi_debug 2>/dev/null
    insmod /lib/modules/scsi_debug.ko ptype=5 removable=1 \
        inq_vendor=$VENDOR inq_product=$PRODUCT inq_rev=$REVISION "$@" || return 1
    tries=0
    KT_DEVICE=""
    while [ $tries -lt 100 ]; do
        for sg in /sys/class/scsi_generic/sg*; do
            [ -d "$sg/device/block" ] && [ -e "/dev/${sg##*/}" ] || continue
            KT_DEVICE=/dev/${sg##*/}
            KT_ADDRESS=$(basename "$(readlink "$sg/device")")
            KT_BLOCK=/dev/$(ls "$sg/device/block")
        done
        [ -n "$KT_DEVICE" ] && [ -e "$KT_BLOCK" ] && break
        sleep 0.1
        tries=$((tries + 1))
    done
    [ -n "$KT_DEVICE" ] || return 1
    # Let the kernel finish its own first commands (the sr driver's probe and the
    # partition scan) before the checks talk to the drive.
    sleep 0.5
    export KT_DEVICE KT_ADDRESS KT_BLOCK
}

echo "== [$(cut -d" " -f1 /proc/uptime)s] drive"
if load_drive; then
    pass "scsi_debug drive at $KT_ADDRESS as $KT_DEVICE ($KT_BLOCK)"
else
    fail "scsi_debug drive" "no sg node appeared"
    exit 1
fi

echo "== [$(cut -d" " -f1 /proc/uptime)s] transport through the kernel's SG_IO"
if "$bin/kernel_transport_test" --gtest_filter='KernelDrive.*' --gtest_brief=1; then
    pass "transport"
else
    fail "transport"
fi
if as_nobody "$bin/kernel_transport_test --gtest_filter='KernelDriveWithoutAccess.*' --gtest_brief=1"; then
    pass "transport without access"
else
    fail "transport without access"
fi

echo "== [$(cut -d" " -f1 /proc/uptime)s] $failures failed"
exit $failures
