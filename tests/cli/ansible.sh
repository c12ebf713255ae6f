#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Ansible collection flashutil.drives and its example, with Debian's ansible-core, on three
# local towers of virtual drives and an image of the size the README suggests (64 KiB): the
# modules' documentation shows, ansible-lint finds nothing; a first run changes the complete
# tower, changes and fails the partial one naming its bad drive, fails the failing one with its
# cause, and --diff shows each drive's revisions; a rerun once every drive has the new revision
# changes nothing and fails nothing; check mode sends no commit and fails the bad towers;
# serial with max_fail_percentage: 0 stops after the first batch with a failing tower; a host
# with a drive completed and one up to date is changed, never skipped; the facts module tells
# which drives would be flashed. The catalogue play on a tower of two models: each drive gets
# the utility of its model and the result names it, the host's copy of the catalogue is the
# controller's (a stale utility that would flash again removed), a rerun changes nothing,
# check mode rehearses, the facts name each drive's utility, and an ambiguous drive fails.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2
command -v ansible-playbook > /dev/null ||
    { echo "SKIPPED: ansible-playbook is missing (scripts/install-deps.sh installs ansible-core)"; exit 77; }

model_ini > "$work/flashutil.INI"
build_copy 1.05.BIN 0 65536
# A commit, of a normal image or of a whole flash chip.
commit='"cdb": "3b0501000000000000(80|a0)0000"'

# Ansible keeps its temporary and job files in the scratch directory, and speaks plainly.
export HOME="$work/home" ANSIBLE_LOCAL_TEMP="$work/ansible-local" ANSIBLE_REMOTE_TEMP="$work/ansible-remote"
export ANSIBLE_ASYNC_DIR="$work/ansible-async" ANSIBLE_NOCOLOR=1 ANSIBLE_NOCOWS=1 ANSIBLE_RETRY_FILES_ENABLED=0
export ANSIBLE_LOCALHOST_WARNING=0 ANSIBLE_INVENTORY_UNPARSED_WARNING=0
mkdir -p "$HOME"
# The plays find the collection beside the example play; the other commands are told where.
collections="$source_dir/examples/ansible/collections"

# The documentation of both modules and of the role, as ansible-doc shows it (it reads every
# option and return value); the examples are YAML too, which ansible-doc does not read.
for plugin in "module flashutil.drives.flashutil_flash" "module flashutil.drives.flashutil_facts" "role flashutil.drives.flashutil"; do
    ANSIBLE_COLLECTIONS_PATH=$collections run_command doc ansible-doc -t $plugin
    [ "$(rc doc)" = 0 ] && grep -q 'utility' "$work/doc.out" || fail "ansible-doc $plugin: $(head -3 "$work/doc.err")"
