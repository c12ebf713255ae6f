#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The history of runs: a completed, a failed, a rehearsed and an interrupted run (killed
# during the commit) as --history and --history --json show them; a damaged line skipped
# with a notice; a run that sends nothing leaves no record; each drive followed by its id;
# and a history that can't be written is told once and changes nothing in the flash.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
sha=$(sha256sum "$work/R120.BIN" | cut -d' ' -f1)
history=$FLASHUTIL_HISTORY

run_command empty "$built" --history
[ "$(rc empty)" = 0 ] && grep -qx "No runs recorded in $history." "$work/empty.out" || fail "empty history: $(out empty)"

# Completed; failed at an image chunk; rehearsed; a drive that does not qualify (nothing sent
# but the INQUIRY, no record).
run_command completed "$built" --cli --yes --virtual-drive
run_command failed "$built" --cli --yes --virtual-drive=fail=8:05/24/00
run_command rehearsed "$built" --cli --yes --no-commit --virtual-drive
run_command other "$built" --cli --yes --virtual-drive=rev=1.20
[ "$(rc completed) $(rc failed) $(rc rehearsed) $(rc other)" = "0 6 0 3" ] ||
    fail "exit codes $(rc completed) $(rc failed) $(rc rehearsed) $(rc other), want 0 6 0 3"

# Interrupted: killed outright during a slow commit, once its start is on the disk.
"$built" --cli --yes --virtual-drive=commit-ms=60000 < /dev/null > "$work/killed.out" 2>&1 &
pid=$!
for _ in $(seq 600); do
    [ "$(grep -c '"record":"start"' "$history")" = 4 ] && grep -q "Flash is in progress" "$work/killed.out" && break
    sleep 0.1
done
kill -KILL "$pid"
wait "$pid" 2>/dev/null

run_command list "$built" --history
[ "$(rc list)" = 0 ] || fail "--history: exit $(rc list)"
[ "$(grep -c '^20..-..-..T' "$work/list.out")" = 4 ] || fail "--history: not 4 runs: $(out list)"
sed -n 1p "$work/list.out" | grep -q 'virtual:0  ACME CD-RW RW5200  1.00 -> R120  completed$' || fail "completed run: $(out list)"
sed -n 2p "$work/list.out" | grep -q "image SHA-256 $sha" || fail "no image digest: $(out list)"
grep -q '1.00 -> 1.00  failed before the commit' "$work/list.out" || fail "failed run: $(out list)"
grep -q 'at image-upload: Write Buffer (CDB 3b0501004000004000000000), sense 05/24/00 Illegal Request, Invalid field in cdb' \
    "$work/list.out" || fail "failed run's command: $(out list)"
grep -q '1.00 -> 1.00  rehearsal: the image came back intact' "$work/list.out" || fail "rehearsal: $(out list)"
# The last run's first line (each run's detail lines are indented).
grep -v '^ ' "$work/list.out" | tail -1 | grep -q '1.00 -> ?  did not finish$' || fail "interrupted run: $(out list)"

# The same as one JSON document, oldest first.
run_command json "$built" --history --json
python3 - "$work/json.out" "$sha" <<'PY' || fail "--history --json: $(out json)"
import json, sys
d = json.load(open(sys.argv[1]))
runs = d["runs"]
assert [r["end"]["outcome"] if r["end"] else None for r in runs] == \
    ["completed", "failed_before_commit", "rehearsed", None], runs
assert [r["finished"] for r in runs] == [True, True, True, False]
assert all(r["utility"]["image_sha256"] == sys.argv[2] for r in runs)
assert runs[0]["drive"]["revision"] == "1.00" and runs[0]["end"]["revision_after"] == "R120"
sense = runs[1]["end"]["failure"]["sense"]
assert (sense["key"], sense["asc"], sense["ascq"]) == (5, 0x24, 0) and sense["words"], sense
assert runs[1]["end"]["step"] == "image_upload" and runs[1]["end"]["failure"]["category"] == "check_condition"
assert runs[2]["rehearsal"] is True and d["skipped"] == 0
PY

# A damaged line is skipped with a notice naming it; the runs around it stay.
echo '{"record":"end","run":' >> "$history"
run_command damaged "$built" --history
[ "$(rc damaged)" = 0 ] || fail "damaged line: exit $(rc damaged)"
grep -q "^flashutil: $history line 8: not a history record (damaged); skipped$" "$work/damaged.err" ||
    fail "no notice of the damaged line: $(err damaged)"
