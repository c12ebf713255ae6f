# SPDX-License-Identifier: Apache-2.0
# Guest side of the kernel checks (busybox sh, run as root by the guest's /init).
# The kernel's scsi_debug module, drives the kernel serves itself and QEMU's drives play
# optical drives; each check prints PASS or FAIL with its name, and the exit code is the
# number of failed checks (0 = all passed).
. /payload/guest-lib.sh

# The drive as the module presents it: a CD/DVD device (peripheral type 5) with
# removable medium and the identity below. Vendor, product and revision are given at
# their full widths (8, 16, 4) so the module pads nothing.
VENDOR=SGIOTEST
PRODUCT=OPTICALTESTDRIVE
REVISION=1.00
export KT_INQUIRY="$VENDOR$PRODUCT$REVISION"
export KT_BLOCKS=16384   # the module's default 8 MiB in 512-byte blocks
export FLASHUTIL_HISTORY=/tmp/history.jsonl  # the runs' records stay in the guest's scratch space

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

# ---------------------------------------------------------------------------------------
utility=$bin/1.01.EXE   # built for this drive: revision 1.00 in range, 1.01 new

identity_line=$(printf '%s-%s-%s' "$(echo "$KT_ADDRESS" | cut -d: -f1)" \
    "$(echo "$KT_ADDRESS" | cut -d: -f3)" "$(echo "$KT_ADDRESS" | cut -d: -f4)")

LOAD=1b0000000300000000000000
TUR=000000000000000000000000
READCAP=250000000000000000000000

echo "== [$(cut -d" " -f1 /proc/uptime)s] flashutil --list"
run list "$bin/flashutil" --list
problem=""
[ $rc -eq 0 ] || problem="exit code $rc"
line=$(grep -F "$KT_DEVICE" /tmp/list.txt)
case "$line" in
    "$identity_line "?": $KT_INQUIRY  $KT_DEVICE") ;;
    *) problem="${problem:-no line '$identity_line X: $KT_INQUIRY  $KT_DEVICE'}" ;;
esac
[ "$(grep -c . /tmp/list.txt)" -eq 1 ] || problem="${problem:-not exactly one line}"
record list
verdict "list: identity line of the module's INQUIRY data and the sg node" "$problem"

run list-json "$bin/flashutil" --list --json
problem=""
[ $rc -eq 0 ] || problem="exit code $rc"
for field in "\"vendor\": \"$VENDOR\"" "\"product\": \"$PRODUCT\"" "\"revision\": \"$REVISION\"" \
    "\"device\": \"$KT_DEVICE\"" "\"scsi_address\": \"$KT_ADDRESS\"" "\"virtual\": false" \
    "\"identity\": \"$identity_line "; do
    has list-json "$field" || problem="${problem:-missing $field}"
done
record list-json
verdict "list --json: vendor, product, revision, node and SCSI address $KT_ADDRESS" "$problem"

run list-utility "$utility" --list --json
problem=""
has list-utility '"qualifies": true' || problem="the drive does not qualify for the built utility"
verdict "list --json of the built utility: the drive qualifies" "$problem"

