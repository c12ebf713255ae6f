#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# --info and --extract-image: a blank copy, a built copy, an old copy (no seal, no version),
# a damaged one, and files that are no copy at all; nothing is ever sent to a drive.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
version=$("$flashutil" --version | head -1 | cut -d' ' -f2)
json() { python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))" "$work/$1.out" "$2"; }

# 1. A blank copy: what it is and the version it is, no image.
run_command blank "$flashutil" --info --json
[ "$(rc blank)" = 0 ] || fail "blank --info: exit $(rc blank)"
[ "$(json blank 'd["copy"], d["built_by"], d["image"], d["seal"]')" = "('blank', '$version', None, 'absent')" ] ||
    fail "blank --info: $(out blank)"
run_command blank-text "$flashutil" --info
grep -q '^Copy: *blank' "$work/blank-text.out" || fail "blank --info text: $(out blank-text)"

# 2. A built copy, looked at from the blank one: its identity, the image's digest, the seal.
run_command built "$flashutil" --info --json "$built"
[ "$(rc built)" = 0 ] || fail "built --info: exit $(rc built)"
sha=$(sha256sum "$work/R120.BIN" | cut -d' ' -f1)
[ "$(json built '[d[k] for k in ("copy","built_by","model","maker","revision_range","new_revision","seal","flash_all","maker_profiles")]')" = \
  "['built', '$version', 'RW-5200', 'Acme', '1.00-1.10', 'R120', 'valid', False, False]" ] || fail "built --info: $(out built)"
[ "$(json built '[d["image"][k] for k in ("length","sha256","kind")]')" = "[524288, '$sha', 'plain']" ] ||
    fail "built --info image: $(out built)"
# The copy describes itself the same way, in text too.
run_command self "$built" --info
grep -qx "Image SHA-256:    $sha" "$work/self.out" || fail "built copy's own --info: $(out self)"
grep -qx 'Seal:             valid' "$work/self.out" || fail "built copy's own seal: $(out self)"

# 3. An old copy: its seal, version and signature areas gone and none of its areas named, as a
#    copy built before them.
python3 - "$built" "$work/old.EXE" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
s = d.find(b'FLUTIL.' + b'SEALBLK\0'); v = d.find(b'FLUTIL.' + b'VERSION\0')
assert s >= 0 and v >= 0
d[s:s + 3446] = bytes(3446)
d[v:v + 64] = bytes(64)
g = d.find(b'FLUTIL.' + b'SIGNBLK\0'); assert g >= 0
d[g:g + 15] = bytes(15)
d[:] = d.replace(b'flashutil_', b'xlashutil_')
open(sys.argv[2], 'wb').write(d)
PY
run_command old "$flashutil" --info --json "$work/old.EXE"
[ "$(json old 'd["seal"], d["built_by"], d["copy"]')" = "('absent', None, 'built')" ] || fail "old copy: $(out old)"
run_command old-text "$flashutil" --info "$work/old.EXE"
grep -q '^Built by: *unknown' "$work/old-text.out" || fail "old copy text: $(out old-text)"

# 4. A damaged copy is described, and says what differs.
python3 -c "import sys; d = bytearray(open(sys.argv[1],'rb').read()); k = d.find(b'FLUTIL.' + b'IDBLOCK\0'); d[k + 152 + 7] ^= 1; open(sys.argv[2],'wb').write(d)" "$built" "$work/damaged.EXE"
run_command damaged "$flashutil" --info --json "$work/damaged.EXE"
[ "$(json damaged 'd["seal"], d["seal_problem"]')" = "('damaged', 'the firmware image differs')" ] || fail "damaged: $(out damaged)"

# 5. Files that are no copy: an image, a truncated copy, another program, a directory, none.
python3 -c "import sys; d = open(sys.argv[1],'rb').read(); k = d.find(b'FLUTIL.' + b'IDBLOCK\0'); open(sys.argv[2],'wb').write(d[:k + 1000])" "$built" "$work/cut.EXE"
for subject in "$work/R120.BIN" "$work/cut.EXE" /bin/sh "$work" "$work/missing"; do
    run_command nocopy "$flashutil" --info "$subject"
    [ "$(rc nocopy)" = 1 ] || fail "--info $subject: exit $(rc nocopy), want 1"
    grep -q "^flashutil: $subject: " "$work/nocopy.err" || fail "--info $subject: $(err nocopy)"
    [ ! -s "$work/nocopy.out" ] || fail "--info $subject printed: $(out nocopy)"
done
grep -q 'truncated' <("$flashutil" --info "$work/cut.EXE" 2>&1) || fail "a truncated copy is not called so"

# 6. --extract-image: the stored bytes, from the copy itself or from the blank one; never over
#    the program or the copy read; not from a blank copy.
run_command extract "$built" --extract-image "$work/out.bin"
[ "$(rc extract)" = 0 ] && cmp -s "$work/out.bin" "$work/R120.BIN" || fail "extract: $(err extract)"
# A link at OUT (as /dev/stdout is one) is refused and left as it is, its target too; "-" is
# standard output, never a terminal.
cp "$work/R120.BIN" "$work/target.bin"
ln -s "$work/target.bin" "$work/link.bin"
ln -s /proc/self/fd/1 "$work/stdout-link"
for link in link.bin stdout-link; do
    run_command extract-link "$flashutil" --extract-image "$work/$link" "$built"
    [ "$(rc extract-link)" = 1 ] && [ -L "$work/$link" ] &&
        grep -q "$work/$link: a symbolic link; it is not replaced" "$work/extract-link.err" ||
        fail "extract over the link $link: exit $(rc extract-link), $(err extract-link)"
done
cmp -s "$work/target.bin" "$work/R120.BIN" || fail "extract wrote through a link"
"$built" --extract-image - > "$work/piped.bin" 2> "$work/piped.err" &&
    cmp -s "$work/piped.bin" "$work/R120.BIN" && grep -q '^Wrote standard output' "$work/piped.err" ||
    fail "extract to standard output: $(cat "$work/piped.err")"
"$flashutil" --extract-image - "$built" -q | cmp -s - "$work/R120.BIN" || fail "extract of FILE to a pipe"
if command -v script > /dev/null; then
    script -qec "$built --extract-image -" /dev/null > "$work/tty.out" 2>&1
    grep -q 'standard output is a terminal' "$work/tty.out" || fail "extract to a terminal: $(head -c 300 "$work/tty.out")"
fi
cp "$built" "$work/keep.EXE"
run_command extract-self "$built" --extract-image "$built"
[ "$(rc extract-self)" = 1 ] || fail "extract over the program itself: exit $(rc extract-self)"
run_command extract-read "$work/flashutil" --extract-image "$work/./R120.EXE" "$built"
[ "$(rc extract-read)" = 1 ] || fail "extract over the copy read: exit $(rc extract-read)"
cmp -s "$built" "$work/keep.EXE" || fail "extract changed the copy"
run_command extract-blank "$flashutil" --extract-image "$work/blank.bin"
[ "$(rc extract-blank)" = 1 ] && grep -q 'blank copy' "$work/extract-blank.err" || fail "extract from a blank copy"
[ ! -e "$work/blank.bin" ] || fail "extract from a blank copy wrote a file"
[ -z "$(ls -A "$work" | grep '\.part-')" ] || fail "temporary files left: $(ls -A "$work")"
[ ! -e "$FLASHUTIL_HISTORY" ] || fail "--info or --extract-image recorded a run"

exit $((failures > 0))