done
grep -q 'flashutil_program' "$work/doc.out" || fail "ansible-doc: the role's arguments lack flashutil_program"
python3 - "$source_dir"/ansible/plugins/modules/*.py > "$work/yaml.out" 2>&1 <<'PYTHON' || fail "module documentation: $(cat "$work/yaml.out")"
import ast, sys, yaml
for path in sys.argv[1:]:
    texts = {t.id: n.value.value for n in ast.parse(open(path).read()).body if isinstance(n, ast.Assign)
             for t in n.targets if isinstance(t, ast.Name) and t.id in ("DOCUMENTATION", "EXAMPLES", "RETURN")}
    assert sorted(texts) == ["DOCUMENTATION", "EXAMPLES", "RETURN"], "%s: %s" % (path, sorted(texts))
    for name, text in texts.items():
        assert yaml.safe_load(text), "%s: %s is empty" % (path, name)
PYTHON
# ansible-lint's strictest profile (production), offline, on the collection's sources.
if command -v ansible-lint > /dev/null; then
    (cd "$source_dir/ansible" && ANSIBLE_COLLECTIONS_PATH=$collections ansible-lint --offline --nocolor --profile production) \
        > "$work/lint.out" 2>&1 || fail "ansible-lint: $(grep -v '^$' "$work/lint.out" | tail -15)"
    (cd "$source_dir/examples/ansible" && ANSIBLE_COLLECTIONS_PATH=$collections ansible-lint --offline --nocolor \
        --profile production catalogue.yml tower.yml) > "$work/lint.out" 2>&1 || fail "ansible-lint examples: $(tail -15 "$work/lint.out")"
else
    fail "ansible-lint is missing (scripts/install-deps.sh installs it)"
fi

# play NAME [ansible-playbook options]: the example's play against the utility built above.
play() {
    local name=$1; shift
    mkdir -p "$work/$name-trace"
    run_command "$name" ansible-playbook -i "$source_dir/examples/ansible/inventory.ini" \
        "${tower_play:-$source_dir/examples/ansible/tower.yml}" -e flashutil_utility="$work/1.05.EXE" -e flashutil_program="$flashutil" \
        -e tower_trace_dir="$work/$name-trace" "$@"
}
# adhoc NAME MODULE ARGS [ansible options]: one module run on this machine, as an administrator
# tries it, its result as JSON; ARGS is JSON too.
adhoc() {
    local name=$1 module=$2 args=$3; shift 3
    ANSIBLE_COLLECTIONS_PATH=$collections run_command "$name" ansible localhost -c local \
        -e ansible_python_interpreter=python3 -m "flashutil.drives.$module" -a "$args" "$@"
}
# json NAME EXPRESSION: EXPRESSION (Python, on the result r) of the ad hoc run NAME
json() {
    python3 -c 'import json, sys; t = open(sys.argv[1]).read(); r = json.loads(t[t.index("{"):]); print(eval(sys.argv[2]))' \
        "$work/$1.out" "$2" 2>&1
}
# recap NAME HOST: the play recap's counts for HOST, as "changed=N failed=N"
recap() {
    sed -n "s/^$2 *: .*\(changed=[0-9]*\) .*\(failed=[0-9]*\) .*/\1 \2/p" "$work/$1.out"
}
# commits NAME HOST: how many commits the tower's trace shows sent
commits() { cat "$work/$1-trace/$2.json" 2> /dev/null | grep -cE "$commit"; }

play first --diff
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
# --diff shows each drive's revision before and after, by node and stable id.
grep -qE '^\+virtual:1 \([0-9a-f]{16}\) 1\.05$' "$work/first.out" || fail "first run: --diff does not show the new revision"
grep -qE '^-virtual:1 \([0-9a-f]{16}\) 1\.00$' "$work/first.out" || fail "first run: --diff does not show the old revision"
grep -qE '^ virtual:2 \([0-9a-f]{16}\) 1\.00$' "$work/first.out" || fail "first run: --diff does not show the failed drive unchanged"
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

# The role by its earlier name on a roles_path (the package's /usr/share/flashutil/ansible/roles)
# still works: one drive completes, the host is changed.
printf -- '- name: The role by its earlier name\n  hosts: localhost\n  gather_facts: false\n  roles: [flashutil]\n' > "$work/old.yml"
ANSIBLE_ROLES_PATH="$source_dir/ansible/roles" ANSIBLE_COLLECTIONS_PATH=$collections run_command old \
    ansible-playbook -c local -e ansible_python_interpreter=python3 "$work/old.yml" -e flashutil_utility="$work/1.05.EXE" \
    -e flashutil_program="$flashutil" -e flashutil_reboot=false -e flashutil_poll=1 -e '{"flashutil_options": ["--virtual-drive"]}'
[ "$(recap old localhost)" = "changed=1 failed=0" ] || fail "the role's earlier name: $(recap old localhost) $(tail -3 "$work/old.out") $(tail -3 "$work/old.err")"

