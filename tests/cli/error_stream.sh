#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every way the terminal flash fails on the virtual drive ends with its exit code and a
# "flashutil: " line on standard error naming the device and the cause, whatever the run
# showed the person; a busy or denied drive is named before the report of no drive found.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
# A model whose range takes in the new revision, for a drive already up to date.
mkdir "$work/wide"
model_ini | sed 's/^FW-Range=.*/FW-Range=1.00-1.30/' > "$work/wide/flashutil.INI"
cp "$work/flashutil" "$work/wide/"
cp "$work/R120.BIN" "$work/wide/1.20.BIN"
(cd "$work/wide" && ./flashutil --build --model 0 --image 1.20.BIN > /dev/null 2>&1) || fail "no wide copy"

# The commit is the last command of a full run; its number aims a fault at it.
run_command trace "$built" --cli --yes -q --virtual-drive --trace "$work/trace.json"
commit=$(grep '"cdb"' "$work/trace.json" | grep -n '"cdb": "3b' | tail -1 | cut -d: -f1)
readback=$(grep '"cdb"' "$work/trace.json" | grep -n '"cdb": "3c' | head -1 | cut -d: -f1)

row=0
# copy | options | exit code | the stderr line (an extended regular expression, whole line)
while IFS='|' read -r copy options code line; do
    name=case$((++row))
    run_command "$name" "$work/$copy" --cli --yes -q $options
    [ "$(rc "$name")" = "$code" ] || fail "$options: exit $(rc "$name"), want $code: $(err "$name")"
    grep -qxE "flashutil: $line" "$work/$name.err" || fail "$options: no line '$line' on stderr: $(err "$name")"
done << EOF
R120.EXE|--virtual-drive=disc=1|6|virtual:0: a disc is in the tray; remove it and run the update again \(nothing was sent to the drive\)
wide/1.20.EXE|--virtual-drive=rev=1.20|10|virtual:0: the drive already has revision 1.20, and this firmware's 1.20 is not newer; nothing was sent to the drive
R120.EXE|--virtual-drive=rev=1.11|3|no drive qualifies for this firmware
R120.EXE|--virtual-drive=fail=7:05/24/00|6|virtual:0: WRITE BUFFER failed: Illegal Request, Invalid field in cdb
R120.EXE|--virtual-drive=status=8:08|6|virtual:0: WRITE BUFFER failed: status Busy
R120.EXE|--virtual-drive=timeout=8|6|virtual:0: WRITE BUFFER: the drive did not answer within 60 seconds \(at: .*\)
R120.EXE|--virtual-drive=timeout=$commit|7|virtual:0: WRITE BUFFER: the drive did not answer within 180 seconds \(at: Flash Fail\.\); whether it wrote its flash is unknown: .*
R120.EXE|--virtual-drive=unplug=2|6|virtual:0: the drive is gone: its node no longer leads to a device \(unplugged or switched off\); nothing was sent to it
R120.EXE|--virtual-drive=timeout=8 --all|6|virtual:0: WRITE BUFFER: the drive did not answer within 60 seconds \(at: .*\)
R120.EXE|--virtual-drive=timeout=3|6|virtual:0: [A-Z ]+: the drive did not answer within 60 seconds( \(at: .*\))?
R120.EXE|--virtual-drive=error=14:ENODEV|6|virtual:0: the drive stopped answering \(No such device\) \(at: .*\)
R120.EXE|--virtual-drive=error=8:EIO|6|virtual:0: Input/output error \(at: .*\)
R120.EXE|--virtual-drive=corrupt=$readback|6|virtual:0: failed before the commit \(at: .*\); the drive's flash is unchanged
R120.EXE|--virtual-drive=fail=$commit:03/0C/00|7|virtual:0: WRITE BUFFER failed: Medium Error, .*
R120.EXE|--virtual-drive=open-error=EACCES|5|virtual:0: Permission denied; the drive can't be opened: run as a user allowed to use it
R120.EXE|--virtual-drive=open-error=EBUSY|5|virtual:0: Device or resource busy; another program holds the drive: close it and run again
R120.EXE|--virtual-drive=open-error=EBUSY --all|5|virtual:0: Device or resource busy; another program holds the drive: close it and run again
R120.EXE|--virtual-drive=disc=1,count=2 --all|6|not every drive completed; virtual:0: not flashed: a disc is in the tray; virtual:1: .*
wide/1.20.EXE|--virtual-drive=rev=1.20 --all|10|every qualifying drive already has this firmware revision or a newer one
EOF

# The real cause comes first: a drive busy or denied before the report of no drive found.
for error in EACCES EBUSY; do
    run_command first "$built" --cli --yes --virtual-drive=open-error=$error
    first=$(grep -n -m1 '^flashutil: virtual:0: ' "$work/first.err" | cut -d: -f1)
    report=$(grep -n -m1 "Can't find ATAPI Drive" "$work/first.err" | cut -d: -f1)
    [ -n "$first" ] && [ -n "$report" ] && [ "$first" -lt "$report" ] ||
        fail "$error: the cause does not come before the report: $(err first)"
done

[ "$failures" = 0 ] && echo "all error stream checks passed"
exit $((failures > 0))
