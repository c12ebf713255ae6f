#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# capture-runs.sh PROGRAM OUTDIR: the same terminal flashes on virtual drives (single drives
# with every kind of fault, towers of 1, 3 and 8 drives with mixed faults), each plain and as
# JSON lines, with their traces and history records, captured for comparison with another
# build (times, run ids, durations and the copy's own digest masked). HARNESS_WORK names the
# scratch directory (default a fresh one under /tmp). Compare two captures with compare-runs.sh.
set -u
prog=$(readlink -f "$1"); out=$2
rm -rf "$out"; mkdir -p "$out"
w=${HARNESS_WORK:-$(mktemp -d /tmp/harness-work.XXXXXX)}; rm -rf "$w"; mkdir -p "$w"; cd "$w"
cp "$prog" flashutil
printf '[MODEL00]\nModel=RW-5200\nInquiry=ACME    CD-RW RW5200\nFW-Range=1.00-1.10\nBINMask=*.BIN\nVendor=Acme\nNote=normal\n[MODEL01]\nModel=DVD-5\nInquiry=ACME    DVD-ROM QMR204\nFW-Range=1.00-1.10\nBINMask=*.BIN\nVendor=Acme\nNote=FLASH-ALL\n' > flashutil.INI
head -c 524288 /dev/zero | tr '\0' '\125' > R120.BIN
python3 -c 'import sys; b=bytearray(open("R120.BIN","rb").read()); b[0x1100:0x1102]=b"\x05\x80"; open("P120.BIN","wb").write(b)'
python3 -c 'import sys; b=bytearray(open("R120.BIN","rb").read()); b[0x4000:0x4002]=b"\x05\x80"; b[0x4010:0x401f]=b"DVD-ROM QMR-204"; open("D120.BIN","wb").write(b)'
./flashutil --build --model 0 --image R120.BIN > build.log 2>&1
./flashutil --build --model 0 --image P120.BIN >> build.log 2>&1
./flashutil --build --model 1 --image D120.BIN >> build.log 2>&1
cp R120.BIN 0999.BIN; ./flashutil --build --model 0 --image 0999.BIN >> build.log 2>&1
ls *.EXE > "$out/built.txt"
# History records: a run id becomes the device its start record names, so the records of a tower's drives can be grouped.
hmask() { python3 -c '
import json,re,sys
ids={}
lines=sys.stdin.read().splitlines()
for l in lines:
    try: r=json.loads(l)
    except Exception: continue
    if r.get("record")=="start": ids[r["run"]]=r["drive"]["device"]
for l in lines:
    for k,v in ids.items(): l=l.replace(k,"run-of-"+v)
    print(l)' | mask; }
mask() { sed -E 's/"time": ?"[^"]*"/"time":T/g; s/"run": ?"[0-9a-f]*"/"run":R/g; s/"duration_ms": ?[0-9.]+/"duration_ms":D/g; s/"ms": [0-9.]+/"ms": M/g; s/"file_sha256": ?"[0-9a-f]*"/"file_sha256":H/g' | sed "s|$w|W|g"; }
one() {  # NAME EXE ARGS...
    local name=$1 exe=$2; shift 2
    export FLASHUTIL_HISTORY="$w/$name.hist"
    rm -f "$w/$name.hist" "$w/$name.trace"
    ./"$exe" --cli --yes --trace "$w/$name.trace" "$@" < /dev/null > "$out/$name.out" 2> "$out/$name.err"; echo $? > "$out/$name.rc"
    mask < "$w/$name.trace" > "$out/$name.trace" 2>/dev/null
    hmask < "$w/$name.hist" > "$out/$name.hist" 2>/dev/null
    rm -f "$w/$name.hist"
    ./"$exe" --cli --yes --json "$@" < /dev/null > "$w/$name.json" 2> "$out/$name.json.err"; echo $? > "$out/$name.json.rc"
    mask < "$w/$name.json" > "$out/$name.json"
    hmask < "$w/$name.hist" > "$out/$name.json.hist" 2>/dev/null
}
V=--virtual-drive
one ok R120.EXE $V
one ok-q R120.EXE -q $V
one ok-v R120.EXE -v $V
one nocommit R120.EXE --no-commit $V
one upload R120.EXE $V=fail=12:03/0C/00
one upload-status R120.EXE $V=status=12:08
one first-cmd R120.EXE $V=fail=2:05/24/00
one readback R120.EXE $V=fail=45:03/11/00
one corrupt R120.EXE $V=corrupt=50
one commit R120.EXE $V=fail=71:03/0C/00
one commit-eio R120.EXE $V=error=71:EIO
one disc R120.EXE $V=disc=1
one slow R120.EXE $V=ready=5
one slow-commit R120.EXE $V=commit-ms=300
one timeout R120.EXE $V=timeout=20
one eio R120.EXE $V=error=14:EIO
one enodev R120.EXE $V=error=14:ENODEV
one busy R120.EXE $V=open-error=EBUSY
one denied R120.EXE $V=open-error=EACCES
one toonew R120.EXE $V=rev=1.11
one same R120.EXE $V=rev=1.10,newrev=1.10
one older R120.EXE $V=rev=R130
one other R120.EXE "$V=inquiry=OTHER   DRIVE-X"
one three R120.EXE $V=count=3
one refused 0999.EXE $V
one tower-refused 0999.EXE --all $V=count=2
one bad-option R120.EXE $V=bogus=1
one profile P120.EXE $V
one profile-fail P120.EXE $V=fail=8:03/0C/00
one profile-corrupt P120.EXE $V=corrupt=42
one profile-nocommit P120.EXE --no-commit $V
one dvd D120.EXE "$V=inquiry=ACME    DVD-ROM QMR204"
one dvd-fail D120.EXE "$V=inquiry=ACME    DVD-ROM QMR204,fail=20:04/44/00"
one dvd-commit D120.EXE "$V=inquiry=ACME    DVD-ROM QMR204,commit-ms=100"
one blank flashutil $V
one profile-entry P120.EXE $V=fail=41:04/44/00
# Towers.
one tower1 R120.EXE --all $V
one tower3 R120.EXE --all $V=count=2 $V=fail=20:04/44/00 $V=disc=1
one tower8 R120.EXE --all $V=count=3 $V=fail=71:03/0C/00 $V=error=30:EIO $V=rev=1.11 $V=open-error=EBUSY $V=corrupt=40 $V=timeout=71
one tower3-commits R120.EXE --all $V=fail=71:03/0C/00 $V=fail=71:03/0C/00 $V=fail=71:03/0C/00
one tower3-nocommit R120.EXE --all --no-commit $V=count=3
one tower3-q R120.EXE --all -q $V=count=2 $V=fail=20:04/44/00
