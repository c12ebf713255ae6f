#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every kind of JSON the program writes, checked against its published schema (docs/schema/)
# with python3-jsonschema: the drive list, a copy's facts (blank and built), the history, the
# event streams of a completed, failed, rehearsed and tower run, usage errors, and traces
# with and without data. Each names its schema; a drive in the list has a stable id.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2
schemas=$source_dir/docs/schema
python3 -c 'import jsonschema' 2>/dev/null || { echo "FAIL: python3-jsonschema missing (scripts/install-deps.sh)"; exit 1; }

# valid NAME FILE [--lines]: the file holds documents of schema NAME/1, all valid.
valid() {
    local problems
    problems=$(python3 "$source_dir/tests/cli/lib/validate_json.py" "$schemas" "$1/1" ${3:-} "$2" 2>&1) ||
        fail "$2 ($1): $problems"
}

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"

run_command list "$built" --list --json --virtual-drive=count=2
valid flashutil-list "$work/list.out"
run_command list_none "$built" --list --json --virtual-drive=count=0
valid flashutil-list "$work/list_none.out"
run_command info_built "$built" --info --json
valid flashutil-info "$work/info_built.out"
run_command info_blank "$flashutil" --info --json
valid flashutil-info "$work/info_blank.out"

# Event streams: completed (with a trace without data), failed before the commit (with a
# trace with data), rehearsed, a tower of three.
run_command completed "$built" --cli --yes --json --virtual-drive --trace "$work/plain.trace"
run_command failed "$built" --cli --yes --json --virtual-drive=fail=12:03/0C/00 --trace "$work/data.trace" --trace-data
run_command rehearsed "$built" --cli --yes --json --no-commit --virtual-drive
run_command tower "$built" --cli --yes --json --all --virtual-drive=count=3
[ "$(rc completed)" = 0 ] && [ "$(rc failed)" = 6 ] && [ "$(rc rehearsed)" = 0 ] && [ "$(rc tower)" = 0 ] ||
    fail "runs exited $(rc completed) $(rc failed) $(rc rehearsed) $(rc tower), want 0 6 0 0"
for run in completed failed rehearsed tower; do
    valid flashutil-event "$work/$run.out" --lines
done
grep -q '"outcome":"failed_before_commit"' "$work/failed.out" || fail "the failed run's stream has no failed drive"
valid flashutil-trace "$work/plain.trace" --lines
valid flashutil-trace "$work/data.trace" --lines

run_command history "$built" --history --json
valid flashutil-history "$work/history.out"
run_command usage "$built" --cli --json --no-such-option
valid flashutil-error "$work/usage.out"
# One document per usage error, whether the line does not parse (also --json with a bad
# value) or its drive options are found wrong once the run has begun; nothing after it.
for args in "--cli --json=full" "--cli --json --virtual-drive=bogus=1" "--cli --json --device /dev/null" \
    "--cli --json --all --virtual-drive=count=2,bogus=1" "--list --json --device /dev/null"; do
    # shellcheck disable=SC2086
    run_command usage_more "$built" $args
    [ "$(rc usage_more)" = 2 ] || fail "$args: exit $(rc usage_more), want 2"
    [ "$(wc -l < "$work/usage_more.out")" = 1 ] || fail "$args: want one document, got: $(cat "$work/usage_more.out")"
    valid flashutil-error "$work/usage_more.out"
    [ "$(jq -r .message "$work/usage_more.out")" = "$(sed 's/^flashutil: //' "$work/usage_more.err")" ] ||
        fail "$args: the document and the line on standard error differ"
done

# A schema that is wrong about a key is caught: the validator is not a rubber stamp.
sed 's/"device_id"/"device_key"/' "$work/list.out" > "$work/renamed.json"
python3 "$source_dir/tests/cli/lib/validate_json.py" "$schemas" flashutil-list/1 "$work/renamed.json" >/dev/null &&
    fail "a list without device_id passes its schema"

