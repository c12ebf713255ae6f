#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Record and replay: --trace FILE --trace-data records a run (the drive's answers, never the
# data sent), --virtual-drive=replay=FILE plays it back and stops a run that leaves it.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2
run() { run_command "$@"; }
model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
# The commands of a trace without timing: CDB, direction, length, digest of data sent.
sent() { grep '"cdb"' "$1" | sed -E 's/"(duration_)?ms": [0-9.]+, //g; s/, "ok".*"sha256"/, "sha256"/; s/, "ok".*//'; }
# And what the drive answered to each (the line naming the drive has the drive's own id and time).
answers() { grep '"cdb"' "$1" | sed -E 's/"(duration_)?ms": [0-9.]+, //g'; }
rec="$work/rec.json"

# 1. A full run and one that fails in the upload, recorded and replayed: the same output,
#    exit code and commands, and the replay's own recording holds the same commands and answers.
for fault in "" "=fail=12:03/0C/00"; do
    run record "$built" --cli --yes --virtual-drive$fault --trace "$rec" --trace-data
    run replay "$built" --cli --yes "--virtual-drive=replay=$rec" --trace "$work/again.json" --trace-data
    [ "$(rc replay)" = "$(rc record)" ] || fail "replay of '$fault': exit $(rc replay), recorded $(rc record)"
    [ "$(out replay)" = "$(out record)" ] || fail "replay of '$fault': output differs"
    [ "$(err replay)" = "$(err record)" ] || fail "replay of '$fault': errors differ: $(err replay)"
    [ "$(sent "$work/again.json")" = "$(sent "$rec")" ] || fail "replay of '$fault': other commands sent"
    [ "$(answers "$work/again.json")" = "$(answers "$rec")" ] || fail "replay of '$fault': answers differ from the recording"
    # The replayed drive is a drive of its own, never taken for the one recorded.
    [ "$(head -n 1 "$work/again.json" | jq -r .device_id)" != "$(head -n 1 "$rec" | jq -r .device_id)" ] ||
        fail "replay of '$fault': the replayed drive has the recorded drive's id"
done
[ "$(rc record)" = 6 ] || fail "recorded failing run: exit $(rc record), want 6"
grep -q '"data": "[0-9a-f]*", "address": {"letter": "V", "host": 0, "target": 0, "lun": 0}, "schema": "flashutil-trace/1"}$' "$rec" ||
    fail "recording holds no data read in or no address"

run dataonly "$built" --cli --yes --virtual-drive --trace-data
[ "$(rc dataonly)" = 2 ] || fail "--trace-data without --trace: exit $(rc dataonly), want 2"

# 2. --list on a recording: the recorded identity; fewer commands than recorded are told.
run list "$flashutil" --list "--virtual-drive=replay=$rec"
[ "$(rc list)" = 0 ] || fail "list of a recording: exit $(rc list)"
grep -q '^0-0-0 V: ACME    CD-RW RW5200    1.00  virtual:0' "$work/list.out" ||
    fail "list of a recording: not the recorded identity: $(out list)"
grep -qE '^flashutil: replay: the run sent [0-9]+ of the [0-9]+ recorded commands$' "$work/list.err" ||
    fail "list of a recording: no word of the commands left: $(err list)"

# 3. Another utility (another image) against the recording: a divergence report at the first
#    data it sends otherwise, exit 8, and nothing answered after it.
run record "$built" --cli --yes --virtual-drive --trace "$rec" --trace-data
[ "$(grep -c '"sha256": "[0-9a-f]\{64\}"' "$rec")" -ge 32 ] || fail "data sent not named by its SHA-256"
grep -q '5555555555555555' "$rec" && fail "the recording carries the image's bytes"
mkdir "$work/other"
cp "$work/flashutil" "$work/flashutil.INI" "$work/other/"
head -c 524288 /dev/zero | tr '\0' '\126' > "$work/other/R120.BIN"
(cd "$work/other" && ./flashutil --build --model 0 --image R120.BIN --output-dir . > build.log 2>&1) ||
    fail "could not build the other utility"
