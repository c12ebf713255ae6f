#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# flashutil --cli on the virtual drive: a built copy flashes it to "Flash Completed.",
# consent is never assumed without a terminal, failures give their exit codes, and
# --trace writes one JSON line per command.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

# A built copy: a blank copy beside its model INI builds one from a synthetic image.
model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
run() { run_command "$@"; }

# 1. A full run with --yes ends in "Flash Completed." and exit 0.
run ok "$built" --cli --yes --virtual-drive --trace "$work/trace.json"
[ "$(rc ok)" = 0 ] || fail "full run exit $(rc ok), want 0"
grep -qx 'Flash Completed.' "$work/ok.out" || fail "no 'Flash Completed.' line"
grep -q '^Do you wish to continue?$' "$work/ok.out" || fail "warning text not shown"
grep -qx 'Acme Flash Utility V1.048 forRW-5200' "$work/ok.out" || fail "caption not shown"
grep -qx '\[y/N\] no (--yes)' "$work/ok.out" || fail "--yes must answer the restart question No"
grep -qx 'The drive is virtual: nothing will be restarted, whatever the answer.' "$work/ok.out" ||
    fail "the restart question on the virtual drive does not say that nothing will be restarted"
grep -qx 'Drive: 0-0-0 V: ACME    CD-RW RW5200    R120' "$work/ok.out" || fail "new revision not reported"
[ "$(grep -c '^Progress: ' "$work/ok.out")" -le 25 ] || fail "progress floods the output"

# --trace: one JSON object per line: first the drive's (as it was opened), then one per
# command, 12-byte CDBs in lower-case hex.
lines=$(wc -l < "$work/trace.json")
[ "$lines" -ge 71 ] || fail "trace has $lines lines, want the drive's and one per command (71 or more)"
bad=$(sed 1d "$work/trace.json" | grep -cvE '^\{"device": "virtual:0", "cdb": "[0-9a-f]{24}", "dir": "(in|out)", "len": [0-9]+, "status": [0-9]+, "sense": (null|\{"key": [0-9]+, "asc": [0-9]+, "ascq": [0-9]+, "words": "[^"]*"\}), "system_error": -?[0-9]+, "duration_ms": [0-9.]+, "error": -?[0-9]+, "ms": [0-9.]+, "schema": "flashutil-trace/1"\}$')
[ "$bad" = 0 ] || fail "$bad trace lines are not in the trace format"
if command -v python3 > /dev/null; then
    python3 -c 'import json,sys; [json.loads(l) for l in open(sys.argv[1])]' "$work/trace.json" ||
        fail "trace lines are not JSON"