# The flash run. The module never reports "medium not present": TEST UNIT READY and READ
# CAPACITY both succeed after the load, so the drive looks as if it held a disc and the
# run must stop at the readiness wait with "Remove disc, before to do the flash task.",
# before anything is sent to the drive's memory.
echo "== [$(cut -d" " -f1 /proc/uptime)s] flash run on the module drive"
load_drive || fail "reload scsi_debug"
run flash "$utility" --cli --yes --trace /tmp/flash.trace --trace-data
problem=""
[ $rc -eq 6 ] || problem="exit code $rc, expected 6 (failed before the commit)"
has flash "Update FW:1.00 to FW:1.01 ?" || problem="${problem:-no confirmation of 1.00 to 1.01}"
has flash "Remove disc, before to do the flash task." || problem="${problem:-no 'Remove disc' message}"
has flash "$identity_line " || problem="${problem:-the drive is not offered}"
cdbs_and_sense /tmp/flash.trace > /tmp/flash.seq
# Before the run only INQUIRY; from the load on exactly load, one TEST UNIT READY and the
# disc test, these two answered without sense. (The load's answer is not judged by the
# program; a fresh module device may still hold its power-on unit attention for it.)
sed -n "/^$LOAD/,\$p" /tmp/flash.seq | sed 1d > /tmp/flash.run
printf '%s\n' "$TUR 0,0,0" "$READCAP 0,0,0" > /tmp/flash.expected
grep -q "^$LOAD" /tmp/flash.seq || problem="${problem:-no load (START STOP UNIT 03)}"
cmp -s /tmp/flash.run /tmp/flash.expected || problem="${problem:-the trace from the load on differs}"
sed "/^$LOAD/,\$d" /tmp/flash.seq | grep -qv '^12' && problem="${problem:-commands other than INQUIRY before the load}"
grep -qE "^(3b|3c)" /tmp/flash.seq && problem="${problem:-WRITE/READ BUFFER sent although the drive holds a disc}"
record flash /tmp/flash.seq
verdict "flash run: stops at 'Remove disc', trace load/TUR/READ CAPACITY, nothing written" "$problem" /tmp/flash.seq
recording flash $rc

# The installed program given the utility as a file flashes it as data, exactly as the
# utility does when run itself: the same commands from the load on, the same refusal.
load_drive || fail "reload scsi_debug"
run asfile "$bin/flashutil" --cli --yes --trace /tmp/asfile.trace "$utility"
problem=""
[ $rc -eq 6 ] || problem="exit code $rc, expected 6 as the utility itself"
has asfile "Remove disc, before to do the flash task." || problem="${problem:-no 'Remove disc' message}"
cdbs_and_sense /tmp/asfile.trace > /tmp/asfile.seq
sed -n "/^$LOAD/,\$p" /tmp/asfile.seq | sed 1d > /tmp/asfile.run
cmp -s /tmp/asfile.run /tmp/flash.expected || problem="${problem:-the trace from the load on differs from what the utility sends}"
sed "/^$LOAD/,\$d" /tmp/asfile.seq | grep -qv '^12' && problem="${problem:-commands other than INQUIRY before the load}"
record asfile /tmp/asfile.seq
verdict "the installed program flashes the utility given as a file as the utility itself does" "$problem" /tmp/asfile.seq

# A drive whose revision is outside the utility's range: detected, but it does not qualify.
load_drive inq_rev=2.00 || fail "reload scsi_debug with revision 2.00"
run outofrange "$utility" --cli --yes --trace /tmp/outofrange.trace --trace-data
problem=""
[ $rc -eq 3 ] || problem="exit code $rc, expected 3 (no drive qualifies)"
has outofrange "no drive qualifies for this firmware" || problem="${problem:-no 'no drive qualifies'}"
record outofrange
verdict "flash run on a drive of revision 2.00: no drive qualifies" "$problem"
recording outofrange $rc

# A profile image from a utility built without the maker's flash-chip profiles: the stand-ins
# exist only on the virtual drive, so on the real sg driver it is refused with nothing sent
# (not even the flash ID): the trace holds the INQUIRYs of the detection and nothing else.
load_drive || fail "reload scsi_debug"
run profiles "$bin/1.02.EXE" --cli --yes --trace /tmp/profiles.trace
problem=""
[ $rc -eq 6 ] || problem="exit code $rc, expected 6 (failed before the commit)"
has profiles "$KT_DEVICE: this firmware needs the flash-chip profiles" || problem="${problem:-no refusal naming $KT_DEVICE}"
cdbs_and_sense /tmp/profiles.trace > /tmp/profiles.seq
grep -q '^12' /tmp/profiles.seq || problem="${problem:-no INQUIRY in the trace}"
grep -qv '^12' /tmp/profiles.seq && problem="${problem:-commands other than INQUIRY were sent}"
record profiles /tmp/profiles.seq
verdict "profile image without the maker's profiles: refused on the sg driver, only INQUIRY sent" "$problem" /tmp/profiles.seq