# Check mode is a rehearsal: no commit anywhere, the towers with a bad drive fail.
play check --check --diff -v
[ "$(recap check tower-complete)" = "changed=1 failed=0" ] || fail "check mode: complete tower: $(recap check tower-complete)"
[ "$(recap check tower-partial)" = "changed=1 failed=1" ] || fail "check mode: partial tower: $(recap check tower-partial)"
[ "$(recap check tower-failing)" = "changed=0 failed=1" ] || fail "check mode: failing tower: $(recap check tower-failing)"
for host in tower-complete tower-partial tower-failing; do
    [ -s "$work/check-trace/$host.json" ] || fail "check mode: $host was not rehearsed"
    [ "$(commits check $host)" = 0 ] || fail "check mode: $host was sent a commit"
done
grep -qF '"virtual:0  1.00 -> 1.00  rehearsed"' "$work/check.out" || fail "check mode: no drive is reported rehearsed"
grep -qE '^\+virtual:0 \([0-9a-f]{16}\) 1\.05$' "$work/check.out" || fail "check mode: --diff does not show the revision a run would install"
# The installed program (this build, as every play but the rerun names it) flashes the utility as data.
tr -d '\n ' < "$work/check.out" | grep -qF "\"cmd\":[\"$flashutil\",\"--cli\"" ||
    fail "check mode: the utility was not handed to the installed program"
tr -d '\n ' < "$work/check.out" | grep -qE '"--","/[^"]*/1\.05\.EXE"\]' || fail "check mode: the utility was not given as data"

# Two towers at a time, none may fail: the partial tower fails the first batch, and the play
# stops before the failing tower, which the batch size alone would have reached.
# The example's play with the line its comment suggests, beside the collection as in the sources.
mkdir "$work/careful"
ln -s "$collections" "$work/careful/collections"
sed '/^  serial: /a\  max_fail_percentage: 0' "$source_dir/examples/ansible/tower.yml" > "$work/careful/tower.yml"
tower_play=$work/careful/tower.yml play serial -e tower_serial=2
[ "$(rc serial)" = 2 ] || fail "serial: exit $(rc serial), want 2"
[ "$(recap serial tower-complete)" = "changed=1 failed=0" ] || fail "serial: complete tower: $(recap serial tower-complete)"
[ "$(recap serial tower-partial)" = "changed=1 failed=1" ] || fail "serial: partial tower: $(recap serial tower-partial)"
[ -z "$(recap serial tower-failing)" ] || fail "serial: the play went on to the failing tower"
[ -e "$work/serial-trace/tower-failing.json" ] && fail "serial: the failing tower was flashed"

# A host with one drive up to date and one completed is changed, not skipped; each drive is
# named by its stable id and serial as --list --json gives them.
drives='"--virtual-drive=rev=1.05", "--virtual-drive=commit-ms=10"'
adhoc mixed flashutil_flash "{\"utility\": \"$work/1.05.EXE\", \"program\": \"$flashutil\", \"options\": [$drives]}"
"$flashutil" --list --json --virtual-drive=rev=1.05 --virtual-drive > "$work/list.json"
id1=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["drives"][1]["device_id"])' "$work/list.json")
[ "$(rc mixed)" = 0 ] && grep -q '^localhost | CHANGED => ' "$work/mixed.out" || fail "mixed host: not changed: $(head -3 "$work/mixed.out")"
[ "$(json mixed '"skipped" in r')" = False ] || fail "mixed host: the result has a skipped key"
[ "$(json mixed '(r["completed"], r["left_alone"])')" = "(['virtual:1'], ['virtual:0: already at FW:1.05, not below FW:1.05'])" ] ||
    fail "mixed host: $(json mixed 'r["completed"], r["left_alone"]')"
[ "$(json mixed '[(d["device_id"], d["serial"], d["revision_before"], d["revision_after"], d["outcome"]) for d in r["drives"]][1]')" = \
    "('$id1', 'VIRTUAL-1', '1.00', '1.05', 'completed')" ] || fail "mixed host: the completed drive: $(json mixed 'r["drives"][1]')"
# A host whose drives are all up to date (the utility ends with 10, nothing to do) is fine.
adhoc uptodate flashutil_flash "{\"utility\": \"$work/1.05.EXE\", \"options\": [\"--virtual-drive=count=2,rev=1.05\"]}"
[ "$(rc uptodate)" = 0 ] && grep -q '^localhost | SUCCESS => ' "$work/uptodate.out" ||
    fail "up-to-date host: $(head -3 "$work/uptodate.out")"
