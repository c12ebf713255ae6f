#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Safe on a real drive: a built copy checks its seal before any drive command, a profile
# image needs the maker's flash-chip profiles (the stand-ins are the virtual drive's only),
# and --no-commit rehearses a run up to the comparison without touching the flash.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"

# copy_with NAME PYTHON: a copy of the built utility changed by PYTHON, which gets the
# file's bytes as d, the identity block's offset as k and the seal area's as s.
copy_with() {
    python3 - "$built" "$work/$1" "$2" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
k = d.find(b'FLUTIL.' + b'IDBLOCK\0'); s = d.find(b'FLUTIL.' + b'SEALBLK\0')
assert k >= 0 and s >= 0
exec(sys.argv[3])
open(sys.argv[2], 'wb').write(d)
PY
    chmod +x "$work/$1"
}

# 1. Damage: one image byte, the identity opened to any drive, a malformed seal area. Each is
#    refused before any drive command, naming the file, with the failure-before-commit code.
copy_with flipped.EXE 'd[k + 152 + 1000] ^= 1'
copy_with anydrive.EXE 'd[k + 40:k + 42] = b"--"'
copy_with badseal.EXE 'd[s + 16] = 9'
for copy in flipped anydrive badseal; do
    run_command "$copy" "$work/$copy.EXE" --cli --yes --virtual-drive --trace "$work/$copy.trace"
    [ "$(rc "$copy")" = 6 ] || fail "$copy: exit $(rc "$copy"), want 6"
    grep -q "This utility is damaged: $work/$copy.EXE" "$work/$copy.err" || fail "$copy: no damage report naming the file"
    grep -qE "^flashutil: $work/$copy\.EXE: the utility is damaged \(.+\); nothing was sent to any drive: use an undamaged copy or build it again$" \
        "$work/$copy.err" || fail "$copy: no line on standard error naming the file and the cause: $(err "$copy")"
    [ ! -s "$work/$copy.trace" ] || fail "$copy: commands were sent"
    grep -q 'Flash Completed.' "$work/$copy.out" && fail "$copy: flashed"
done

# 2. A seal stripped from the copy (its key-word and version kept, the rest zeroed, the image
#    changed) is damage too, not a copy of an earlier version; seal_verdict.sh has every case.
copy_with stripped.EXE 'd[s + 20:s + 3446] = bytes(3426); d[k + 152 + 1000] ^= 1'
run_command stripped "$work/stripped.EXE" --cli --yes --quiet --virtual-drive
[ "$(rc stripped)" = 6 ] || fail "stripped seal: exit $(rc stripped), want 6"
grep -q 'its seal is blank' "$work/stripped.err" || fail "stripped seal: $(err stripped)"
grep -q 'Flash Completed.' "$work/stripped.out" && fail "stripped seal: flashed"

# 3. The maker's profiles: a file of any other size, a directory or a FIFO is refused, naming
#    the file, and nothing is written; the right size builds.
head -c 3326 /dev/urandom > "$work/maker.prf"
head -c 3325 /dev/urandom > "$work/short.prf"
mkdir "$work/dir.prf"
mkfifo "$work/fifo.prf"
head -c 524288 /dev/zero | tr '\0' '\125' | python3 -c 'import sys; b = bytearray(sys.stdin.buffer.read()); b[0x1100:0x1102] = b"\x05\x80"; sys.stdout.buffer.write(b)' > "$work/P120.BIN"
for bad in short dir fifo missing; do
    run_command "build-$bad" bash -c "cd '$work' && ./flashutil --build --model 0 --image P120.BIN --profiles $bad.prf"
    [ "$(rc "build-$bad")" = 1 ] || fail "--profiles $bad: exit $(rc "build-$bad"), want 1"
    grep -q "$bad.prf" "$work/build-$bad.err" || fail "--profiles $bad: the file is not named"
    [ ! -e "$work/P120.EXE" ] || fail "--profiles $bad: output written"
done
run_command build-maker bash -c "cd '$work' && ./flashutil --build --model 0 --image P120.BIN --profiles maker.prf"
[ "$(rc build-maker)" = 0 ] || fail "--profiles of 3326 bytes: exit $(rc build-maker)"

# 4. A profile image on the virtual drive: with the maker's profiles and without them (the
#    stand-ins), it flashes.
run_command profile-maker "$work/P120.EXE" --cli --yes --virtual-drive
grep -qx 'Flash Completed.' "$work/profile-maker.out" || fail "profile image with the maker's profiles did not flash"
(cd "$work" && ./flashutil --build --model 0 --image P120.BIN >> build.log 2>&1) || fail "profile image build"
run_command profile-standin "$work/P120.EXE" --cli --yes --virtual-drive
grep -qx 'Flash Completed.' "$work/profile-standin.out" || fail "profile image on the virtual drive did not flash"

# 5. A rehearsal: up to the read-back, then the statement; exit 0, no entry critical, no
#    commit, no restart question.
run_command rehearsal "$work/P120.EXE" --cli --yes --virtual-drive --no-commit --trace "$work/rehearsal.trace"
[ "$(rc rehearsal)" = 0 ] || fail "rehearsal: exit $(rc rehearsal), want 0"
grep -q 'gave it back intact. Its flash was not changed' "$work/rehearsal.out" || fail "rehearsal: no statement"
grep -q 'restarted' "$work/rehearsal.out" && fail "rehearsal: restart question asked"
grep -q '"cdb": "3c01' "$work/rehearsal.trace" || fail "rehearsal: no read-back"
grep -qE '"cdb": "3b0501000000000000(7f|80|a0)' "$work/rehearsal.trace" && fail "rehearsal: entry critical or commit sent"
run_command no-commit-build "$flashutil" --build --model 0 --image x --no-commit
[ "$(rc no-commit-build)" = 2 ] || fail "--no-commit with --build: exit $(rc no-commit-build), want 2"

exit $((failures > 0))