# Busy: a drive that answers "becoming ready" (02/04/01) for its first seconds keeps the
# first copy polling in the readiness wait, holding the drive; a second copy started then
# must be refused as busy. When the drive is ready the first copy goes on as above.
echo "== [$(cut -d" " -f1 /proc/uptime)s] second copy while the first holds the drive"
load_drive tur_ms_to_ready=12000 || fail "reload scsi_debug with tur_ms_to_ready"
rm -f /tmp/first.trace
"$utility" --cli --yes --trace /tmp/first.trace > /tmp/first.txt 2>&1 < /dev/null &
first=$!
waited=0
until grep -q "\"cdb\": \"$TUR\"" /tmp/first.trace 2>/dev/null || [ $waited -ge 150 ]; do
    sleep 0.1
    waited=$((waited + 1))
done
kill -0 $first 2>/dev/null && first_was_running=1 || first_was_running=0
run second "$utility" --cli --yes
second_rc=$rc
run second-list "$bin/flashutil" --list
second_list_rc=$rc
wait $first
first_rc=$?
problem=""
[ $first_was_running -eq 1 ] || problem="the first copy had ended before the second started"
[ $second_rc -eq 5 ] || problem="second copy: exit code $second_rc, expected 5 (busy)"
has second "Device or resource busy" || problem="${problem:-second copy: no 'Device or resource busy'}"
has second "$KT_DEVICE" || problem="${problem:-second copy: the message does not name $KT_DEVICE}"
grep -qE "Update FW|Remove disc" /tmp/second.txt && problem="${problem:-second copy went on to a run}"
record second
verdict "busy: a second copy is refused while the first runs" "$problem"
problem=""
[ $second_list_rc -eq 5 ] || problem="exit code $second_list_rc, expected 5 (busy)"
has second-list "Device or resource busy" || problem="${problem:-no 'Device or resource busy'}"
verdict "busy: --list while the first copy runs says the drive is busy" "$problem"
cdbs_and_sense /tmp/first.trace > /tmp/first.seq
problem=""
[ $first_rc -eq 6 ] || problem="first copy: exit code $first_rc, expected 6"
has first "Remove disc, before to do the flash task." || problem="${problem:-first copy: no 'Remove disc'}"
grep -q "^$TUR 2,4,1\$" /tmp/first.seq || problem="${problem:-no TEST UNIT READY answered 02/04/01}"
sed -n "/^$LOAD/,\$p" /tmp/first.seq | grep -v "^$TUR 2,4,1\$" > /tmp/first.rest
printf '%s\n' "$TUR 0,0,0" "$READCAP 0,0,0" > /tmp/first.expected
sed 1d /tmp/first.rest | cmp -s - /tmp/first.expected || problem="${problem:-after the becoming-ready polls: not TUR, READ CAPACITY}"
grep -qE "^(3b|3c)" /tmp/first.seq && problem="${problem:-WRITE/READ BUFFER sent}"
record first /tmp/first.seq
verdict "busy: the first copy polls through 02/04/01 and then stops at 'Remove disc'" "$problem" /tmp/first.seq
load_drive || fail "reload scsi_debug"

# Permission: the node is root's alone (0600); an ordinary user may not open it.
echo "== [$(cut -d" " -f1 /proc/uptime)s] a user without access to the node"
run_as_nobody denied-cli "$utility" --cli --yes
problem=""
[ $rc -eq 5 ] || problem="exit code $rc, expected 5 (permission denied)"
has denied-cli "Error opening: 13, Drive: $KT_DEVICE" || problem="${problem:-no 'Error opening: 13, Drive: $KT_DEVICE'}"
has denied-cli "Permission denied" || problem="${problem:-no 'Permission denied'}"
record denied-cli
verdict "permission: --cli as a user without access" "$problem"
run_as_nobody denied-list "$bin/flashutil" --list
problem=""
[ $rc -eq 5 ] || problem="exit code $rc, expected 5 (permission denied)"
has denied-list "Permission denied" || problem="${problem:-no 'Permission denied'}"
has denied-list "$KT_DEVICE" || problem="${problem:-the message does not name $KT_DEVICE}"
verdict "permission: --list as a user without access" "$problem"


# ---------------------------------------------------------------------------------------
# Drives the guest's kernel serves itself, each flashed completely (kernel-drive-checks.sh).
. /payload/kernel-drive-checks.sh

