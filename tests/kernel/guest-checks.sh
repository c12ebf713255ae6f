# SPDX-License-Identifier: Apache-2.0
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
export FLASHUTIL_HISTORY=/tmp/history.jsonl  # the runs' records stay in the guest's scratch space

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

# ---------------------------------------------------------------------------------------
# The program itself. Output of each run goes to /tmp/NAME.txt (both streams), its exit
# code to $rc; a failed check shows the output.
utility=$bin/1.01.EXE   # built for this drive: revision 1.00 in range, 1.01 new

run() {
    name=$1
    shift
    "$@" > "/tmp/$name.txt" 2>&1 < /dev/null
    rc=$?
}
run_as_nobody() {
    name=$1
    shift
    as_nobody "$* > /tmp/$name.txt 2>&1 < /dev/null"
    rc=$?
}
has() { grep -qF -- "$2" "/tmp/$1.txt"; }
show() { sed 's/^/    | /' "/tmp/$1.txt"; [ -z "$2" ] || sed 's/^/    > /' "$2"; }
# What a run printed and the commands it sent, for the record in the test log.
record() { # record NAME [SEQUENCE-FILE]
    sed 's/^/    | /' "/tmp/$1.txt"
    [ -z "$2" ] || uniq -c "$2" | sed 's/^ */    > /'
}
# A run's recording (--trace-data), its output and exit code go out on the console between
# markers; the host keeps them (run-kernel-checks.sh) for the replays of the ordinary suite.
recording() { # recording NAME EXIT-CODE
    echo "KTEST-RECORDING $1 $2"
    cat "/tmp/$1.trace"
    echo "KTEST-OUTPUT $1"
    cat "/tmp/$1.txt"
    echo "KTEST-RECORDING-END $1"
}
verdict() { # verdict NAME PROBLEM [TRACE]: PASS when PROBLEM is empty
    if [ -z "$2" ]; then pass "$1"; else fail "$1" "$2"; show "$1" "$3"; fi
}
# The CDBs of a trace, one per line.
cdbs() { sed -n 's/.*"cdb": "\([0-9a-f]*\)".*/\1/p' "$1"; }
# The CDBs with their sense triples (decimal, as the trace writes them): "cdb k,a,q".
cdbs_and_sense() {
    sed -n 's/.*"cdb": "\([0-9a-f]*\)".*"sense": \[\([0-9]*\), \([0-9]*\), \([0-9]*\)\].*/\1 \2,\3,\4/p' "$1"
}
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

echo "== [$(cut -d" " -f1 /proc/uptime)s] $failures failed"
exit $failures
