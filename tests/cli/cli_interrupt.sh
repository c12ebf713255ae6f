#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Interrupting flashutil --cli: before the commit a signal stops the run cleanly (nothing
# committed, exit 6, under --json too, and for --all at its question); during the commit it
# is held until the drive has answered, and the run ends as the drive's answer says.
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

# The same under --json: the stream stays valid against its schema, with no step event for a
# run that entered no phase (its drive_finished says it ended in the readiness wait).
"$built" --cli --yes --json --virtual-drive=ready=300 < /dev/null > "$work/early-json.out" 2> "$work/early-json.err" &
pid=$!
wait_for "$work/early-json.out" '"question":"update_confirmation"' || fail "--json run did not reach the confirmation"
sleep 0.3
kill -INT $pid
wait $pid
code=$?
[ "$code" = 6 ] || fail "interrupt in the readiness wait under --json: exit $code, want 6"
python3 "$2/tests/cli/lib/validate_json.py" "$2/docs/schema" flashutil-event/1 --lines "$work/early-json.out" > "$work/early-json.schema" 2>&1 ||
    fail "interrupt in the readiness wait under --json: $(cat "$work/early-json.schema")"
grep -q '"event":"drive_finished".*"outcome":"interrupted".*"step":"readiness_wait"' "$work/early-json.out" ||
    fail "interrupt in the readiness wait under --json: no drive_finished: $(cat "$work/early-json.out")"

# --all at a terminal, interrupted while the plan's question waits: an interrupt (6), not a
# declined plan (4); nothing but the INQUIRY reaches a drive.
python3 - "$built" "$work/all.trace" > "$work/all-tty.out" 2>&1 <<'PY'
import os, pty, signal, sys, time
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], [sys.argv[1], "--cli", "--all", "--virtual-drive=count=2", "--trace", sys.argv[2]])
def read_until(text, seen):
    deadline = time.time() + 20
    while text not in seen and time.time() < deadline:
        try:
            seen += os.read(fd, 4096)
        except OSError:
            break
    return seen
seen = read_until(b"[Y/n]", b"")  # the start-up warning: answered
os.write(fd, b"y\n")
seen = read_until(b"[y/N]", seen)  # the plan: interrupted
os.kill(pid, signal.SIGINT)
while True:
    try:
        chunk = os.read(fd, 4096)
    except OSError:
        break
    if not chunk:
        break
    seen += chunk
sys.stdout.write(seen.decode("utf-8", "replace"))
sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
PY
code=$?
[ "$code" = 6 ] || fail "--all interrupted at its question: exit $code, want 6: $(cat "$work/all-tty.out")"
grep -q '"cdb": "12' "$work/all.trace" && grep -v '"cdb": "12' "$work/all.trace" | grep -q cdb &&
    fail "--all interrupted at its question: a drive was sent more than its INQUIRY"

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