# ---------------------------------------------------------------------------------------
# QEMU's own drives: ATAPI (ide-cd), virtio-scsi, USB Bulk-Only (usb-bot) and USB Attached
# SCSI (usb-uas), each a CD drive without a disc; the SCSI ones answer INQUIRY with the
# identity above, the ATAPI one with QEMU's own (its utility is atapi-1.01.EXE).
echo "== [$(cut -d" " -f1 /proc/uptime)s] QEMU's drives: ATAPI, virtio-scsi, USB Bulk-Only, UAS"
rmmod scsi_debug 2>/dev/null
while read -r module; do
    insmod "/lib/modules/$module" 2>/dev/null || echo "guest: $module not loaded"
done < /lib/modules/drive-load-order
KINDS="atapi virtio-scsi usb-bot usb-uas"

# The kind of the drive behind sgN, from where sysfs places it.
kind_of() {
    path=$(readlink -f "/sys/class/scsi_generic/$1/device")
    case "$path" in
        */ata[0-9]*) echo atapi ;;
        */virtio[0-9]*) echo virtio-scsi ;;
        */usb[0-9]*)
            case "$(basename "$(readlink "${path%%/host[0-9]*}/driver")")" in
                usb-storage) echo usb-bot ;;
                uas) echo usb-uas ;;
                *) echo usb ;;
            esac ;;
        *) echo other ;;
    esac
}
# The generic node of the drive of that kind, once its block node is there too; "" when none.
node_of() {
    for sg in /sys/class/scsi_generic/sg*; do
        [ -e "$sg/device/block" ] && [ -e "/dev/${sg##*/}" ] || continue
        [ "$(kind_of "${sg##*/}")" = "$1" ] && { echo "/dev/${sg##*/}"; return; }
    done
}
block_of() { echo "/dev/$(ls "/sys/class/scsi_generic/${1#/dev/}/device/block")"; }
# Waits up to SECONDS for the drive of that kind to be there (present) or gone (absent).
wait_drive() { # wait_drive KIND present|absent SECONDS
    tries=0
    while [ $tries -lt $(($3 * 10)) ]; do
        found=$(node_of "$1")
        if [ "$2" = present ] && [ -n "$found" ]; then sleep 0.5; return 0; fi
        if [ "$2" = absent ] && [ -z "$found" ]; then return 0; fi
        sleep 0.1
        tries=$((tries + 1))
    done
    return 1
}
for kind in $KINDS; do
    wait_drive $kind present 40 || fail "$kind drive" "no sg node with a CD-ROM block node appeared"
done
sleep 1  # the kernel's own first commands to the new drives
utility_for() { [ "$1" = atapi ] && echo "$bin/atapi-1.01.EXE" || echo "$bin/1.01.EXE"; }
inquiry_for() { [ "$1" = atapi ] && echo "QEMU    QEMU DVD-ROM    1.00" || echo "$KT_INQUIRY"; }
serial_for() {
    case "$1" in atapi) echo KTATAPI0001 ;; virtio-scsi) echo KTVIRTIO0001 ;; usb-bot) echo KTUSBBOT0001 ;; usb-uas) echo KTUAS0001 ;; esac
}

run qemu-list "$bin/flashutil" --list
run qemu-list-json "$bin/flashutil" --list --json
record qemu-list
for kind in $KINDS; do
    node=$(node_of $kind)
    [ -n "$node" ] || continue
    problem=""
    [ $rc -eq 0 ] || problem="exit code $rc"
    line=$(grep -F "  $node" /tmp/qemu-list.txt)
    case "$line" in
        [0-9]*-[0-9]*-[0-9]*" "?": $(inquiry_for $kind)  $node") ;;
        *) problem="${problem:-no identity line for $node: '$line'}" ;;
    esac
    # Without udev the program still lists, with no serial and no by-id link.
    grep -A8 "\"device\": \"$node\"" /tmp/qemu-list-json.txt | grep -q '"serial": null' ||
        problem="${problem:-a serial without udev}"
    grep -q "\"block_node\": \"$(block_of $node)\"" /tmp/qemu-list-json.txt || problem="${problem:-no block node}"
    verdict "$kind: --list without udev names it, its identity, sg and sr nodes ($node)" "$problem"