fi
[ "$(grep -c '"cdb": "3b' "$work/trace.json")" = 33 ] || fail "want 32 chunk writes and one commit"
[ "$(grep -c '"cdb": "3c' "$work/trace.json")" = 32 ] || fail "want 32 chunk reads"
# The commit is the last WRITE BUFFER; its number lets a later case aim at it.
commit=$(grep '"cdb"' "$work/trace.json" | grep -n '"cdb": "3b' | tail -1 | cut -d: -f1)

# 2. Without a terminal and without --yes nothing is taken for granted.
run noterm "$built" --cli --virtual-drive --trace "$work/noterm.json"
[ "$(rc noterm)" = 4 ] || fail "no terminal without --yes: exit $(rc noterm), want 4"
grep -q -- '--yes' "$work/noterm.err" || fail "refusal does not say how to give consent"
[ ! -s "$work/noterm.json" ] || fail "refused run sent commands to the drive"

# 3. A failing chunk write stops the run before the commit, exit 6.
run upload "$built" --cli --yes --virtual-drive=fail=12:03/0C/00 --trace "$work/upload.json"
[ "$(rc upload)" = 6 ] || fail "failing upload: exit $(rc upload), want 6"
grep -q "^Write Buffer> 03 0C 00" "$work/upload.out" || fail "failing upload: no command message"
grep -qx "Write BIN to drive's DRAM... , Fail! " "$work/upload.out" || fail "failing upload: no suffix"
grep -q 'Flash Completed.' "$work/upload.out" && fail "failing upload reported as completed"
[ "$(grep -c '"cdb": "3b' "$work/upload.json")" -lt 33 ] || fail "failing upload: the commit was sent"
# ... and says on standard error, in words, which device and command failed and why.
grep -qx "flashutil: virtual:0: WRITE BUFFER failed: Medium Error, Write error" "$work/upload.err" ||
    fail "failing upload: no failure in words: $(err upload)"
grep -q "Write Buffer> " "$work/upload.err" && fail "failing upload: the command's text moved to stderr"

# 3a. --verbose: a line per command on standard error; --quiet: nothing but the errors.
run verbose "$built" --cli --yes -v --virtual-drive=fail=12:03/0C/00
[ "$(grep -c '^flashutil: virtual:0: WRITE BUFFER 3b05010[0-9a-f]* out 16384: good$' "$work/verbose.err")" -ge 5 ] ||
    fail "--verbose: no good chunk writes: $(head -5 "$work/verbose.err")"
grep -qx "flashutil: virtual:0: WRITE BUFFER 3b[0-9a-f]* out 16384: Medium Error, Write error" "$work/verbose.err" ||
    fail "--verbose: the failing write: $(err verbose)"
run quiet "$built" --cli --yes -q --virtual-drive
[ "$(rc quiet)" = 0 ] || fail "--quiet run: exit $(rc quiet)"
[ -s "$work/quiet.out" ] && fail "--quiet run printed: $(head -3 "$work/quiet.out")"
[ -s "$work/quiet.err" ] && fail "--quiet run wrote to stderr: $(err quiet)"
run quietfail "$built" --cli --yes -q --virtual-drive=fail=12:03/0C/00
[ "$(rc quietfail)" = 6 ] || fail "--quiet failing run: exit $(rc quietfail)"
grep -q "WRITE BUFFER failed" "$work/quietfail.err" || fail "--quiet hides the failure: $(err quietfail)"
# --all -q says what -q says for one drive: neither the questions nor their answers.
run quietall "$built" --cli --yes --all -q --virtual-drive=count=2
[ "$(rc quietall)" = 0 ] || fail "--all --quiet run: exit $(rc quietall): $(err quietall)"
[ -s "$work/quietall.out" ] && fail "--all --quiet run printed: $(head -3 "$work/quietall.out")"
[ -s "$work/quietall.err" ] && fail "--all --quiet run wrote to stderr: $(err quietall)"

# 3a'. Once a drive has failed to open, every later failure of any drive of the run shows its
# sense report, the second drive's here.
run senseafter "$built" --cli --yes --virtual-drive=open-error=EACCES --virtual-drive=fail=7:05/24/00
grep -q '^SenseCode: 05 24 00, 02' "$work/senseafter.out" "$work/senseafter.err" ||
    fail "after a failed open, the second drive's failure has no sense report: $(cat "$work/senseafter.out")"

# 3b. A drive that goes away in the middle of the upload, and one that goes away while the
# update question waits (its load is the first command to meet the loss): the device, the
# cause and what it means are named, never "Remove disc", and nothing is committed.
run gone "$built" --cli --yes --virtual-drive=error=14:ENODEV --trace "$work/gone.json"
[ "$(rc gone)" = 6 ] || fail "drive gone: exit $(rc gone), want 6"
grep -qx "The drive virtual:0 stopped answering (No such device) before the commit: it was unplugged, switched off or reset. The commit was not sent; its flash is unchanged. Connect it again and run the update again." \
    "$work/gone.err" || fail "drive gone: device and cause not named: $(cat "$work/gone.err")"
[ "$(grep -c '"cdb": "3b' "$work/gone.json")" -lt 33 ] || fail "drive gone: the commit was sent"
run goneready "$built" --cli --yes --virtual-drive=error=3:ENODEV --trace "$work/goneready.json"
[ "$(rc goneready)" = 6 ] || fail "drive gone before the load: exit $(rc goneready), want 6"
grep -q "^The drive virtual:0 stopped answering (No such device) while it was being made ready" \
    "$work/goneready.err" || fail "drive gone before the load: not said: $(err goneready)"
grep -q "Remove disc" "$work/goneready.out" "$work/goneready.err" && fail "drive gone before the load: 'Remove disc'"
grep -qE '"cdb": "(00|25|3b)' "$work/goneready.json" && fail "drive gone before the load: commands after the load"

# 3c. A drive late with its answer is not a drive unplugged: before the commit the run names
# the command and its time and says the flash is unchanged; a late commit says its flash state
# is unknown and what to do. The run's words and the error line tell the same story.
run late "$built" --cli --yes --virtual-drive=timeout=14
[ "$(rc late)" = 6 ] || fail "late drive: exit $(rc late), want 6"
grep -qx "The drive virtual:0 did not answer WRITE BUFFER within 60 seconds, before the commit. The commit was not sent; its flash is unchanged. Wait until the drive is idle (or restart the computer), then run the update again." \
    "$work/late.err" || fail "late drive: the timeout is not named: $(err late)"
grep -qx "flashutil: virtual:0: WRITE BUFFER: the drive did not answer within 60 seconds (at: .*)" "$work/late.err" ||
    fail "late drive: no error line: $(err late)"
run latecommit "$built" --cli --yes --virtual-drive=timeout=$commit
[ "$(rc latecommit)" = 7 ] || fail "late commit: exit $(rc latecommit), want 7"
grep -qx 'Flash Fail.' "$work/latecommit.out" || fail "late commit: no 'Flash Fail.'"
grep -q "^The drive virtual:0 did not answer the commit within 180 seconds. Whether it has written its flash is unknown: .*Don't switch off or unplug the drive or the computer now. Wait five minutes, then restart the computer and check the drive's revision (flashutil --list)" \
    "$work/latecommit.err" || fail "late commit: the unknown state and what to do are not said: $(err latecommit)"
grep -q "within 180 seconds (at: .*); whether it wrote its flash is unknown" "$work/latecommit.err" ||
    fail "late commit: the error line does not say the state is unknown: $(err latecommit)"
for name in late latecommit; do
    grep -q "unplugged, switched off\|was unplugged" "$work/$name.out" "$work/$name.err" &&
        fail "$name: a timeout called an unplug: $(err "$name")"
done

# 3d. A drive unplugged after the listing, while the update question waits: the run says it is
# gone (its node leads to no device), not that it is another device, and sends it nothing.
run unplugged "$built" --cli --yes --virtual-drive=unplug=2 --trace "$work/unplugged.json"
[ "$(rc unplugged)" = 6 ] || fail "unplugged drive: exit $(rc unplugged), want 6"
grep -qx "The drive virtual:0 is gone: its node no longer leads to a device (it was unplugged or switched off). Nothing was sent to it. Connect it again and run the update again." \
    "$work/unplugged.err" || fail "unplugged drive: not said it is gone: $(err unplugged)"
grep -qx "flashutil: virtual:0: the drive is gone: its node no longer leads to a device (unplugged or switched off); nothing was sent to it" \
    "$work/unplugged.err" || fail "unplugged drive: no error line: $(err unplugged)"
grep -q "another device" "$work/unplugged.err" && fail "unplugged drive: called another device"
grep -qE '"cdb": "(1b|00|3b)' "$work/unplugged.json" && fail "unplugged drive: commands were sent"

# 3e. A commit accepted, then an INQUIRY that does not answer: the run stays completed (its
# caption and exit 0), but its entry shows the revision as unknown, and the error stream says
# the revision is not confirmed and how to check it; --json says null, with the cause.
run unread "$built" --cli --yes --virtual-drive=timeout=$((commit + 1))
[ "$(rc unread)" = 0 ] || fail "unread revision: exit $(rc unread), want 0"
grep -qx 'Flash Completed.' "$work/unread.out" || fail "unread revision: no 'Flash Completed.'"
grep -qx 'Drive: 0-0-0 V: ACME    CD-RW RW5200 (revision unknown)' "$work/unread.out" ||
    fail "unread revision: the entry: $(grep '^Drive:' "$work/unread.out")"
grep -q '^Drive: 0$' "$work/unread.out" && fail "unread revision: shown as Drive: 0"
grep -qx "flashutil: virtual:0: the commit was accepted, but the new revision could not be read back (INQUIRY failed: Connection timed out); restart the computer and check the drive's revision with flashutil --list (it should be R120)" \
    "$work/unread.err" || fail "unread revision: no error line: $(err unread)"
grep -q "^The drive virtual:0 accepted the new firmware, but its new revision could not be read back (Connection timed out)" \
    "$work/unread.out" "$work/unread.err" || fail "unread revision: the person is not told"
run unreadjson "$built" --cli --json --yes --virtual-drive=timeout=$((commit + 1))
[ "$(rc unreadjson)" = 0 ] || fail "unread revision, --json: exit $(rc unreadjson), want 0"
python3 - "$work/unreadjson.out" << 'PY' || fail "unread revision, --json: $(grep drive_finished "$work/unreadjson.out")"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
done = [e for e in events if e.get("event") == "drive_finished"][0]
assert done["outcome"] == "completed", done
assert done["revision_after"] is None and done["identity_after"] is None, done
assert "could not be read back" in done["cause"], done
drive = [e for e in events if e.get("event") == "summary"][0]["drives"][0]
assert drive["revision_after"] is None and "could not be read back" in drive["cause"], drive
PY

# 4. A failing commit gives exit 7 and "Flash Fail.".
run commit "$built" --cli --yes --virtual-drive=fail=$commit:03/0C/00
[ "$(rc commit)" = 7 ] || fail "failing commit: exit $(rc commit), want 7"
grep -qx 'Flash Fail.' "$work/commit.out" || fail "failing commit: no 'Flash Fail.'"

# 5. No qualifying drive: the error report with the listing, exit 3.
run none "$built" --cli --yes --virtual-drive=rev=1.11
[ "$(rc none)" = 3 ] || fail "no qualifying drive: exit $(rc none), want 3"
grep -q "^Can't found RW-5200 firmware: 1.00-1.10 drive !" "$work/none.err" || fail "no error report"
grep -qx '0-0-0 V: ACME    CD-RW RW5200    1.11' "$work/none.err" || fail "report does not list the drive"

# 6. A drive that cannot be opened because it is busy: exit 5.
run busy "$built" --cli --yes --virtual-drive=open-error=EBUSY
[ "$(rc busy)" = 5 ] || fail "busy drive: exit $(rc busy), want 5"

# 7. A blank copy has nothing to flash and says so.
run blank "$work/flashutil" --cli --yes --virtual-drive
[ "$(rc blank)" = 1 ] || fail "blank copy: exit $(rc blank), want 1"
grep -q 'blank copy' "$work/blank.err" || fail "blank copy: no clear refusal"

# 8. On a terminal the warning is a prompt with Yes as default; "n" declines (exit 4).
if command -v script > /dev/null; then
    printf 'n\n' | script -qec "'$built' --cli --virtual-drive" /dev/null > "$work/tty.out" 2>&1
    code=$?
    [ "$code" = 4 ] || fail "declining on a terminal: exit $code, want 4"
    grep -q '\[Y/n\]' "$work/tty.out" || fail "warning prompt does not default to Yes"

    # 9. A commit the drive takes seconds to answer shows signs of life on the bar's line,
    # and the bar is drawn again without them once it answered.
    script -qec "'$built' --cli --yes --virtual-drive=commit-ms=2600" /dev/null < /dev/null > "$work/slow.out" 2>&1
    code=$?
    [ "$code" = 0 ] || fail "slow commit: exit $code, want 0"
    grep -qF 'waiting for the drive: 1 s of at most 180 s' "$work/slow.out" || fail "slow commit: no sign of life"
    tr '\r' '\n' < "$work/slow.out" | sed 's/\x1b\[K$//' | grep -qx '\[#*\] 100%' ||
        fail "slow commit: the bar is not drawn again after the answer"
fi

[ "$failures" = 0 ] && echo "all cli flash checks passed"
exit $((failures > 0))
