#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# flashutil --cli --all: a tower of drives flashed at once. Every drive completes (exit 0);
# a tower with one failing drive still commits the others (exit 9, the failed one named); an
# interrupt before the commits stops every run, one during them lets the commits finish; the
# --json stream parses line by line and tells the same story; drives given more than once
# without --all still flash only the first that qualifies.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
command -v jq > /dev/null || { echo "jq is missing (scripts/install-deps.sh installs it)"; exit 1; }

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
commit='"cdb": "3b0501000000000000800000"'

# commits FILE DEVICE: the commits the trace shows sent to DEVICE and answered without fault
commits() { grep -F "\"device\": \"$2\"" "$1" | grep -F "$commit" | grep -c '"sense": null, "system_error": 0,'; }

# holds FILE FILTER: the stream in FILE has events FILTER yields, and each is true
holds() { jq -se "[.[] | $2] | length > 0 and all" "$1" > /dev/null; }

# wait_for FILE TEXT COUNT: until COUNT lines with TEXT show up (at most 20 s)
wait_for() {
    for _ in $(seq 200); do [ "$(grep -cF -- "$2" "$1" 2> /dev/null)" -ge "$3" ] && return 0; sleep 0.1; done
    return 1
}

# Eight drives: each committed once, the trace lines whole although eight threads wrote them.
FLASHUTIL_HISTORY="$work/eight-history.jsonl" run_command eight "$built" --cli --yes --all --virtual-drive=count=8 --trace "$work/eight.json"
[ "$(rc eight)" = 0 ] || fail "8 drives: exit $(rc eight), want 0: $(err eight)"
for n in 0 1 2 3 4 5 6 7; do
    [ "$(commits "$work/eight.json" "virtual:$n")" = 1 ] || fail "8 drives: virtual:$n was not committed once"
    grep -Eq "^virtual:$n +0-$n-0 V: .*1\.00 -> R120 +completed$" "$work/eight.out" ||
        fail "8 drives: the summary has no completed line for virtual:$n"
done
holds "$work/eight.json" 'has("cdb") or .record == "drive"' 2> /dev/null ||
    fail "8 drives: the trace holds a line that is not whole JSON"
[ "$(jq -r 'select(.record == "drive") | .device_id' "$work/eight.json" | sort -u | wc -l)" = 8 ] ||
    fail "8 drives: the trace does not name each of the eight drives by an id of its own"
[ "$(grep -c '^\[Confirm\]' "$work/eight.out")" = 2 ] || fail "8 drives: not one confirmation and one restart question"
grep -qx 'The drive is virtual: nothing will be restarted, whatever the answer.' "$work/eight.out" ||
    fail "8 drives: the restart question does not say that nothing will be restarted"
# Each drive's run has its own history record, started and ended under one run id.
[ "$(jq -sr '[.[] | select(.record == "end" and .outcome == "completed")] | map(.run) | unique | length' \
    "$work/eight-history.jsonl")" = 8 ] || fail "8 drives: the history does not hold 8 completed runs"
[ "$(jq -sr '[.[] | select(.record == "start") | .drive.device] | unique | length' "$work/eight-history.jsonl")" = 8 ] ||
    fail "8 drives: the history does not hold a start for each of the 8 drives"

# A tower of eight whose last drive fails its 20th command (a WRITE BUFFER of the upload).
run_command tower "$built" --cli --yes --all --json --virtual-drive=count=7 \
    --virtual-drive=fail=20:04/44/00 --trace "$work/tower.json"
[ "$(rc tower)" = 9 ] || fail "tower with a failing drive: exit $(rc tower), want 9"
grep -q 'virtual:7: FAILED before the commit' "$work/tower.err" || fail "tower: the failed drive is not named: $(err tower)"
grep -qx 'flashutil: virtual:7: WRITE BUFFER failed: Hardware Error, Internal target failure' "$work/tower.err" ||
    fail "tower: the failed command is not in words on standard error: $(err tower)"
for n in 0 1 2 3 4 5 6; do
    [ "$(commits "$work/tower.json" "virtual:$n")" = 1 ] || fail "tower: virtual:$n was not committed"
done
[ "$(commits "$work/tower.json" virtual:7)" = 0 ] || fail "tower: the failing drive was committed"