# The stable id: a digest, the same on every run, one per drive.
ids=$(jq -r '.drives[].device_id' "$work/list.out")
[ "$(sort -u <<<"$ids" | grep -c '^[0-9a-f]\{64\}$')" = 2 ] || fail "two virtual drives, ids: $ids"
"$built" --list --json --virtual-drive=count=2 > "$work/again.out"
[ "$(jq -r '.drives[].device_id' "$work/again.out")" = "$ids" ] || fail "device ids change between runs"
[ "$(jq -r '.drives[0].serial' "$work/list.out")" = VIRTUAL-0 ] || fail "the virtual drive's serial: $(out list)"

# One fact, one key: what the list, a copy's facts, the event stream, the history and the
# trace each say of the same run is found under the same key, in the same form; every key
# of every document is snake_case.
python3 - "$work" <<'PY' || fail "the documents name the same fact differently (above)"
import json, re, sys
work = sys.argv[1]
load = lambda name: json.load(open(f"{work}/{name}"))
lines = lambda name: [json.loads(l) for l in open(f"{work}/{name}") if l.strip()]
problems = []
def same(fact, *values):
    if any(v != values[0] for v in values) or values[0] in (None, "", []):
        problems.append(f"{fact}: {values}")
def keys(value, where):
    if isinstance(value, dict):
        for k, v in value.items():
            if not re.fullmatch(r"[a-z][a-z0-9_]*", k):
                problems.append(f"{where}: key {k!r} is not snake_case")
            keys(v, where)
    elif isinstance(value, list):
        for v in value:
            keys(v, where)

drive = load("list.out")["drives"][0]
info = load("info_built.out")
runs = load("history.out")["runs"]
events = {name: lines(f"{name}.out") for name in ("completed", "failed")}
def event(name, kind):
    return [e for e in events[name] if e["event"] == kind]
history = {run["end"]["outcome"]: run for run in runs if run["end"] and not run["rehearsal"] and run["drive"]["device"] == "virtual:0"}
failed_run, completed_run = history["failed_before_commit"], history["completed"]
failed = event("failed", "drive_finished")[0]
completed = event("completed", "drive_finished")[0]
started = event("failed", "run_started")[0]
trace = [l for l in lines("data.trace") if l.get("sense") is not None]
trace_drive = [l for l in lines("data.trace") if l.get("record") == "drive"][0]

same("device", drive["device"], failed["device"], failed_run["drive"]["device"], trace[-1]["device"])
same("device_id", drive["device_id"], started["drives"][0]["device_id"], failed["device_id"],
     failed_run["drive"]["device_id"], trace_drive["device_id"])
same("serial", drive["serial"], failed["serial"], failed_run["drive"]["serial"], trace_drive["serial"])
same("identity", drive["identity"], failed["identity"], failed_run["drive"]["identity"])
same("outcome", failed["outcome"], failed_run["end"]["outcome"])
same("step", failed["step"], failed_run["end"]["step"])
same("step", completed["step"], completed_run["end"]["step"])
same("sense", failed["failure"]["sense"], failed_run["end"]["failure"]["sense"], trace[-1]["sense"])
if not failed["failure"]["system_error"] == failed_run["end"]["failure"]["system_error"] == trace[-1]["system_error"]:
    problems.append("system_error differs")
same("revision_range", info["revision_range"], started["utility"]["revision_range"])
same("new_revision", info["new_revision"], started["utility"]["new_revision"], failed_run["utility"]["new_revision"])
same("revision_after", completed["revision_after"], completed_run["end"]["revision_after"])
same("identity_after", completed["identity_after"], completed_run["end"]["identity_after"])
if not all(isinstance(l["duration_ms"], (int, float)) for l in lines("plain.trace") if "cdb" in l) or \
        not isinstance(completed_run["end"]["duration_ms"], int):
    problems.append("duration_ms missing")
for name in ("list.out", "info_built.out", "history.out"):
    keys(load(name), name)
for name in ("completed.out", "failed.out", "rehearsed.out", "tower.out", "plain.trace", "data.trace", "usage.out"):
    keys(lines(name), name)
print("\n".join(problems))
sys.exit(1 if problems else 0)
PY

[ $failures = 0 ] || exit 1
echo "json schema OK"
