#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A drive whose identity can't be read is never flashed: the revision check would compare
# against nothing and let a downgrade through. Found without an identity, it is not listed.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy 1.05.BIN
built="$work/1.05.EXE"

# The drive runs 1.10, above the utility's 1.05: refused while it can be identified.
run_command known "$built" --cli --yes --virtual-drive=rev=1.10
[ "$(rc known)" = 10 ] || fail "identified drive at a higher revision: exit $(rc known), want 10 (nothing to do)"

# Command 2 is the INQUIRY that names the drive in the list; whatever ends it, nothing is sent after it.
for fault in fail=2:05/20/00 fail=2:02/04/01 status=2:08 error=2:EIO timeout=2; do
    run_command un "$built" --cli --yes --virtual-drive=rev=1.10,$fault --trace "$work/un.json"
    [ "$(rc un)" = 6 ] || fail "$fault: exit $(rc un), want 6 (failure before the commit)"
    grep -q "^The drive virtual:0 could not be identified (INQUIRY failed: .*); nothing was sent to it.$" \
        "$work/un.err" || fail "$fault: drive and cause not named: $(err un)"
    grep -q 'Update FW' "$work/un.out" && fail "$fault: asked to update an unidentified drive"
    [ "$(grep -c "\"cdb\"" "$work/un.json")" = 2 ] || fail "$fault: $(grep -c "\"cdb\"" "$work/un.json") commands sent, want the two INQUIRYs"
done

# A drive whose first INQUIRY ends with a bare status or a check condition is not listed blank.
for fault in status=1:08 fail=1:05/24/00; do
    run_command list "$flashutil" --list --virtual-drive=$fault
    [ "$(rc list)" = 3 ] || fail "--list with $fault: exit $(rc list), want 3 (no drive)"
    [ -s "$work/list.out" ] && fail "--list with $fault listed: $(out list)"
done

[ "$failures" = 0 ] || exit 1
echo "unidentified_drive: all checks passed"