done

# A flash run on each: as far as the emulated drive answers. What each command got back goes
# to the log ("answers KIND: CDB k,a,q"); the run must end at the command the drive refuses,
# exit 6, nothing read back and no commit. The drive menu shows the drive under the same
# address as --list.
for kind in $KINDS; do
    node=$(node_of $kind)
    [ -n "$node" ] || continue
    name=qemu-$kind
    run $name "$(utility_for $kind)" --cli --yes --device "$node" --trace /tmp/$name.trace --trace-data
    cdbs_and_sense /tmp/$name.trace > /tmp/$name.seq
    sed "s/^/answers $kind: /" /tmp/$name.seq
    problem=""
    [ $rc -eq 6 ] || problem="exit code $rc, expected 6 (failed before the commit)"
    has $name "Update FW:1.00 to FW:1.01 ?" || problem="${problem:-no confirmation of 1.00 to 1.01}"
    has $name "Write BIN to drive's DRAM... , Fail! " || problem="${problem:-not stopped in the upload}"
    has $name "Remove disc" && problem="${problem:-'Remove disc' for a drive without a disc}"
    menu=$(sed -n 's/^\* //p' /tmp/$name.txt)
    list=$(grep -F "  $node" /tmp/qemu-list.txt)
    [ "$menu  $node" = "$list" ] || problem="${problem:-menu line '$menu' is not the --list line '$list'}"
    grep -qE '^3c|^3b[0-9a-f]{16}(80|a0)' /tmp/$name.seq && problem="${problem:-read back or commit sent}"
    last_end | grep -q '"outcome": *"failed_before_commit"' || problem="${problem:-history: no failed_before_commit}"
    record $name
    verdict "$kind: flash run stops at the command the drive refuses, nothing committed" "$problem"
    [ $kind = usb-bot ] && recording $name $rc
done