# The stream: every line an object with an event; questions, the drives, the outcome with the
# failing command and its sense, progress in tenths, and a summary that agrees with the exit code.
holds "$work/tower.out" 'has("event")' || fail "tower: a line of the stream is not an event"
events=$(jq -r .event "$work/tower.out" | uniq | tr '\n' ' ')
case "$events" in
    "question run_started question "*" summary ") ;;
    *) fail "tower: the events are out of order: $events" ;;
esac
holds "$work/tower.out" 'select(.event == "run_started") | (.drives | length) == 8 and all(.drives[]; .flash)' || fail "tower: run_started does not list 8 drives to flash"
holds "$work/tower.out" 'select(.event == "drive_finished" and .device == "virtual:7") | .outcome ==
    "failed_before_commit" and .failure.sense.key == 4 and .failure.sense.asc == 68 and .failure.sense.ascq == 0 and .failure.command == "Write Buffer" and
    .revision_after == "1.00"' || fail "tower: the failing drive's outcome lacks the command or its sense"
holds "$work/tower.out" 'select(.event == "summary") | .exit_code == 9 and .completed == 7 and .failed == 1' || fail "tower: the summary does not match the run"
[ "$(jq -r 'select(.event == "progress" and .device == "virtual:0") | .percent % 10' "$work/tower.out" | sort -u)" = 0 ] ||
    fail "tower: progress is not given in tenths"
holds "$work/tower.out" 'select(.event == "question" and .question == "restart") | .answer == "no" and
    .answered_by == "--yes"' || fail "tower: the restart question is not in the stream"
grep -q '^{' "$work/tower.err" && fail "tower: JSON went to standard error"

# An interrupt before the commits: every drive is still settling; none is committed.
"$built" --cli --yes --all --virtual-drive=count=3,ready=400 --trace "$work/early.json" \
    < /dev/null > "$work/early.out" 2> "$work/early.err" &
pid=$!
wait_for "$work/early.out" "FW:R120 ?" 1 || fail "interrupt before the commits: the run did not reach the confirmation"
sleep 0.3
kill -INT $pid
wait $pid
code=$?
[ "$code" = 6 ] || fail "interrupt before the commits: exit $code, want 6"
grep -qF "$commit" "$work/early.json" && fail "interrupt before the commits: a commit was sent"
[ "$(grep -c 'interrupted before the commit' "$work/early.out")" -ge 3 ] ||
    fail "interrupt before the commits: not every drive reported as stopped"

# An interrupt during the commits (3 s each) of three drives while a fourth still settles: the
# three finish their commits, the fourth stops before its own.
"$built" --cli --yes --all --virtual-drive=count=3,commit-ms=3000 --virtual-drive=ready=400 \
    --trace "$work/late.json" < /dev/null > "$work/late.out" 2> "$work/late.err" &
pid=$!
wait_for "$work/late.out" "Flash is in progress" 3 || fail "interrupt during the commits: the commits did not start"
sleep 0.5
kill -TERM $pid
wait $pid
code=$?
[ "$code" = 9 ] || fail "interrupt during the commits: exit $code, want 9"
for n in 0 1 2; do
    [ "$(commits "$work/late.json" "virtual:$n")" = 1 ] || fail "interrupt during the commits: virtual:$n's commit broke off"
done
[ "$(commits "$work/late.json" virtual:3)" = 0 ] || fail "interrupt during the commits: the settling drive was committed"
grep -q '^virtual:3 .*interrupted before the commit' "$work/late.out" || fail "interrupt during the commits: virtual:3 not reported"
grep -q 'restarted' "$work/late.out" && fail "interrupt during the commits: the restart question was asked"

# Without --all the drives given are candidates and the first that qualifies is flashed, with
# the single drive's texts; --json gives the same run as a stream.
run_command first "$built" --cli --yes --virtual-drive=rev=1.20 --virtual-drive --virtual-drive --trace "$work/first.json"
[ "$(rc first)" = 0 ] || fail "several drives without --all: exit $(rc first), want 0: $(err first)"
grep -qx 'Flash Completed.' "$work/first.out" || fail "several drives without --all: not the single drive's texts"
[ "$(grep -cF "$commit" "$work/first.json")" = 1 ] || fail "several drives without --all: not exactly one commit"
[ "$(commits "$work/first.json" virtual:1)" = 1 ] || fail "several drives without --all: not the first qualifying drive"
run_command single "$built" --cli --yes --json --virtual-drive --virtual-drive
[ "$(rc single)" = 0 ] || fail "--cli --json: exit $(rc single), want 0"
holds "$work/single.out" 'select(.event == "summary") | .completed == 1 and .skipped == 1 and .exit_code == 0' ||
    fail "--cli --json: the summary is not one completed drive and one left alone"

