#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every kind of JSON the program writes, checked against its published schema (docs/schema/)
# with python3-jsonschema: the drive list (of a copy and of a folder of two utilities), a
# copy's facts (blank, built, signed), the history (whole and of one drive), the event
# streams of a completed, failed, rehearsed, declined, refused, tower and folder run, usage
# errors, and traces with and without data. Each names its schema; a drive in the list has a
# stable id; each fact has one key and one form in every document.
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

export XDG_CONFIG_HOME="$work/config"  # where the signed copy's key is trusted
{ model_ini; printf '[MODEL01]\nModel=DV-8\nInquiry=ZENTRA  DVD-RW DV8\nFW-Range=Z100-Z199\nBINMask=*.BIN\nVendor=Zentra\nNote=normal\n'; } \
    > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
# A folder of two utilities: this one, unsigned, and one for another model signed by a trusted key.
folder="$work/folder"
mkdir -p "$folder" "$XDG_CONFIG_HOME/flashutil/trusted-keys"
cp "$built" "$folder/"
(umask 077 && openssl genpkey -algorithm ed25519 -out "$work/maker.key") || fail "openssl genpkey"
openssl pkey -in "$work/maker.key" -pubout -out "$XDG_CONFIG_HOME/flashutil/trusted-keys/maker.pem" || fail "openssl pkey"
head -c 65536 /dev/zero | tr '\0' '\126' > "$work/Z150.BIN"
(cd "$work" && ./flashutil --build --model 1 --image Z150.BIN --output-dir "$folder" --sign-key maker.key -q) ||
    fail "could not build the signed copy"
tower=(--virtual-drive="inquiry=ACME    CD-RW RW5200,rev=1.00" --virtual-drive="inquiry=ZENTRA  DVD-RW DV8,rev=Z110")

run_command list "$built" --list --json --virtual-drive=count=2
valid flashutil-list "$work/list.out"
run_command list_none "$built" --list --json --virtual-drive=count=0
valid flashutil-list "$work/list_none.out"
run_command info_built "$built" --info --json
valid flashutil-info "$work/info_built.out"
run_command info_blank "$flashutil" --info --json
valid flashutil-info "$work/info_blank.out"
run_command info_signed "$flashutil" --info --json "$folder/Z150.EXE"
valid flashutil-info "$work/info_signed.out"
run_command list_folder "$flashutil" --list --json "$folder" "${tower[@]}"
valid flashutil-list "$work/list_folder.out"

# Event streams: completed (with a trace without data), failed before the commit (with a
# trace with data), rehearsed, declined at the first question, refused (the drive's revision
# is not in the range), a tower of three, a folder's tower of two models.
run_command completed "$built" --cli --yes --json --virtual-drive --trace "$work/plain.trace"
run_command failed "$built" --cli --yes --json --virtual-drive=fail=12:03/0C/00 --trace "$work/data.trace" --trace-data
run_command rehearsed "$built" --cli --yes --json --no-commit --virtual-drive
run_command declined "$built" --cli --json --virtual-drive
run_command refused "$built" --cli --yes --json --virtual-drive=rev=1.50
run_command tower "$built" --cli --yes --json --all --virtual-drive=count=3
run_command folder "$flashutil" --cli --all --yes --json "$folder" "${tower[@]}"
runs=(completed failed rehearsed declined refused tower folder)
[ "$(for run in "${runs[@]}"; do rc "$run"; done | xargs)" = "0 6 0 4 3 0 0" ] ||
    fail "${runs[*]} exited $(for run in "${runs[@]}"; do rc "$run"; done | xargs), want 0 6 0 4 3 0 0"
for run in "${runs[@]}"; do
    valid flashutil-event "$work/$run.out" --lines
done
grep -q '"outcome":"failed_before_commit"' "$work/failed.out" || fail "the failed run's stream has no failed drive"
valid flashutil-trace "$work/plain.trace" --lines
valid flashutil-trace "$work/data.trace" --lines