# A drive that was to be flashed and was not fails the module, naming it and the cause.
adhoc broken flashutil_flash "{\"utility\": \"$work/1.05.EXE\", \"options\": [\"--virtual-drive=fail=7:04/44/00\"]}"
grep -qF 'localhost | FAILED! => ' "$work/broken.out" && [ "$(json broken 'r["msg"]')" = "virtual:0: $cause" ] ||
    fail "failing drive: $(head -3 "$work/broken.out") $(json broken 'r.get("msg")')"

# The facts, in check mode: which drive the utility would flash, which not and why.
adhoc facts flashutil_facts "{\"utility\": \"$work/1.05.EXE\", \"options\": [$drives, \"--virtual-drive=inquiry=OTHER\"]}" --check
[ "$(rc facts)" = 0 ] || fail "facts: exit $(rc facts): $(head -5 "$work/facts.out")"
[ "$(json facts '[(d["device_id"] == "'"$id1"'", d["revision"], d["would_flash"], d["new_revision"]) for d in r["ansible_facts"]["flashutil_drives"]]')" = \
    "[(False, '1.05', False, '1.05'), (True, '1.00', True, '1.05'), (False, '1.00', False, '1.05')]" ] ||
    fail "facts: $(json facts 'r["ansible_facts"]')"
[ "$(json facts 'r["ansible_facts"]["flashutil_drives"][2]["why_not"]')" = 'the drive is not a "ACME    CD-RW RW5200    "' ] ||
    fail "facts: the other model: $(json facts 'r["ansible_facts"]["flashutil_drives"][2]')"

# The catalogue: a utility for each model of the example's model file, built into a folder.
shop=$work/shop
mkdir -p "$shop/catalogue" "$shop/stale" "$shop/other"
cp "$flashutil" "$source_dir/examples/flashutil.INI" "$shop/"
for built in "QF10 0 catalogue" "E150 1 catalogue" "QF20 0 stale" "QF10 0 other"; do
    set -- $built
    head -c 65536 /dev/urandom > "$shop/$1.BIN"
    (cd "$shop" && ./flashutil --build --model "$2" --image "$1.BIN" --output-dir "$3" -q) || fail "could not build $1"
done
host_catalogue=$work/host-catalogue
# shop_play NAME [ansible-playbook options]: the catalogue play on the shop's tower.
shop_play() {
    local name=$1; shift
    mkdir -p "$work/$name-trace"
    run_command "$name" ansible-playbook -i "$source_dir/examples/ansible/inventory.ini" "$source_dir/examples/ansible/catalogue.yml" \
        -e flashutil_catalogue="$shop/catalogue" -e flashutil_catalogue_dir="$host_catalogue" -e flashutil_program="$flashutil" \
        -e tower_trace_dir="$work/$name-trace" "$@"
}
# result NAME EXPRESSION: EXPRESSION (Python) on the flash task's result r in the -v output of NAME
result() {
    python3 -c 'import json, sys
r = next(json.loads(l.split(" => ", 1)[1]) for l in open(sys.argv[1]) if l.startswith(("changed: [tower-shop] => {", "ok: [tower-shop] => {")) and "\"drives\"" in l)
print(eval(sys.argv[2]))' "$work/$1.out" "$2" 2>&1
}
shop_play converge -v
[ "$(recap converge tower-shop)" = "changed=1 failed=0" ] || fail "catalogue: converge: $(recap converge tower-shop) $(tail -5 "$work/converge.out")"
[ "$(commits converge tower-shop)" = 2 ] || fail "catalogue: converge: want two drives committed"
[ "$(result converge '[(d["outcome"], d["utility"] and d["utility"]["file"].rsplit("/")[-1]) for d in r["drives"]]')" = \
    "[('completed', 'QF10.EXE'), ('completed', 'E150.EXE'), ('skipped', None)]" ] || fail "catalogue: converge: $(result converge 'r["drives"]')"
