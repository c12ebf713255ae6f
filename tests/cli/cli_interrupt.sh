#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Interrupting flashutil --cli: before the commit a signal stops the run cleanly (nothing
# committed, exit 6); during the commit it is held until the drive has answered, and the
# run ends as the drive's answer says.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"

# wait_for FILE TEXT: until a line with TEXT shows up (at most 20 s)
wait_for() {
    for _ in $(seq 200); do grep -qF -- "$2" "$1" 2> /dev/null && return 0; sleep 0.1; done
    return 1
}

# Before the commit: the drive stays "becoming ready" for seconds, the signal comes then.
"$built" --cli --yes --virtual-drive=ready=300 --trace "$work/early.json" < /dev/null > "$work/early.out" 2> "$work/early.err" &
pid=$!
wait_for "$work/early.out" "Update FW:" || fail "run did not reach the confirmation"
sleep 0.3
kill -INT $pid
wait $pid
code=$?
[ "$code" = 6 ] || fail "interrupt before the commit: exit $code, want 6"
grep -q 'unchanged' "$work/early.err" || fail "interrupt before the commit: not reported"
grep -q '"cdb": "3b0501000000000000800000"' "$work/early.json" && fail "interrupt before the commit: commit sent"
grep -q 'Flash Completed.' "$work/early.out" && fail "interrupted run reported as completed"

# During the commit (which takes 3 s here): held until it answers; the flash completes.
"$built" --cli --yes --virtual-drive=commit-ms=3000 --trace "$work/late.json" < /dev/null > "$work/late.out" 2> "$work/late.err" &
pid=$!
wait_for "$work/late.out" "Don't turn off the system, Flash is in progress..." || fail "run did not reach the commit"
sleep 0.5
kill -TERM $pid
wait $pid
code=$?
[ "$code" = 0 ] || fail "signal during the commit: exit $code, want 0 (the commit completed)"
grep -qx 'Flash Completed.' "$work/late.out" || fail "signal during the commit broke the commit off"
grep -qx '\[y/N\] no (interrupted)' "$work/late.out" || fail "after the signal the restart question was asked"
grep -q '"cdb": "3b0501000000000000800000".*"sense": null, "system_error": 0,' "$work/late.json" ||
    fail "the commit did not answer normally"

[ "$failures" = 0 ] && echo "all cli interrupt checks passed"
exit $((failures > 0))