run other "$work/other/R120.EXE" --cli --yes "--virtual-drive=replay=$rec" --trace "$work/other.json"
[ "$(rc other)" = 8 ] || fail "other utility: exit $(rc other), want 8"
# The report counts commands; the recorded line is the file's (its first names the drive).
first=$(grep '"cdb"' "$rec" | grep -n '"cdb": "3b' | head -1 | cut -d: -f1)
first_line=$(grep -n '"cdb": "3b' "$rec" | head -1 | cut -d: -f1)
grep -q "^flashutil: replay: the run left the recording at command $first: the data sent differs (SHA-256)$" \
    "$work/other.err" || fail "other utility: no divergence report at command $first: $(err other)"
grep -q "^  recorded (line $first_line): CDB 3b" "$work/other.err" || fail "other utility: recorded command not shown"
grep -q "^  sent: CDB 3b.*, data out, .*, SHA-256 [0-9a-f]\{64\}$" "$work/other.err" ||
    fail "other utility: sent command not shown"
[ "$(sed -n "$first_line,\$p" "$work/other.json" | grep -vc '"error": 71,')" = 0 ] ||
    fail "a command was answered after the divergence"
grep -q 'Flash Completed' "$work/other.out" && fail "the diverged run completed"

# 4. Bad recordings: the file and the line named, exit 2.
: > "$work/empty.json"
mkdir "$work/dir.json"
head -c 300 "$rec" > "$work/cut.json"
sed -E '3s/"cdb": "[0-9a-f]*"/"cdb": 5/' "$rec" > "$work/bad.json"
run_command plain "$built" --cli --yes --virtual-drive --trace "$work/plain.json"
for case in "empty:holds no command" "cut:line 2: the recording ends in the middle" \
    "bad:line 3: \"cdb\" is not a string" "plain:line 2: no recorded data" "missing:cannot read" \
    "dir:it is a directory"; do
    name=${case%%:*}
    run "bad-$name" "$built" --cli --yes "--virtual-drive=replay=$work/$name.json"
    [ "$(rc "bad-$name")" = 2 ] || fail "$name recording: exit $(rc "bad-$name"), want 2"
    grep -qF "$work/$name.json" "$work/bad-$name.err" || fail "$name recording: the file is not named"
    grep -qF "${case#*:}" "$work/bad-$name.err" || fail "$name recording: $(err "bad-$name")"
done

# 5. Runs recorded in the kernel test against the real sg driver (tests/kernel) replay with
#    the messages and exit codes seen there; the utility is built as the kernel test builds it.
mkdir "$work/kernel"
cp "$work/flashutil" "$work/kernel/"
sed -n "/^\[MODEL00\]/,/^Note=/p" "$source_dir/tests/kernel/run-kernel-checks.sh" > "$work/kernel/flashutil.INI"
head -c 524288 /dev/zero | tr '\0' '\132' > "$work/kernel/1.01.BIN"
(cd "$work/kernel" && ./flashutil --build --model 0 --image 1.01.BIN --output-dir . > build.log 2>&1) ||
    fail "could not build the kernel test's utility"
# The profile image with the maker's profiles, made as the kernel test makes them: a replay
# has no stand-ins, so its flash needs the maker's blob exactly as it was uploaded.
python3 -c 'import sys; open(sys.argv[1], "wb").write(bytes((i * 37 + 11) % 251 for i in range(3326)))' "$work/kernel/maker.prf"
python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[0x1100:0x1102] = b"\x05\x80"; open(sys.argv[2], "wb").write(b)' \
    "$work/kernel/1.01.BIN" "$work/kernel/1.03.BIN"
(cd "$work/kernel" && ./flashutil --build --model 0 --image 1.03.BIN --profiles maker.prf --output-dir . >> build.log 2>&1) ||
    fail "could not build the kernel test's profile utility"
recordings="$source_dir/tests/cli/recordings"
# usb-flash: QEMU's USB Bulk-Only CD drive (usb-storage), which refuses the first WRITE BUFFER.
# drive-flash, drive-profile: complete flashes of a drive the guest's kernel served itself
# (SCSI target, TCMU, loopback), a plain image and a profile image with the maker's profiles.
for name in flash outofrange usb-flash drive-flash drive-profile; do
    utility=1.01.EXE
    [ $name = drive-profile ] && utility=1.03.EXE
    (cd "$work/kernel" && ./$utility --cli --yes "--virtual-drive=replay=$recordings/kernel-$name.trace") \
        < /dev/null > "$work/kernel-$name.txt" 2>&1
    code=$?
    [ "$code" = "$(cat "$recordings/kernel-$name.rc")" ] ||
        fail "kernel recording $name: exit $code, the kernel test saw $(cat "$recordings/kernel-$name.rc")"
    # The one line not from the drive: the Linux back-end's remark about sleep and shutdown.
    grep -v '^flashutil: Sleep and shutdown' "$recordings/kernel-$name.txt" |
        diff - "$work/kernel-$name.txt" > "$work/kernel-$name.diff" ||
        fail "kernel recording $name: other messages: $(cat "$work/kernel-$name.diff")"
