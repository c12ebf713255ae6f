#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# flashutil --build on a copy of the real program: the built utility, its name and its
# content's effect (it runs, in flash mode), the failures and their exit codes.
# Usage: build_command.sh PATH-TO-FLASHUTIL SOURCE-DIR
set -uo pipefail
program=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# No model file of the person running the tests takes part.
export XDG_CONFIG_HOME="$work/xdg"

mkdir -p "$work/blank" "$work/out" "$work/cwd"
cp "$program" "$work/blank/flashutil"
cp "$source_dir/examples/flashutil.INI" "$work/blank/flashutil.INI"
blank="$work/blank/flashutil"
size=$(stat -c %s "$blank")
head -c 300000 /dev/urandom >"$work/qfa0.bin"

# A build with model 0 into --output-dir.
out=$("$blank" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/out" 2>"$work/err")
rc=$?
[ $rc -eq 0 ] || fail "build exit code $rc: $(cat "$work/err")"
grep -qxF "Building qfa0.bin  Please wait... " <<<"$out" || fail "no building status: $out"
grep -qxF "Build qfa0.EXE complete!" <<<"$out" || fail "no complete status: $out"
built="$work/out/qfa0.EXE"
[ -f "$built" ] || fail "no $built"
[ -x "$built" ] || fail "$built is not executable"
[ "$(stat -c %s "$built")" = "$size" ] || fail "$built has another length than the program"
ls -A "$work/out" | grep -qv '^qfa0.EXE$' && fail "stray files in the output directory: $(ls -A "$work/out")"

# The built utility runs, and in flash mode: it is no builder any more.
"$built" --version >/dev/null 2>&1 || fail "the built utility does not run"
if "$built" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/cwd" >/dev/null 2>"$work/err"; then
  fail "the built utility built again"
fi
grep -q "built flash utility" "$work/err" || fail "no clear refusal on a built copy: $(cat "$work/err")"
[ -z "$(ls -A "$work/cwd")" ] || fail "the refused build wrote something"
# Its drive listing on the virtual drive, which takes the utility's own identity.
listing=$("$built" --list --virtual-drive 2>&1)
if grep -q "not built yet" <<<"$listing"; then
  echo "note: --list is not there yet; the listing smoke run was left out"
else
  grep -q "QRW-70514S" <<<"$listing" || fail "the built utility does not list its drive: $listing"
fi

# Default output directory: the current one. Model 1 of the example file.
cp "$work/qfa0.bin" "$work/E100.BIN"
(cd "$work/cwd" && "$blank" --build --model 1 --image ../E100.BIN >/dev/null 2>&1) || fail "build into the current directory"
[ -f "$work/cwd/E100.EXE" ] || fail "no E100.EXE in the current directory"
grep -aq "FLASH-ALL" "$work/cwd/E100.EXE" || fail "model 1's Note is not in E100.EXE"

# An image that would leave a builder (empty, or starting like the blank marker "ZYRT") is
# refused before anything is written.
: >"$work/EMPT.BIN"
printf 'ZYRTfirmware' >"$work/ZYRT.BIN"
for image in EMPT ZYRT; do
  "$blank" --build --model 0 --image "$work/$image.BIN" --output-dir "$work/out" >"$work/stdout" 2>"$work/err" &&
    fail "$image.BIN built"
  grep -q "^Building fail: $image.BIN .*Nothing was written.$" "$work/err" || fail "$image.BIN message: $(cat "$work/err")"
  grep -q "complete" "$work/stdout" && fail "$image.BIN: a failed build said complete"
done
[ "$(ls -A "$work/out")" = qfa0.EXE ] || fail "a refused image left files: $(ls -A "$work/out")"

# An image holding an area's key-word (here the seal area's, with one byte changed) would make
# a copy every reader calls damaged: refused before anything is written, naming the offset.
{ head -c 4096 /dev/zero; printf 'FLUTIL.SEALBLk\0'; head -c 1000 /dev/zero; } >"$work/KEYW.BIN"
"$blank" --build --model 0 --image "$work/KEYW.BIN" --output-dir "$work/out" >"$work/stdout" 2>"$work/err"
rc=$?
[ $rc -eq 1 ] || fail "KEYW.BIN: exit code $rc"
grep -qxF "Building fail: KEYW.BIN holds a changed copy of the seal area's key-word at offset 4096; a copy built with it would read as damaged. Nothing was written." "$work/err" ||
  fail "KEYW.BIN message: $(cat "$work/err")"
grep -qF "$work/KEYW.BIN: a changed copy of the seal area's key-word at offset 4096" "$work/err" ||
  fail "KEYW.BIN: the file is not named: $(cat "$work/err")"
grep -q "complete" "$work/stdout" && fail "KEYW.BIN: a failed build said complete"
[ "$(ls -A "$work/out")" = qfa0.EXE ] || fail "a refused image left files: $(ls -A "$work/out")"

# Neither a FIFO as the image nor a FIFO as the model file is waited on (timeout only ends
# a run that hangs); each is refused with its message and the cause.
mkfifo "$work/FIFO.BIN"
timeout 60 "$blank" --build --model 0 --image "$work/FIFO.BIN" --output-dir "$work/out" >/dev/null 2>"$work/err"
rc=$?
[ $rc -eq 1 ] || fail "FIFO image: exit code $rc"
grep -qxF "Open FIFO.BIN fail!" "$work/err" && grep -q "not a regular file" "$work/err" ||
  fail "FIFO image message: $(cat "$work/err")"
mkdir "$work/fifoini"
cp "$program" "$work/fifoini/flashutil"
mkfifo "$work/fifoini/flashutil.INI"
timeout 60 "$work/fifoini/flashutil" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/out" >/dev/null 2>"$work/err"
rc=$?
[ $rc -eq 1 ] || fail "FIFO model file: exit code $rc"
grep -qxF "Can't load $work/fifoini/flashutil.INI" "$work/err" && grep -q "not a regular file" "$work/err" ||
  fail "FIFO model file message: $(cat "$work/err")"
[ "$(ls -A "$work/out")" = qfa0.EXE ] || fail "a refused FIFO left files: $(ls -A "$work/out")"

# Failures: exit codes and messages.
"$blank" --build --model 2 --image "$work/qfa0.bin" --output-dir "$work/out" >/dev/null 2>"$work/err" && fail "model 2 of 2"
grep -q "there is no model 2" "$work/err" || fail "no clear message for a missing model: $(cat "$work/err")"

"$blank" --build --model 0 --image "$work/nope.bin" --output-dir "$work/out" >/dev/null 2>"$work/err" && fail "missing image"
grep -qxF "Open nope.bin fail!" "$work/err" || fail "missing image message: $(cat "$work/err")"

head -c 524289 /dev/zero >"$work/BIG0.BIN"
"$blank" --build --model 0 --image "$work/BIG0.BIN" --output-dir "$work/out" >/dev/null 2>"$work/err" && fail "too long image"
[ -e "$work/out/BIG0.EXE" ] && fail "a too long image left an output"
grep -q "longer than the 524288 bytes" "$work/err" || fail "too long image message: $(cat "$work/err")"

mkdir "$work/noini"
cp "$program" "$work/noini/flashutil"
"$work/noini/flashutil" --build --model 0 --image "$work/qfa0.bin" >/dev/null 2>"$work/err" && fail "build without INI"
grep -qxF "Can't load $work/noini/flashutil.INI" "$work/err" || fail "missing INI message: $(cat "$work/err")"

# Never over the program's own file: a blank copy named like the output, building into its own directory.
mkdir "$work/self"
cp "$program" "$work/self/qfa0.EXE"
cp "$work/blank/flashutil.INI" "$work/self/qfa0.INI"
"$work/self/qfa0.EXE" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/self" >/dev/null 2>"$work/err" &&
  fail "the builder wrote over itself"
cmp -s "$work/self/qfa0.EXE" "$program" || fail "the running program's file was changed"
grep -q "own file" "$work/err" || fail "no clear message for the own file: $(cat "$work/err")"

# Never over its own input: an image named like its output, built in its own directory, and
# the model file given as the output's name.
mkdir "$work/input"
head -c 1000 /dev/urandom >"$work/input/QF60.EXE"
cp "$work/input/QF60.EXE" "$work/input.kept"
(cd "$work/input" && "$blank" --build --model 0 --image QF60.EXE >/dev/null 2>"$work/err") &&
  fail "the builder wrote over its image"
cmp -s "$work/input/QF60.EXE" "$work/input.kept" || fail "the image was replaced by the build"
grep -q "QF60.EXE is the image file" "$work/err" || fail "no clear message for the image: $(cat "$work/err")"
cp "$work/blank/flashutil.INI" "$work/input/qfa0.EXE"
"$blank" --build --model 0 --ini "$work/input/qfa0.EXE" --image "$work/qfa0.bin" --output-dir "$work/input" \
  >/dev/null 2>"$work/err" && fail "the builder wrote over its model file"
cmp -s "$work/input/qfa0.EXE" "$work/blank/flashutil.INI" || fail "the model file was replaced by the build"
grep -q "is the model file" "$work/err" || fail "no clear message for the model file: $(cat "$work/err")"

# A FW-Range no revision falls in is built as before, with one warning on standard error;
# a well-formed one gives none.
mkdir "$work/range"
cp "$program" "$work/range/flashutil"
for range in garbage 1.10-1.00 1.00-1.10; do
  printf '[MODEL00]\nModel=M\nInquiry=ACME    CD-RW RW5200\nFW-Range=%s\nBINMask=*\nVendor=V\nNote=N\n' "$range" \
    >"$work/range/flashutil.INI"
  rm -f "$work/range/qfa0.EXE"
  "$work/range/flashutil" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/range" -q \
    >/dev/null 2>"$work/err" || fail "FW-Range $range: the build failed: $(cat "$work/err")"
  [ -f "$work/range/qfa0.EXE" ] || fail "FW-Range $range: nothing built"
  warned=$(grep -c "^flashutil: warning: FW-Range \"$range\".*no revision can fall in that range" "$work/err")
  [ "$range" = 1.00-1.10 ] && want=0 || want=1
  [ "$warned" = "$want" ] || fail "FW-Range $range: $warned warnings, want $want: $(cat "$work/err")"
done

[ $failures -eq 0 ] && echo "build command: all checks passed"
exit $((failures > 0))