[ "$(grep -c '^20..-..-..T' "$work/damaged.out")" = 4 ] || fail "runs lost around a damaged line"

# A hand-edited history: control bytes in every field reach neither the terminal nor the
# error stream; names the schema does not allow are "unknown" (a later version's snake_case
# name stands), a cdb of other than hex digits is "", a verdict the program never gives is "",
# an empty signer (as earlier versions wrote for none) is null;
# an end whose status byte or duration is out of range is damage, skipped with a notice.
python3 - "$work/edited.jsonl" <<'PY'
import json, sys
e = "\x1b[2J\x07"
def start(run, verdict="trusted", signer="S" + e, fingerprint="F" + e):
    return {"record": "start", "run": run, "time": "T" + e, "version": "V" + e, "rehearsal": False,
            "utility": {"model": "M" + e, "new_revision": "R" + e, "image_sha256": "a" + e, "file": "/f" + e,
                        "file_sha256": "b" + e, "signature": {"verdict": verdict, "signer": signer, "fingerprint": fingerprint}},
            "drive": {"device": "/dev/sg1" + e, "identity": "I" + e, "vendor": "V" + e, "product": "P" + e,
                      "revision": "1" + e, "virtual": False}}
def end(run, outcome, step, cdb="3b" + e, status=2, duration=5):
    return {"record": "end", "run": run, "time": "T" + e, "outcome": outcome, "step": step, "status": "s" + e,
            "revision_after": "2" + e, "identity_after": None, "duration_ms": duration,
            "failure": {"command": "C" + e, "cdb": cdb, "category": "Check-Condition" + e, "status": status,
                        "sense": "05/24/00", "sense_text": "words" + e, "system_error": 0}}
records = [start("r" + e, "forged" + e), end("r" + e, "done" + e, "Step" + e),
           start("later", "unsigned", "", ""), end("later", "power-lost", "", cdb="3B05"),
           start("bad-status"), end("bad-status", "completed", "done", status=300),
           start("bad-duration"), end("bad-duration", "completed", "done", duration=-1)]
with open(sys.argv[1], "w") as out:
    for record in records:
        out.write(json.dumps(record) + "\n")
PY
FLASHUTIL_HISTORY="$work/edited.jsonl" run_command edited "$built" --history
FLASHUTIL_HISTORY="$work/edited.jsonl" run_command edited-json "$built" --history --json
[ "$(rc edited) $(rc edited-json)" = "0 0" ] || fail "edited history: exit $(rc edited) $(rc edited-json)"
LC_ALL=C grep -q '[[:cntrl:]]' "$work/edited.out" "$work/edited.err" &&
    fail "control bytes of the history reached the terminal: $(LC_ALL=C grep -n '[[:cntrl:]]' "$work/edited.out" "$work/edited.err" | cat -v)"
grep -qF 'T?[2J?  /dev/sg1?[2J?  V?[2J? P?[2J?  1?[2J? -> 2?[2J?  done?[2J?' "$work/edited.out" &&
    grep -qF 'image SHA-256 a?[2J?, flashutil V?[2J?, run r?[2J?' "$work/edited.out" &&
    grep -qF 'at Step?[2J?: C?[2J? (CDB 3b?[2J?), sense 05/24/00 words?[2J?' "$work/edited.out" ||
    fail "edited history as shown: $(out edited)"
[ "$(grep -c 'skipped$' "$work/edited.err")" = 2 ] || fail "out-of-range numbers not skipped: $(err edited)"
python3 "$2/tests/cli/lib/validate_json.py" "$2/docs/schema" flashutil-history/1 "$work/edited-json.out" > "$work/edited.schema" 2>&1 ||
    fail "edited history against its schema: $(cat "$work/edited.schema")"
python3 - "$work/edited-json.out" <<'PY' || fail "edited history as JSON: $(out edited-json)"
import json, sys
runs = json.load(open(sys.argv[1]))["runs"]
assert len(runs) == 4, runs
first, later = runs[0]["end"], runs[1]["end"]
assert (first["outcome"], first["step"], first["failure"]["cdb"], first["failure"]["category"]) == \
    ("unknown", "unknown", "", "unknown"), first
assert runs[0]["utility"]["signature"]["verdict"] == "" and runs[0]["started"] == "T\x1b[2J\x07", runs[0]
assert (later["outcome"], later["step"], later["failure"]["cdb"]) == ("power_lost", "", "3b05"), later
# An unsigned copy's record as earlier versions wrote it ("" for no signer, no maker): null.
assert runs[1]["utility"]["signature"] == {"verdict": "unsigned", "signer": None, "fingerprint": None}, runs[1]
assert runs[1]["utility"]["maker"] is None, runs[1]
assert [r["finished"] for r in runs] == [True, True, False, False]
PY