done

# 6. The drive listed is not the drive at FLASH: its second INQUIRY (the listing's) answers
#    another product, or a disk. Refused before anything is sent to its memory, exit 6.
head -2 "$recordings/kernel-flash.trace" | sed '2s/5347494f54455354/4f54484552202020/' > "$work/kernel/other.trace"
head -2 "$recordings/kernel-flash.trace" | sed '2s/"data": "0580/"data": "0080/' > "$work/kernel/disk.trace"
for case in "other:the drive is not a" "disk:it is not an optical drive (peripheral type 0)"; do
    name=${case%%:*}
    (cd "$work/kernel" && ./1.01.EXE --cli --yes "--virtual-drive=replay=$name.trace") \
        < /dev/null > "$work/changed-$name.out" 2> "$work/changed-$name.err"
    code=$?
    [ "$code" = 6 ] || fail "listed drive changed ($name): exit $code, want 6: $(cat "$work/changed-$name.err")"
    grep -qF "/dev/sg0 no longer qualifies for this firmware (${case#*:}" "$work/changed-$name.out" \
        "$work/changed-$name.err" || fail "listed drive changed ($name): not said: $(cat "$work/changed-$name.out")"
    grep -q 'Flash Completed' "$work/changed-$name.out" && fail "listed drive changed ($name): flashed"
    grep -q 'recorded commands\|replay:' "$work/changed-$name.err" && fail "listed drive changed ($name): $(cat "$work/changed-$name.err")"
done

# 7. A profile utility built with the maker's profiles, as the virtual drive recorded its full
#    flash: a replay hands out no stand-in profiles, as no real drive does, so the run's own
#    checks and the run must both use the maker's. The recording holds no firmware bytes: data
#    sent, and data read back that equals it, appear as their SHA-256 only.
mkdir "$work/maker"
cp "$work/flashutil" "$work/flashutil.INI" "$work/maker/"
head -c 524288 /dev/zero | tr '\0' '\125' |
    python3 -c 'import sys; b = bytearray(sys.stdin.buffer.read()); b[0x1100:0x1102] = b"\x05\x80"; sys.stdout.buffer.write(b)' \
        > "$work/maker/P120.BIN"
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 13 + 5) & 255 for i in range(3326)))' > "$work/maker/maker.prf"
(cd "$work/maker" && ./flashutil --build --model 0 --image P120.BIN --profiles maker.prf > build.log 2>&1) ||
    fail "could not build the profile utility: $(cat "$work/maker/build.log")"
recording="$recordings/maker-profiles-flash.trace"
(cd "$work/maker" && ./P120.EXE --cli --yes "--virtual-drive=replay=$recording") < /dev/null \
    > "$work/maker-replay.out" 2> "$work/maker-replay.err"
code=$?
[ "$code" = 0 ] || fail "maker's profiles on a replay: exit $code: $(cat "$work/maker-replay.out" "$work/maker-replay.err")"
grep -qx 'Flash Completed.' "$work/maker-replay.out" || fail "maker's profiles on a replay: not flashed"
grep -q 'built without them' "$work/maker-replay.out" "$work/maker-replay.err" && fail "maker's profiles not used"
grep -q 'replay:' "$work/maker-replay.err" && fail "maker's profiles: the run left the recording: $(cat "$work/maker-replay.err")"
grep -q "\"cdb\": \"3b0501[0-9a-f]\{12\}7f0000\", \"dir\": \"out\"" "$recording" || fail "the recording holds no profile upload"
grep -qi '5555555555555555' "$recording" && fail "the recording carries the image's bytes"
profile_hex=$(head -c 800 "$work/maker/maker.prf" | tail -c 32 | od -An -tx1 | tr -d ' \n')
grep -qi "$profile_hex" "$recording" && fail "the recording carries the maker's profile bytes"

[ "$failures" = 0 ] || exit 1
echo "replay: all checks passed"
