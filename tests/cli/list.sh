#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# flashutil --list: virtual drives are listed with their identity line and a path marked
# virtual, never unless asked for; bad virtual-drive options are usage errors naming the
# option; no drive means nothing on standard output, a message and exit code 3.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

run() { run_command "$1" "$flashutil" "${@:2}"; }  # run NAME ARGS...: one run of the program

# One virtual drive: its identity line, then its path, marked virtual.
run one --list --virtual-drive
[ "$(rc one)" = 0 ] || fail "--list --virtual-drive exit $(rc one)"
[ "$(out one)" = "0-0-0 V: VIRTUAL OPTICAL DRIVE   1.00  virtual:0 (virtual drive)" ] ||
    fail "--list --virtual-drive printed: $(out one)"
[ -s "$work/one.err" ] && fail "--list --virtual-drive wrote to stderr: $(err one)"

# Options shape the drives: three of them, with the identity asked for.
run three --list "--virtual-drive=count=3,inquiry=ACME    CD-RW RW5200,rev=R110"
[ "$(rc three)" = 0 ] || fail "count=3 exit $(rc three)"
[ "$(wc -l < "$work/three.out")" = 3 ] || fail "count=3 printed $(wc -l < "$work/three.out") lines"
for i in 0 1 2; do
    grep -qx "0-$i-0 V: ACME    CD-RW RW5200    R110  virtual:$i (virtual drive)" "$work/three.out" ||
        fail "drive $i missing: $(out three)"
done

# --json: one document {"schema": ..., "drives": [...]} with the documented keys, also when no drive is
# found (the exit code stays that of no drive). Read with a JSON parser, as tools do.
run json --list --virtual-drive=count=2 --json
[ "$(rc json)" = 0 ] || fail "--json exit $(rc json)"
run jsonnone --list --virtual-drive=count=0 --json
[ "$(rc jsonnone)" = 3 ] || fail "--json without drives exit $(rc jsonnone), want 3"
python3 - "$work/json.out" "$work/jsonnone.out" <<'PY' || fail "--json documents: $(out json) / $(out jsonnone)"
import json, sys
drives = json.load(open(sys.argv[1]))["drives"]
assert len(drives) == 2, drives
for i, d in enumerate(drives):
    assert d["identity"] == "0-%d-0 V: VIRTUAL OPTICAL DRIVE   1.00" % i, d
    assert (d["vendor"], d["product"], d["revision"]) == ("VIRTUAL", "OPTICAL DRIVE", "1.00"), d
    assert d["device"] == d["generic_node"] == "virtual:%d" % i and d["virtual"] is True, d
    assert d["block_node"] is None and d["by_id"] is None and d["serial"] == "VIRTUAL-%d" % i, d
    assert d["scsi_address"] == "0:0:%d:0" % i, d
    # A blank copy qualifies no drive, says why, and installs no revision.
    assert d["qualifies"] is False and "blank" in d["not_qualified_because"], d
    assert d["new_revision"] is None, d
assert json.load(open(sys.argv[2])) == {"schema": "flashutil-list/1", "drives": []}
PY

# -v: below each drive's line, its id and serial, as --list --json gives them.
run verbose --list -v --virtual-drive=count=2
[ "$(grep -v '^    drive id ' "$work/verbose.out")" = "$(out three | sed 's/ACME    CD-RW RW5200    R110/VIRTUAL OPTICAL DRIVE   1.00/' | head -n 2)" ] ||
    fail "--list -v: the drives' lines changed: $(out verbose)"
[ "$(grep '^    drive id ' "$work/verbose.out")" = "$(jq -r '.drives[] | "    drive id \(.device_id), serial \(.serial)"' "$work/json.out")" ] ||
    fail "--list -v: the ids and serials are not those of --list --json: $(out verbose)"

# Bad options: exit 2, a message naming the option, nothing listed.
for bad in "speed=4" "count=many" "fail=3:2/3A/00" "rev=TOOLONG"; do
    run bad --list "--virtual-drive=$bad"
    [ "$(rc bad)" = 2 ] || fail "--virtual-drive=$bad exit $(rc bad), want 2"
    [ -s "$work/bad.out" ] && fail "--virtual-drive=$bad listed: $(out bad)"
    name=${bad%%=*}
    grep -q -- "$name" "$work/bad.err" || fail "--virtual-drive=$bad message does not name it: $(err bad)"
done
run both --list --virtual-drive --device /dev/sg0
[ "$(rc both)" = 2 ] || fail "--device with --virtual-drive exit $(rc both), want 2"

# No drive at all: nothing on stdout, a message with the program's prefix, exit 3.
run none --list --virtual-drive=count=0
[ "$(rc none)" = 3 ] || fail "count=0 exit $(rc none), want 3"
[ -s "$work/none.out" ] && fail "count=0 listed: $(out none)"
grep -q "^flashutil: No optical drive found" "$work/none.err" || fail "count=0 said: $(err none)"

# Drives that fail INQUIRY are left out; drives that cannot be opened are reported.
run deaf --list --virtual-drive=count=2,fail=1:04/44/00
[ "$(rc deaf)" = 3 ] || fail "drives failing INQUIRY: exit $(rc deaf), want 3"
run denied --list --virtual-drive=open-error=EACCES
[ "$(rc denied)" = 5 ] || fail "denied drive: exit $(rc denied), want 5"
grep -q "Error opening: 13, Drive: virtual:0" "$work/denied.err" || fail "denied drive said: $(err denied)"
[ -s "$work/denied.out" ] && fail "denied drive listed: $(out denied)"

# This machine's own drives: virtual ones are never listed unasked. Without any optical
# drive the list is empty, says so and exits 3.
run real --list
grep -q "virtual" "$work/real.out" && fail "--list showed virtual drives unasked: $(out real)"
has_drive=0
for t in /sys/class/scsi_generic/*/device/type; do
    [ -r "$t" ] && [ "$(cat "$t")" = 5 ] && has_drive=1
done
if [ $has_drive = 0 ]; then
    [ "$(rc real)" = 3 ] || fail "--list without drives exit $(rc real), want 3"
    [ -s "$work/real.out" ] && fail "--list without drives printed: $(out real)"
    grep -q "No optical drive found" "$work/real.err" || fail "--list without drives said: $(err real)"
fi
# A --device that is no optical drive's node is a usage error: exit 2, named in the message.
run nodev --list --device /nonexistent/sg9
[ "$(rc nodev)" = 2 ] || fail "--device to nothing exit $(rc nodev), want 2"
grep -q "/nonexistent/sg9" "$work/nodev.err" || fail "--device to nothing said: $(err nodev)"
: >"$work/plain-file"
run plaindev --list --device "$work/plain-file"
[ "$(rc plaindev)" = 2 ] || fail "--device to a regular file exit $(rc plaindev), want 2"
grep -q "plain-file" "$work/plaindev.err" || fail "--device to a regular file said: $(err plaindev)"

[ $failures = 0 ] || exit 1
echo "list OK"
