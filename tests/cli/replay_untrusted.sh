#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A recording is a file anyone can hand over. The replay reads only a regular file of bounded
# length, without waiting on it; a replayed drive never passes for a drive in the machine,
# whatever device path it was recorded under (listing, JSON, history); and what the
# recording makes the drive say reaches the terminal without control bytes, while the JSON
# keeps every byte.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
rec="$work/rec.json"
run_command record "$built" --cli --yes --virtual-drive --trace "$rec" --trace-data
[ "$(rc record)" = 0 ] || fail "recording the run: exit $(rc record): $(err record)"

# 1. Not a regular file, or longer than the bound: refused at once, naming the file and the
#    cause (exit 2). The time limit only keeps a broken build from hanging the check.
mkfifo "$work/fifo"
ln -s "$work/fifo" "$work/fifo-link"
truncate -s 65M "$work/huge.json"
for case in "$work/fifo|it is a FIFO, not a regular file" "$work/fifo-link|it is a FIFO, not a regular file" \
    "/dev/zero|it is a character device, not a regular file" \
    "$work/huge.json|is longer than the 64 MiB a recording may hold"; do
    path=${case%%|*}
    timeout 60 "$flashutil" --list "--virtual-drive=replay=$path" < /dev/null > "$work/bad.out" 2> "$work/bad.err"
    code=$?
    [ "$code" = 2 ] || fail "replay of $path: exit $code, want 2 (124: it waited or read on)"
    grep -qF "$path" "$work/bad.err" || fail "replay of $path: the file is not named: $(cat "$work/bad.err")"
    grep -qF "${case#*|}" "$work/bad.err" || fail "replay of $path: $(cat "$work/bad.err")"
done
[ -p "$work/fifo" ] || fail "the FIFO was replaced"

# 2. A drive recorded as /dev/sg0 is still a replayed one: marked in the list, the JSON and
#    the history of the run made on it.
sed 's#"device": "virtual:0"#"device": "/dev/sg0"#' "$rec" > "$work/sg0.json"
run_command list "$flashutil" --list "--virtual-drive=replay=$work/sg0.json"
[ "$(head -1 "$work/list.out")" = "0-0-0 V: ACME    CD-RW RW5200    1.00  /dev/sg0 (virtual drive)" ] ||
    fail "replayed /dev/sg0 listed as: $(out list)"
run_command json "$flashutil" --list --json "--virtual-drive=replay=$work/sg0.json"
grep -q '"device": "/dev/sg0"' "$work/json.out" && grep -q '"virtual": true' "$work/json.out" ||
    fail "replayed /dev/sg0 in JSON: $(out json)"
run_command flash "$built" --cli --yes "--virtual-drive=replay=$work/sg0.json"
[ "$(rc flash)" = 0 ] || fail "run on the replayed /dev/sg0: exit $(rc flash): $(err flash)"
grep -q '"record":"start".*"device":"/dev/sg0".*"virtual":true' "$FLASHUTIL_HISTORY" ||
    fail "history start record not marked: $(cat "$FLASHUTIL_HISTORY")"
run_command history "$flashutil" --history
grep -q '  /dev/sg0 (virtual drive)  ACME CD-RW RW5200  1.00 -> R120  completed$' "$work/history.out" ||
    fail "--history: $(out history)"
run_command historyjson "$flashutil" --history --json
grep -q '"virtual": true' "$work/historyjson.out" || fail "--history --json: $(out historyjson)"
# A virtual drive's lines stay as they were.
run_command plain "$flashutil" --list --virtual-drive
[ "$(out plain)" = "0-0-0 V: VIRTUAL OPTICAL DRIVE   1.00  virtual:0 (virtual drive)" ] ||
    fail "virtual drive listed as: $(out plain)"

# 3. A device path holding CR, LF and ESC, and INQUIRY text holding ESC and LF: every run's
#    output on the terminal holds none of them (each shows as '?'), so no line is forged;
#    the JSON list keeps them as JSON escapes.
sed 's#"device": "virtual:0"#"device": "/dev/sg9\\r\\nforged line\\u001b[31m"#' "$rec" > "$work/device.json"
sed 's#41434d4520#1b5b324a0a#g' "$rec" > "$work/inquiry.json"  # "ACME " -> ESC [ 2 J LF
grep -q '1b5b324a0a' "$work/inquiry.json" || fail "no INQUIRY answer in the recording to alter"
run_command devlist "$flashutil" --list "--virtual-drive=replay=$work/device.json"
run_command devcli "$built" --cli --yes --verbose "--virtual-drive=replay=$work/device.json"
run_command devall "$built" --cli --all --yes "--virtual-drive=replay=$work/device.json"
run_command inqlist "$flashutil" --list "--virtual-drive=replay=$work/inquiry.json"
run_command inqcli "$built" --cli --yes "--virtual-drive=replay=$work/inquiry.json"
run_command inqall "$built" --cli --all --yes "--virtual-drive=replay=$work/inquiry.json"
run_command inqjson "$flashutil" --list --json "--virtual-drive=replay=$work/inquiry.json"
for name in devlist devcli devall inqlist inqcli inqall; do
    if LC_ALL=C grep -q "$(printf '[\001-\011\013-\037\177]')" "$work/$name.out" "$work/$name.err"; then
        fail "$name: a control byte reached the terminal: $(LC_ALL=C cat -v "$work/$name.out" "$work/$name.err")"
    fi
    grep -q '^forged line' "$work/$name.out" "$work/$name.err" && fail "$name: a line was forged"
    grep -q '^   CD-RW RW5200' "$work/$name.out" "$work/$name.err" && fail "$name: the identity was split"
done
[ "$(rc devcli)" = 0 ] || fail "run on the crafted device: exit $(rc devcli): $(err devcli)"
[ "$(out devlist)" = "0-0-0 V: ACME    CD-RW RW5200    1.00  /dev/sg9??forged line?[31m (virtual drive)" ] ||
    fail "crafted device listed as: $(LC_ALL=C cat -v "$work/devlist.out")"
grep -qF '/dev/sg9??forged line?[31m' "$work/devall.out" || fail "crafted device not shown in the tower"
[ "$(out inqlist)" = "0-0-0 V: ?[2J?   CD-RW RW5200    1.00  virtual:0 (virtual drive)" ] ||
    fail "crafted INQUIRY listed as: $(LC_ALL=C cat -v "$work/inqlist.out")"
grep -qF '0-0-0 V: ?[2J?   CD-RW RW5200    1.00' "$work/inqcli.out" "$work/inqcli.err" ||
    fail "crafted INQUIRY not shown by --cli: $(LC_ALL=C cat -v "$work/inqcli.out" "$work/inqcli.err")"
grep -qF '"identity": "0-0-0 V: \u001b[2J\n   CD-RW RW5200    1.00"' "$work/inqjson.out" ||
    fail "crafted INQUIRY in JSON: $(out inqjson)"

[ "$failures" = 0 ] || exit 1
echo "replay_untrusted: all checks passed"