# One drive, one id: the id --list --json gives each drive is the one its events and its
# history records carry, and --history --device-id shows that drive's runs and no other's.
ids="$work/ids.jsonl"
run_command ids-list "$built" --list --json --virtual-drive=count=2
FLASHUTIL_HISTORY=$ids run_command ids-run "$built" --cli --all --yes --json --virtual-drive=count=2
FLASHUTIL_HISTORY=$ids run_command ids-history "$built" --history --json
python3 - "$work/ids-list.out" "$work/ids-run.out" "$work/ids-history.out" > "$work/ids.check" 2>&1 <<'PY' ||
import json, sys
listed = {d["device"]: d["device_id"] for d in json.load(open(sys.argv[1]))["drives"]}
assert len(set(listed.values())) == 2 and None not in listed.values(), listed
for event in map(json.loads, open(sys.argv[2])):
    assert event["time"].endswith("Z"), event
    for drive in event.get("drives", [event] if event["event"] == "drive_finished" else []):
        assert drive["device_id"] == listed[drive["device"]], (drive, listed)
runs = json.load(open(sys.argv[3]))["runs"]
assert sorted(r["drive"]["device_id"] for r in runs) == sorted(listed.values()), runs
print(listed["virtual:1"])
PY
    fail "the drive ids differ between the outputs: $(cat "$work/ids.check")"
second=$(tail -1 "$work/ids.check")
FLASHUTIL_HISTORY=$ids run_command one-drive "$built" --history --device-id "$second"
[ "$(rc one-drive)" = 0 ] && [ "$(grep -c '^20..-..-..T' "$work/one-drive.out")" = 1 ] &&
    grep -q "virtual:1 " "$work/one-drive.out" && grep -q "drive id $second" "$work/one-drive.out" ||
    fail "--history --device-id: exit $(rc one-drive), $(out one-drive)"
run_command bad-id "$built" --history --device-id "/dev/sg0"
[ "$(rc bad-id)" = 2 ] || fail "--device-id of no id: exit $(rc bad-id)"

# A history that can't be written (a device, a FIFO, a path through a file): told once, and
# the flash is the same; a FIFO is not waited on. An empty FLASHUTIL_HISTORY names no file.
touch "$work/plain"
mkfifo "$work/fifo"
for place in /dev/full "$work/plain/history.jsonl" "$work/fifo"; do
    FLASHUTIL_HISTORY=$place run_command unwritable "$built" --cli --yes --virtual-drive
    [ "$(rc unwritable)" = 0 ] || fail "history at $place: exit $(rc unwritable)"
    grep -qx 'Flash Completed.' "$work/unwritable.out" || fail "history at $place: no flash"
    [ "$(grep -c "history of runs can't be written: $place" "$work/unwritable.err")" = 1 ] ||
        fail "history at $place: not told once: $(err unwritable)"
done
FLASHUTIL_HISTORY= run_command unset "$built" --cli --yes --virtual-drive
[ "$(rc unset)" = 0 ] && grep -qx 'Flash Completed.' "$work/unset.out" &&
    [ "$(grep -c 'FLASHUTIL_HISTORY is set but empty' "$work/unset.err")" = 1 ] ||
    fail "empty FLASHUTIL_HISTORY in a flash: exit $(rc unset), $(err unset)"
FLASHUTIL_HISTORY= HOME="$work" run_command unset-history "$built" --history
[ "$(rc unset-history)" = 1 ] && grep -q '^flashutil: FLASHUTIL_HISTORY is set but empty' "$work/unset-history.err" ||
    fail "empty FLASHUTIL_HISTORY for --history: exit $(rc unset-history), $(err unset-history)"
[ ! -e "$work/.local/state/flashutil/history.jsonl" ] || fail "an empty FLASHUTIL_HISTORY fell back to the usual place"
FLASHUTIL_HISTORY="$work/fifo" run_command fifo-history timeout 60 "$built" --history
[ "$(rc fifo-history)" = 1 ] && grep -q "$work/fifo: .*not a regular file" "$work/fifo-history.err" ||
    fail "--history of a FIFO: exit $(rc fifo-history), $(err fifo-history)"

exit $((failures > 0))