# The claim on a USB drive: while a run holds it (paused right before its first WRITE BUFFER),
# a second copy is refused as busy.
echo "== [$(cut -d" " -f1 /proc/uptime)s] USB drive claimed by a run"
shim=/payload/pause-shim.so
# Starts a run paused at the first command matching CDB-PATTERN (pause-shim.c); sets $paused_pid.
start_paused() { # start_paused NAME CDB-PATTERN STAND-IN(0|1) COMMAND...
    name=$1 pattern=$2 standin=$3
    shift 3
    rm -f /tmp/paused
    KT_PAUSE_CDB=$pattern KT_PAUSE_FILE=/tmp/paused KT_STAND_IN_MEMORY=$standin LD_PRELOAD=$shim \
        "$@" > "/tmp/$name.txt" 2>&1 < /dev/null &
    paused_pid=$!
    tries=0
    until [ -s /tmp/paused ] || [ $tries -ge 600 ]; do
        kill -0 $paused_pid 2>/dev/null || return 1
        sleep 0.1
        tries=$((tries + 1))
    done
    [ -s /tmp/paused ]
}
# Lets the paused run go on and waits for its end, at most SECONDS; sets $rc (124: it hung).
resume() { # resume SECONDS
    kill -CONT $paused_pid
    tries=0
    while kill -0 $paused_pid 2>/dev/null && [ $tries -lt $(($1 * 10)) ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    if kill -0 $paused_pid 2>/dev/null; then
        kill -9 $paused_pid
        wait $paused_pid
        rc=124
    else
        wait $paused_pid
        rc=$?
    fi
}
node=$(node_of usb-bot)
if start_paused usb-hold 3b05 0 "$bin/1.01.EXE" --cli --yes --device "$node"; then
    run usb-second "$bin/1.01.EXE" --cli --yes --device "$node"
    problem=""
    [ $rc -eq 5 ] || problem="exit code $rc, expected 5 (busy)"
    has usb-second "Device or resource busy" || problem="${problem:-no 'Device or resource busy'}"
    has usb-second "$node" || problem="${problem:-the message does not name $node}"
    record usb-second
    verdict "usb-bot: a second copy is refused while a run holds the drive" "$problem"
    resume 90
else
    fail "usb-bot: the held run did not reach its first WRITE BUFFER"
    show usb-hold
fi

# udev: Debian's systemd-udevd, started now; the serial numbers and by-id links come from its
# database for every kind of drive.
echo "== [$(cut -d" " -f1 /proc/uptime)s] udev"
mkdir -p /run && mount -t tmpfs tmpfs /run
/lib/systemd/systemd-udevd --daemon --resolve-names=never > /tmp/udevd.txt 2>&1
# Only the drives' own nodes: their rules read what they need of the parents from sysfs.
udevadm trigger --action=add --subsystem-match=block --subsystem-match=scsi_generic
udevadm settle --timeout=60 || fail "udev" "udevadm settle did not finish"
run udev-list "$bin/flashutil" --list --json
for kind in $KINDS; do
    node=$(node_of $kind)
    [ -n "$node" ] || continue
    problem=""
    entry=$(grep -A10 "\"device\": \"$node\"" /tmp/udev-list.txt)
    echo "$entry" | grep -q "\"serial\": \"$(serial_for $kind)\"" || problem="no serial $(serial_for $kind)"
    link=$(echo "$entry" | sed -n 's/.*"by_id": "\(.*\)",*$/\1/p')
    case "$link" in /dev/disk/by-id/*) ;; *) problem="${problem:-no by-id link}" ;; esac
    [ -n "$link" ] && [ "$(readlink -f "$link")" = "$(block_of $node)" ] ||
        problem="${problem:-by-id link '$link' does not lead to $(block_of $node)}"
    echo "udev $kind: serial $(serial_for $kind), by-id $link"
    verdict "$kind: serial and by-id link from udev's database" "$problem"
done

# A USB drive pulled out through QEMU's monitor (device_del) at four points of a run: while the
# update question waits (before the load), in the upload, in the read-back and in the commit.
# The run is paused right before that command (pause-shim.c), the drive is pulled out, the run
# goes on and meets the kernel's answer for a drive that is gone. The emulated drive refuses
# WRITE BUFFER, so for the read-back and the commit the shim answers the upload and read-back
# transfers in place of the drive's memory; the command at the point itself goes to the kernel.
# Each time the drive is plugged in again (device_add) and --list must find it.
echo "== [$(cut -d" " -f1 /proc/uptime)s] a USB drive pulled out during a run"
plugged=1
unplug_usb() {
    echo "KTEST-MONITOR device_del bot$plugged"
    wait_drive usb-bot absent 30
}
replug_usb() {
    plugged=$((plugged + 1))
    echo "KTEST-MONITOR device_add usb-bot,bus=xhci.0,id=bot$plugged,serial=KTUSBBOT0001"
    echo "KTEST-MONITOR device_add scsi-cd,bus=bot$plugged.0,id=botcd$plugged,vendor=$VENDOR,product=$PRODUCT,ver=$REVISION,serial=KTUSBBOT0001"
    echo "KTEST-MONITOR qom-set /machine/peripheral/bot$plugged attached true"
    wait_drive usb-bot present 40
}
for point in "question:1b0000000300:0:6:readiness_wait:while it was being made ready" \
    "upload:3b05:0:6:image_upload:before the commit" \
    "read-back:3c:1:6:read_back:before the commit" \
    "commit:3b050100000000000080:1:7:commit:during the commit"; do
    IFS=: read -r where pattern standin want step said <<EOF
$point
EOF
    name=gone-$where
    node=$(node_of usb-bot)
    [ -n "$node" ] || { fail "unplug in the $where" "no USB Bulk-Only drive"; continue; }
    if ! start_paused $name $pattern $standin "$bin/1.01.EXE" --cli --yes --device "$node"; then
        fail "unplug in the $where" "the run did not reach the point"
        show $name
        continue
    fi
    unplug_usb || fail "unplug in the $where" "the drive did not go away"
    resume 90
    problem=""
    [ $rc -ne 124 ] || problem="the run hung"
    [ $rc -eq $want ] || problem="${problem:-exit code $rc, expected $want}"
    has $name "The drive $node stopped answering (No such device) $said" ||
        problem="${problem:-no 'The drive $node stopped answering (No such device) $said'}"
    has $name "Remove disc" && problem="${problem:-'Remove disc'}"
    has $name "restarted for the changes" && problem="${problem:-a restart offered}"
    end=$(last_end)
    echo "$end" | grep -q "\"step\": *\"$step\"" || problem="${problem:-history: not ended at $step}"
    echo "$end" | grep -q '"system_error": *19' || problem="${problem:-history: no system error 19 (ENODEV)}"
    record $name
    echo "    history: $end"
    verdict "usb-bot pulled out in the $where: exit $want, the drive and its loss named, recorded" "$problem"
    replug_usb || fail "usb-bot plugged in again after the $where" "no drive appeared"
done
run again "$bin/flashutil" --list
problem=""
grep -q ": $KT_INQUIRY  $(node_of usb-bot)\$" /tmp/again.txt || problem="not listed"
record again
verdict "usb-bot plugged in again (the fourth time): --list finds it" "$problem"

# A run of many drives (virtio-scsi, USB Bulk-Only, UAS qualify) where the USB Bulk-Only drive
# is pulled out before its first WRITE BUFFER: its run ends saying so, the others go on to
# their own end (the refusal of WRITE BUFFER).
echo "== [$(cut -d" " -f1 /proc/uptime)s] a USB drive pulled out of a run of many drives"
node=$(node_of usb-bot)
other=$(node_of virtio-scsi)
if KT_PAUSE_NODE=$node start_paused tower 3b05 0 "$bin/1.01.EXE" --cli --all --yes; then
    unplug_usb || fail "tower" "the drive did not go away"
    resume 90
    problem=""
    [ $rc -eq 6 ] || problem="exit code $rc, expected 6"
    has tower "$node stopped answering (No such device) before the commit" ||
        problem="${problem:-no loss of $node}"
    has tower "$other: WRITE BUFFER failed: Not Ready, Medium not present" ||
        problem="${problem:-$other did not go on to its own end}"
    record tower
    verdict "tower: the pulled-out USB drive fails alone, the other drives go on" "$problem"
    replug_usb || fail "usb-bot plugged in again after the tower run" "no drive appeared"
else
    fail "tower" "the run did not reach the USB drive's first WRITE BUFFER"
    show tower
fi

# A disc put into the UAS drive and mounted: a run refuses the drive before any command of
# its own, naming the mount; once unmounted the run stops at "Remove disc".
echo "== [$(cut -d" " -f1 /proc/uptime)s] a disc mounted in the UAS drive"
node=$(node_of usb-uas)
block=$(block_of "$node")
echo "KTEST-MONITOR change uasdisc @WORK@/disc.img raw read-only"
tries=0
until dd if="$block" of=/dev/null bs=2048 count=1 2>/dev/null || [ $tries -ge 200 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
mkdir -p /mnt/disc
if mount -t ext4 -o ro "$block" /mnt/disc; then
    run mounted "$bin/1.01.EXE" --cli --yes --device "$node" --trace /tmp/mounted.trace
    problem=""
    [ $rc -eq 5 ] || problem="exit code $rc, expected 5"
    has mounted "$block has a disc mounted at /mnt/disc; unmount it (umount /mnt/disc) and try again" ||
        problem="${problem:-no refusal naming the mount}"
    cdbs /tmp/mounted.trace | grep -qv '^12' && problem="${problem:-commands other than INQUIRY sent}"
    record mounted
    verdict "usb-uas: a mounted disc refuses the run before it sends anything" "$problem"
    umount /mnt/disc
    run disc "$bin/1.01.EXE" --cli --yes --device "$node" --trace /tmp/disc.trace
    cdbs_and_sense /tmp/disc.trace | sed "s/^/answers usb-uas with a disc: /"
    problem=""
    [ $rc -eq 6 ] || problem="exit code $rc, expected 6"
    has disc "Remove disc, before to do the flash task." || problem="${problem:-no 'Remove disc'}"
    grep -q '"cdb": "3b' /tmp/disc.trace && problem="${problem:-WRITE BUFFER sent}"
    verdict "usb-uas with a disc, unmounted: the run stops at 'Remove disc'" "$problem"
else
    fail "usb-uas: the disc could not be mounted"
fi

echo "== [$(cut -d" " -f1 /proc/uptime)s] $failures failed"
exit $failures
