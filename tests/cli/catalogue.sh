#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A folder of utilities given to the installed program: a tower of drives of several models
# flashed in one run, each with the utility the rules pick (the bytes each drive was sent
# compared with that utility's image), the highest revision chosen over a lower one and over
# utilities for any drive or any revision, an up-to-date drive skipped, an ambiguous drive
# left alone with both files named (the run not completed: exit 9), a drive no utility is for
# named; junk and hostile entries (a FIFO, a link to /dev/zero, a folder, a huge sparse file,
# the program itself, a history file) skipped with their reasons without waiting on them;
# each run's history record names its own utility; --list DIR and both JSON forms validate.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2
schemas=$source_dir/docs/schema

# Four models: two named ones, one for any drive, one for any revision of the first's drive.
printf '%s\n' '[MODEL00]' 'Model=RW-5200' 'Inquiry=ACME    CD-RW RW5200' 'FW-Range=1.00-1.90' 'BINMask=*.BIN' \
    'Vendor=Acme' 'Note=normal' '[MODEL01]' 'Model=DV-8' 'Inquiry=ZENTRA  DVD-RW DV8' 'FW-Range=Z100-Z199' \
    'BINMask=*.BIN' 'Vendor=Zentra' 'Note=normal' '[MODEL02]' 'Model=Any' 'Inquiry=--' 'FW-Range=1.00-1.90' \
    'BINMask=*.BIN' 'Vendor=Any' 'Note=normal' '[MODEL03]' 'Model=RW-5200' 'Inquiry=ACME    CD-RW RW5200' \
    'FW-Range=---------' 'BINMask=*.BIN' 'Vendor=Acme' 'Note=normal' \
    '[MODEL04]' 'Model=K-2' 'Inquiry=KORA    COMBO K2' 'FW-Range=K100-K199' 'BINMask=*.BIN' 'Vendor=Kora' 'Note=normal' \
    > "$work/flashutil.INI"