[ "$(result converge '[d["utility"]["file_sha256"] for d in r["drives"][:2]]')" = \
    "$(cd "$shop/catalogue" && printf "['%s', '%s']" "$(sha256sum < QF10.EXE | cut -d' ' -f1)" "$(sha256sum < E150.EXE | cut -d' ' -f1)")" ] ||
    fail "catalogue: converge: the utilities' digests: $(result converge '[d["utility"] for d in r["drives"]]')"
grep -qF '"virtual:1  E100 -> E150  completed  with E150.EXE"' "$work/converge.out" || fail "catalogue: the report does not name the utility"
[ "$(stat -c '%n %a' "$host_catalogue"/* | sed 's|.*/||')" = $'E150.EXE 644\nQF10.EXE 644' ] ||
    fail "catalogue: the host's copy: $(ls -l "$host_catalogue")"
# A utility left from an earlier catalogue would flash every drive of the first model again.
cp "$shop/stale/QF20.EXE" "$host_catalogue/"
mkdir "$host_catalogue/old"
shop_play reconverge -e shop_updated=true
[ "$(recap reconverge tower-shop)" = "changed=0 failed=0" ] && [ "$(commits reconverge tower-shop)" = 0 ] ||
    fail "catalogue: rerun: $(recap reconverge tower-shop) $(tail -5 "$work/reconverge.out")"
[ "$(ls -A "$host_catalogue" | tr '\n' ' ')" = "E150.EXE QF10.EXE " ] || fail "catalogue: stale entries kept: $(ls -A "$host_catalogue")"
shop_play shopcheck --check --diff
[ "$(recap shopcheck tower-shop)" = "changed=1 failed=0" ] && [ "$(commits shopcheck tower-shop)" = 0 ] &&
    [ -s "$work/shopcheck-trace/tower-shop.json" ] || fail "catalogue: check mode: $(recap shopcheck tower-shop)"
grep -qE '^\+virtual:1 \([0-9a-f]{16}\) E150$' "$work/shopcheck.out" || fail "catalogue: check mode: --diff does not show E150"
# The facts read the host's copy as data: which drive each utility would flash.
adhoc shopfacts flashutil_facts "{\"catalogue\": \"$host_catalogue\", \"program\": \"$flashutil\", \"options\":
    [\"--virtual-drive=inquiry=KAVENO  QRW-70514S,rev=QF01\", \"--virtual-drive=inquiry=EXAMPLE DVW-1000,rev=E150\"]}" --check
[ "$(json shopfacts '[(d["would_flash"], d["utility"] and d["utility"]["new_revision"], d["why_not"]) for d in r["ansible_facts"]["flashutil_drives"]]')" = \
    "[(True, 'QF10', None), (False, None, 'up to date: already at FW:E150, not below FW:E150 of E150.EXE')]" ] ||
    fail "catalogue: facts: $(json shopfacts 'r')"
# Two utilities of one revision with different images: the drive is left alone and fails the task.
mkdir "$shop/ambiguous"
cp "$shop/catalogue/QF10.EXE" "$shop/ambiguous/a.EXE"
cp "$shop/other/QF10.EXE" "$shop/ambiguous/b.EXE"
adhoc ambiguous flashutil_flash "{\"catalogue\": \"$shop/ambiguous\", \"program\": \"$flashutil\", \"options\":
    [\"--virtual-drive=inquiry=KAVENO  QRW-70514S,rev=QF01\"]}"
grep -qF 'localhost | FAILED! => ' "$work/ambiguous.out" && [ "$(json ambiguous 'r["report"], r["completed"]')" = \
    "(['virtual:0  QF01  ambiguous: a.EXE and b.EXE both install FW:QF10 with different images; nothing is sent to it'], [])" ] ||
    fail "catalogue: an ambiguous drive: $(head -3 "$work/ambiguous.out")"

[ "$failures" = 0 ] && echo "all Ansible role checks passed"
exit $((failures > 0))