run_command history "$built" --history --json
valid flashutil-history "$work/history.out"
run_command history_drive "$built" --history --json --device-id "$(jq -r '.drives[0].device_id' "$work/list.out")"
valid flashutil-history "$work/history_drive.out"
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
def none(fact, *values):
    if any(v is not None for v in values):
        problems.append(f"{fact}: want null, got {values}")
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
info, signed = load("info_built.out"), load("info_signed.out")
runs = load("history.out")["runs"]
events = {name: lines(f"{name}.out") for name in ("completed", "failed", "folder")}
def event(name, kind):
    return [e for e in events[name] if e["event"] == kind]
history = {run["end"]["outcome"]: run for run in runs if run["end"] and not run["rehearsal"] and run["drive"]["device"] == "virtual:0"}
failed_run, completed_run = history["failed_before_commit"], history["completed"]
failed = event("failed", "drive_finished")[0]
completed = event("completed", "drive_finished")[0]
started = event("failed", "run_started")[0]
trace = [l for l in lines("data.trace") if l.get("sense") is not None]
trace_drive = [l for l in lines("data.trace") if l.get("record") == "drive"][0]
# The folder: virtual:0 gets this copy (unsigned), virtual:1 the signed one, in the list and in the run.
listed = [d["utility"] for d in load("list_folder.out")["drives"]]
given = [d["utility"] for d in event("folder", "run_started")[0]["drives"]]
finished = [e["utility"] for e in sorted(event("folder", "drive_finished"), key=lambda e: e["device"])]  # as they end
folder_runs = [run for run in runs if run["utility"]["file"].startswith(f"{work}/folder/")]

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
same("revision_after", completed["revision_after"], completed_run["end"]["revision_after"])
same("identity_after", completed["identity_after"], completed_run["end"]["identity_after"])
# The maker's name is "maker" wherever a utility is described; "vendor" of a utility is its alias.
same("maker", info["maker"], info["vendor"], started["utility"]["maker"], started["utility"]["vendor"],
     failed_run["utility"]["maker"], listed[0]["maker"], given[0]["maker"], finished[0]["maker"], "Acme")
same("maker of the signed copy", signed["maker"], listed[1]["maker"], given[1]["maker"], finished[1]["maker"], "Zentra")
same("maker in the history of the folder", sorted(run["utility"]["maker"] for run in folder_runs), ["Acme", "Zentra"])
# The revision a utility installs is "new_revision"; the list's "installs_revision" is its alias.
same("new_revision", drive["new_revision"], drive["installs_revision"], info["new_revision"],
     started["utility"]["new_revision"], failed_run["utility"]["new_revision"], listed[0]["new_revision"],
     given[0]["new_revision"], "R120")
# No signer: null, never "", in every document; a signer: the same name and key everywhere.
unsigned = [info["signature"], started["utility"]["signature"], failed_run["utility"]["signature"], listed[0]["signature"],
            given[0]["signature"], finished[0]["signature"]]
same("verdict of the unsigned copy", *[s["verdict"] for s in unsigned], "unsigned")
none("signer of the unsigned copy", *[s["signer"] for s in unsigned])
none("fingerprint of the unsigned copy", *[s["fingerprint"] for s in unsigned])
for key, want in (("verdict", "trusted"), ("signer", "maker"), ("fingerprint", signed["signature"]["fingerprint"])):
    same(f"{key} of the signed copy", signed["signature"][key], listed[1]["signature"][key], given[1]["signature"][key],
         finished[1]["signature"][key], want)
if not all(isinstance(l["duration_ms"], (int, float)) for l in lines("plain.trace") if "cdb" in l) or \
        not isinstance(completed_run["end"]["duration_ms"], int):
    problems.append("duration_ms missing")
# One drive's history is every run of that drive, and only those.
one = load("history_drive.out")["runs"]
if not one or [r["run"] for r in one] != [r["run"] for r in runs if r["drive"]["device_id"] == drive["device_id"]]:
    problems.append(f"--history --device-id: {[r['drive']['device_id'] for r in one]}")
for name in ("list.out", "list_folder.out", "info_built.out", "info_signed.out", "history.out"):
    keys(load(name), name)
for name in ("completed.out", "failed.out", "rehearsed.out", "declined.out", "refused.out", "tower.out", "folder.out",
             "plain.trace", "data.trace", "usage.out"):
    keys(lines(name), name)
print("\n".join(problems))
sys.exit(1 if problems else 0)
PY

[ $failures = 0 ] || exit 1
echo "json schema OK"