cp "$flashutil" "$work/flashutil"
folder="$work/firmware"
mkdir "$folder"
# utility NAME MODEL IMAGE SEED: a utility built from a 64 KiB image of its own, into the folder as NAME.
utility() {
    head -c 65536 /dev/zero | tr '\0' "\\$4" > "$work/$3"
    cp "$work/$3" "$work/$1.image"
    mkdir -p "$work/out-$1"
    (cd "$work" && ./flashutil --build --model "$2" --image "$3" --output-dir "out-$1" -q) ||
        { echo "FAIL: could not build $1"; exit 1; }
    mv "$work/out-$1"/* "$folder/$1"
}
utility acme-120 0 1.20.BIN 101
utility acme-150 0 1.50.BIN 102
utility zentra-150 1 Z150.BIN 103
utility any-drive 2 1.99.BIN 104
utility any-revision 3 1.80.BIN 105
utility kora-a 4 K130.BIN 106
utility kora-b 4 K130.BIN 107
# Junk and hostile entries.
mkfifo "$folder/fifo"
ln -s /dev/zero "$folder/zero"
mkdir "$folder/sub"
cp "$folder/acme-150" "$folder/sub/"
truncate -s 300M "$folder/huge"
cp "$flashutil" "$folder/flashutil"
printf '{"record":"start","run":"1"}\n' > "$folder/history.jsonl"

drives=("--virtual-drive=inquiry=ACME    CD-RW RW5200,rev=1.10,newrev=1.50"
    "--virtual-drive=inquiry=ACME    CD-RW RW5200,rev=1.50"
    "--virtual-drive=inquiry=ZENTRA  DVD-RW DV8,rev=Z110,newrev=Z150"
    "--virtual-drive=inquiry=KORA    COMBO K2,rev=K110"
    "--virtual-drive=inquiry=OTHER   WRITER 9,rev=2.00")

# The tower, told in text with every command's data traced; a wait on the FIFO would hang here.
run_command tower timeout 120 "$flashutil" --cli --all --yes -v "$folder" "${drives[@]}" --trace "$work/tower.trace" --trace-data
[ "$(rc tower)" = 9 ] || fail "the tower exited $(rc tower), want 9 (one drive ambiguous); $(tail -5 "$work/tower.err")"
log="$work/tower.out"
grep -q "virtual:0.*FW:1.10 -> FW:1.50" "$log" && grep -q "with acme-150, not signed" "$log" ||
    fail "the confirmation does not give virtual:0 acme-150: $(cat "$log")"
grep -q "with zentra-150, not signed" "$log" || fail "the confirmation does not give virtual:2 zentra-150"
grep -Eq "^virtual:2 .* -> Z150 +completed  with zentra-150$" "$log" || fail "the summary does not name virtual:2's utility"
grep -q "virtual:1 .*skipped: up to date: already at FW:1.50, not below FW:1.50 of acme-150" "$log" ||
    fail "the up-to-date drive is not skipped as such"
grep -q "virtual:3 .*ambiguous: kora-a and kora-b both install FW:K130 with different images" "$log" ||
    fail "the ambiguous drive does not name both files"
grep -q "virtual:4 .*no utility in $folder for OTHER WRITER 9 2.00" "$log" || fail "the drive no utility is for is not named"
for skipped in "any-drive: skipped: ignored: made for any drive" "any-revision: skipped: ignored: made for any firmware revision" \
    "fifo: skipped: a FIFO" "zero: skipped: a symbolic link to a device" "sub: skipped: a folder" \
    "huge: skipped: larger than 256 MiB" "flashutil: skipped: a blank copy" "history.jsonl: skipped: not a copy of flashutil"; do
    grep -qF "$folder/$skipped" "$work/tower.err" || fail "-v does not say: $skipped"
done

# The bytes each drive was sent: every image chunk of its own utility, and nothing to the others.
python3 - "$work/tower.trace" "$work" <<'EOF' || fail "the drives were not sent their utilities' images"
import hashlib, json, sys
trace, work = sys.argv[1:]
want = {"virtual:0": "acme-150", "virtual:2": "zentra-150"}
sent = {}
for line in open(trace):
    record = json.loads(line)
    if record.get("cdb", "").startswith("3b0501") and record.get("len") == 16384:
        sent.setdefault(record["device"], {})[int(record["cdb"][6:12], 16)] = record["sha256"]
ok = set(sent) == set(want)
for device, name in want.items():
    image = open(f"{work}/{name}.image", "rb").read()
    chunks = {at: hashlib.sha256(image[at:at + 16384]).hexdigest() for at in range(0, len(image), 16384)}
    if sent.get(device) != chunks:
        print(f"{device}: sent {sent.get(device)}, want the chunks of {name}")
        ok = False
sys.exit(0 if ok else 1)
EOF

# Each completed run's record names its own utility's path and SHA-256.
for pair in "virtual:0 acme-150" "virtual:2 zentra-150"; do
    set -- $pair
    digest=$(sha256sum "$folder/$2" | cut -d' ' -f1)
    grep '"record":"start"' "$FLASHUTIL_HISTORY" | grep -F "\"device\":\"$1\"" |
        grep -F "\"file\":\"$(realpath "$folder/$2")\"" | grep -qF "\"file_sha256\":\"$digest\"" ||
        fail "the history does not record $2 for $1"
done
[ "$(grep -c '"record":"start"' "$FLASHUTIL_HISTORY")" = 2 ] || fail "want two runs recorded"

# The same as JSON lines, and the list of the folder: each validates, each drive names its utility.
valid() { python3 "$source_dir/tests/cli/lib/validate_json.py" "$schemas" "$1/1" ${3:-} "$2" > /dev/null 2>&1 || fail "$2 does not validate as $1"; }
FLASHUTIL_HISTORY="$work/json-history.jsonl" run_command json timeout 120 "$flashutil" --cli --json --all --yes "$folder" "${drives[@]}"
[ "$(rc json)" = 9 ] || fail "the JSON run exited $(rc json), want 9"
valid flashutil-event "$work/json.out" --lines
python3 - "$work/json.out" "$folder" <<'EOF' || fail "the JSON stream does not name each drive's utility"
import json, os, sys
events = [json.loads(line) for line in open(sys.argv[1])]
folder = os.path.realpath(sys.argv[2])
started = next(e for e in events if e["event"] == "run_started")
summary = next(e for e in events if e["event"] == "summary")
skipped = {os.path.basename(s["file"]) for s in started["folder"]["skipped"]}
assert {"fifo", "zero", "sub", "huge", "flashutil", "history.jsonl", "any-drive", "any-revision"} <= skipped, skipped
files = [d["utility"] and os.path.basename(d["utility"]["file"]) for d in summary["drives"]]
assert files == ["acme-150", None, "zentra-150", None, None], files
assert [d["outcome"] for d in summary["drives"]] == ["completed", "skipped", "completed", "ambiguous", "skipped"]
finished = {e["device"]: e for e in events if e["event"] == "drive_finished"}
assert finished["virtual:0"]["utility"]["new_revision"] == "1.50"
assert finished["virtual:0"]["utility"]["file"] == folder + "/acme-150"
EOF

run_command list timeout 60 "$flashutil" --list "$folder" "${drives[@]}"
[ "$(rc list)" = 0 ] || fail "--list DIR exited $(rc list)"
grep -q "virtual:0 (virtual drive)  acme-150: FW:1.10 -> FW:1.50, not signed" "$work/list.out" ||
    fail "--list DIR does not name virtual:0's utility: $(cat "$work/list.out")"
grep -q "virtual:3 (virtual drive)  ambiguous: kora-a and kora-b" "$work/list.out" || fail "--list DIR does not say virtual:3 is ambiguous"
run_command list_json timeout 60 "$flashutil" --list --json "$folder" "${drives[@]}"
valid flashutil-list "$work/list_json.out"
[ "$(python3 -c 'import json,sys; print([d["new_revision"] for d in json.load(open(sys.argv[1]))["drives"]])' "$work/list_json.out")" = \
    "['1.50', None, 'Z150', None, None]" ] || fail "--list --json DIR: $(cat "$work/list_json.out")"
# Nothing but the identification was sent by the list: the drives still report their revisions.
grep -q "0-0-0 V: ACME    CD-RW RW5200    1.10" "$work/list.out" || fail "the list changed a drive"

# A name that is not a folder is not a list's subject.
run_command list_file "$flashutil" --list "$folder/acme-150"
[ "$(rc list_file)" = 2 ] || fail "--list FILE exited $(rc list_file), want 2"

[ "$failures" = 0 ] && echo "all folder-of-utilities checks passed"
exit $((failures > 0))