# A drive already at the new revision or above is left alone, named with the reason.
cp "$work/R120.BIN" "$work/1.05.BIN"
(cd "$work" && ./flashutil --build --model 0 --image 1.05.BIN --output-dir "$work" >> build.log 2>&1) || fail "could not build 1.05.EXE"
run_command newer "$work/1.05.EXE" --cli --yes --all --virtual-drive=rev=1.10 --virtual-drive
[ "$(rc newer)" = 0 ] || fail "a newer drive in the tower: exit $(rc newer), want 0"
grep -q '^virtual:0 .*skipped: already at FW:1.10' "$work/newer.out" || fail "a newer drive in the tower: not left alone"
run_command none "$work/1.05.EXE" --cli --yes --all --virtual-drive=rev=1.10,count=2
[ "$(rc none)" = 10 ] || fail "no drive below the new revision: exit $(rc none), want 10 (nothing to do)"

# Every drive the run looked at or could not look at is in the summary with its cause, and a
# tower that could not reach one does not exit 0: a drive that cannot be opened, one whose
# listing INQUIRY fails, drives beyond the list's 24.
run_command unopened "$built" --cli --yes --all --json --virtual-drive --virtual-drive=open-error=EBUSY
[ "$(rc unopened)" = 9 ] || fail "a drive that cannot be opened: exit $(rc unopened), want 9"
holds "$work/unopened.out" 'select(.event == "run_started") | (.drives | length) == 2' ||
    fail "a drive that cannot be opened: not in run_started"
holds "$work/unopened.out" 'select(.event == "summary") | .exit_code == 9 and .completed == 1 and .failed == 1 and
    (.drives[1] | .device == "virtual:1" and .outcome == "not_opened" and (.cause | test("busy")))' ||
    fail "a drive that cannot be opened: not in the summary: $(tail -1 "$work/unopened.out")"
run_command unopenedtext "$built" --cli --yes --all --virtual-drive --virtual-drive=open-error=EBUSY
grep -q '^virtual:1 .*could not be opened: .*busy' "$work/unopenedtext.out" ||
    fail "a drive that cannot be opened: not in the summary table: $(out unopenedtext)"
run_command lost "$built" --cli --yes --all --json --virtual-drive --virtual-drive=fail=2:05/20/00
[ "$(rc lost)" = 9 ] || fail "a drive whose listing INQUIRY fails: exit $(rc lost), want 9"
holds "$work/lost.out" 'select(.event == "drive_finished" and .device == "virtual:1") | .outcome == "unidentified"' ||
    fail "a drive whose listing INQUIRY fails: no drive_finished as unidentified"
holds "$work/lost.out" 'select(.event == "summary") | .failed == 1 and .skipped == 0' ||
    fail "a drive whose listing INQUIRY fails: counted as skipped: $(tail -1 "$work/lost.out")"
run_command thirty "$built" --cli --yes --all --json --virtual-drive=count=30
[ "$(rc thirty)" = 9 ] || fail "30 drives: exit $(rc thirty), want 9"
holds "$work/thirty.out" 'select(.event == "summary") | (.drives | length) == 30 and .completed == 24 and .failed == 0 and .left_out == 6
    and ([.drives[] | select(.outcome == "left_out")] | length) == 6' ||
    fail "30 drives: the summary does not list the 6 left out"
# One drive: the unidentified drive has its drive_finished, and the summary agrees with exit 6.
run_command lostalone "$built" --cli --yes --json --virtual-drive=fail=2:05/20/00
[ "$(rc lostalone)" = 6 ] || fail "one unidentified drive: exit $(rc lostalone), want 6"
holds "$work/lostalone.out" 'select(.event == "drive_finished") | .outcome == "unidentified"' ||
    fail "one unidentified drive: no drive_finished as unidentified"
holds "$work/lostalone.out" 'select(.event == "summary") | .exit_code == 6 and .failed == 1 and .skipped == 0' ||
    fail "one unidentified drive: the summary: $(tail -1 "$work/lostalone.out")"

# A replayed drive plays one drive only.
run_command replay "$built" --cli --yes --all --virtual-drive=replay=/nonexistent --virtual-drive
[ "$(rc replay)" = 2 ] || fail "a replay beside another virtual drive: exit $(rc replay), want 2"

[ "$failures" = 0 ] && echo "all many-drives-at-once checks passed"
exit $((failures > 0))
