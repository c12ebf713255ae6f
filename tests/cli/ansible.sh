#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Ansible role and its example, with Debian's ansible-core, on three local towers of virtual
# drives: a first run changes the complete tower, changes and fails the partial one naming its
# bad drive, fails the failing one with its cause; a rerun once every drive has the new revision
# changes nothing and fails nothing; check mode sends no commit and fails the bad towers;
# serial: 1 stops after the first failing tower.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2
command -v ansible-playbook > /dev/null ||
    { echo "SKIPPED: ansible-playbook is missing (scripts/install-deps.sh installs ansible-core)"; exit 77; }

model_ini > "$work/flashutil.INI"
build_copy 1.05.BIN
commit='"cdb": "3b0501000000000000800000"'

# Ansible keeps its temporary and job files in the scratch directory, and speaks plainly.
export ANSIBLE_LOCAL_TEMP="$work/ansible-local" ANSIBLE_REMOTE_TEMP="$work/ansible-remote"
export ANSIBLE_ASYNC_DIR="$work/ansible-async" ANSIBLE_NOCOLOR=1 ANSIBLE_NOCOWS=1 ANSIBLE_RETRY_FILES_ENABLED=0

# play NAME [ansible-playbook options]: the example's play against the utility built above.
play() {
    local name=$1; shift
    mkdir -p "$work/$name-trace"
    run_command "$name" ansible-playbook -i "$source_dir/examples/ansible/inventory.ini" \
        "$source_dir/examples/ansible/tower.yml" -e flashutil_utility="$work/1.05.EXE" -e flashutil_program="$flashutil" \
        -e tower_trace_dir="$work/$name-trace" "$@"
}
# recap NAME HOST: the play recap's counts for HOST, as "changed=N failed=N"
recap() {
    sed -n "s/^$2 *: .*\(changed=[0-9]*\) .*\(failed=[0-9]*\) .*/\1 \2/p" "$work/$1.out"
}
# commits NAME HOST: how many commits the tower's trace shows sent
commits() { cat "$work/$1-trace/$2.json" 2> /dev/null | grep -cF "$commit"; }

play first
[ "$(rc first)" = 2 ] || fail "first run: exit $(rc first), want 2 (some hosts failed): $(tail -5 "$work/first.out")"
[ "$(recap first tower-complete)" = "changed=1 failed=0" ] || fail "first run: complete tower: $(recap first tower-complete)"
[ "$(recap first tower-partial)" = "changed=1 failed=1" ] || fail "first run: partial tower: $(recap first tower-partial)"
[ "$(recap first tower-failing)" = "changed=0 failed=1" ] || fail "first run: failing tower: $(recap first tower-failing)"
cause='FAILED before the commit (flash unchanged): WRITE BUFFER failed: Hardware Error, Internal target failure'
grep -qF "failed: [tower-partial] (item=virtual:2) => " "$work/first.out" ||
    fail "first run: the partial tower's bad drive is not named: $(grep tower-partial "$work/first.out")"
grep -q "failed: \[tower-partial\] (item=virtual:[01])" "$work/first.out" && fail "first run: a good drive failed"
[ "$(grep -cF "\"msg\": \"virtual:1: $cause\"" "$work/first.out")" = 1 ] ||
    fail "first run: the failing tower's cause is not given once for virtual:1"
grep -qF "\"msg\": \"virtual:0: $cause\"" "$work/first.out" || fail "first run: the failing tower's cause is not given"
[ "$(commits first tower-complete)" = 2 ] || fail "first run: the complete tower's two drives were not committed"
[ "$(commits first tower-partial)" = 2 ] || fail "first run: the partial tower's two good drives were not committed"
[ "$(commits first tower-failing)" = 0 ] || fail "first run: the failing tower was committed"
# Every failure is one short line: no progress in it.
[ "$(grep '^failed: ' "$work/first.out" | awk '{ print length }' | sort -n | tail -1)" -lt 300 ] ||
    fail "first run: a failure line is not short"

# Every drive now reports the new revision: nothing to do, nothing changed, nothing failed.
# A host without the installed program runs the utility itself.
play again -v -e flashutil_drive_revision=1.05 -e flashutil_program=/nonexistent/flashutil
tr -d '\n ' < "$work/again.out" | grep -qE '"cmd":\["/[^"]*/1\.05\.EXE","--cli"' ||
    fail "rerun: without an installed program the utility did not run itself"
[ "$(rc again)" = 0 ] || fail "rerun: exit $(rc again), want 0: $(tail -5 "$work/again.out")"
for host in tower-complete tower-partial tower-failing; do
    [ "$(recap again $host)" = "changed=0 failed=0" ] || fail "rerun: $host: $(recap again $host)"
    [ "$(commits again $host)" = 0 ] || fail "rerun: $host was committed"
done

# Check mode is a rehearsal: no commit anywhere, the towers with a bad drive fail.
play check --check -v
[ "$(recap check tower-complete)" = "changed=1 failed=0" ] || fail "check mode: complete tower: $(recap check tower-complete)"
[ "$(recap check tower-partial)" = "changed=1 failed=1" ] || fail "check mode: partial tower: $(recap check tower-partial)"
[ "$(recap check tower-failing)" = "changed=0 failed=1" ] || fail "check mode: failing tower: $(recap check tower-failing)"
for host in tower-complete tower-partial tower-failing; do
    [ -s "$work/check-trace/$host.json" ] || fail "check mode: $host was not rehearsed"
    [ "$(commits check $host)" = 0 ] || fail "check mode: $host was sent a commit"
done
grep -qF '"virtual:0  1.00 -> 1.00  rehearsed"' "$work/check.out" || fail "check mode: no drive is reported rehearsed"
# The installed program (this build, as every play but the rerun names it) flashes the utility as data.
tr -d '\n ' < "$work/check.out" | grep -qF "\"cmd\":[\"$flashutil\",\"--cli\"" ||
    fail "check mode: the utility was not handed to the installed program"
tr -d '\n ' < "$work/check.out" | grep -qE '"--","/[^"]*/1\.05\.EXE"\]' || fail "check mode: the utility was not given as data"

# One tower at a time: the partial tower fails its batch, and the play stops before the failing tower.
play serial -e tower_serial=1
[ "$(rc serial)" = 2 ] || fail "serial: exit $(rc serial), want 2"
[ "$(recap serial tower-complete)" = "changed=1 failed=0" ] || fail "serial: complete tower: $(recap serial tower-complete)"
[ "$(recap serial tower-partial)" = "changed=1 failed=1" ] || fail "serial: partial tower: $(recap serial tower-partial)"
[ -z "$(recap serial tower-failing)" ] || fail "serial: the play went on to the failing tower"
[ -e "$work/serial-trace/tower-failing.json" ] && fail "serial: the failing tower was flashed"

[ "$failures" = 0 ] && echo "all Ansible role checks passed"
exit $((failures > 0))
