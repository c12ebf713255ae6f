#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The builder's model file, as an installed program finds it: --ini, else beside the
# program, then $XDG_CONFIG_HOME/flashutil, then /etc/flashutil; the message and the hint
# when there is none; its own messages for a bad --ini; --quiet; an output directory that
# does not exist.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2

mkdir -p "$work/usr/bin" "$work/xdg/flashutil" "$work/out"
program="$work/usr/bin/flashutil"
cp "$flashutil" "$program"
export XDG_CONFIG_HOME="$work/xdg"
head -c 1000 /dev/zero | tr '\0' '\125' > "$work/RW10.BIN"
build() { run_command "$1" timeout 60 "$program" --build --model 0 --image "$work/RW10.BIN" --output-dir "$work/out" "${@:2}"; }
# The model a build used, from its "Model N: ..." line.
used() { sed -n 's/^Model 0: \([^ ]*\) .*/\1/p' "$work/$1.out"; }
model() { printf '[MODEL00]\nModel=%s\nInquiry=ACME    CD-RW RW5200\nFW-Range=1.00-1.10\nBINMask=*.BIN\nVendor=Acme\nNote=normal\n' "$1"; }

# None anywhere: the place beside the program first, as always, then the others and the hint.
build none
[ "$(rc none)" = 1 ] || fail "no model file: exit $(rc none)"
grep -qxF "Can't load $work/usr/bin/flashutil.INI" "$work/none.err" || fail "no model file said: $(err none)"
grep -qF "Not found either: $work/xdg/flashutil/flashutil.INI, /etc/flashutil/flashutil.INI." "$work/none.err" ||
    fail "no model file: the other places are not named: $(err none)"
grep -qF "cp /usr/share/doc/flashutil/examples/flashutil.INI $work/xdg/flashutil/flashutil.INI" "$work/none.err" ||
    fail "no model file: no hint: $(err none)"

# Following the hint works: the user's file is found (an installed example beside the prefix is named).
mkdir -p "$work/usr/share/doc/flashutil/examples"
cp "$source_dir/examples/flashutil.INI" "$work/usr/share/doc/flashutil/examples/"
build hinted
hint=$(grep -o "cp [^ ]* [^ ]*$" "$work/hinted.err")
[ "$hint" = "cp $work/usr/share/doc/flashutil/examples/flashutil.INI $work/xdg/flashutil/flashutil.INI" ] ||
    fail "the hint names: $hint"
(eval "$hint") || fail "the hint does not run: $hint"
model user > "$work/xdg/flashutil/flashutil.INI"
build user
[ "$(rc user)" = 0 ] && [ "$(used user)" = user ] || fail "the user's file: exit $(rc user), $(out user) $(err user)"

# Beside the program comes first; --ini before everything.
model beside > "$work/usr/bin/flashutil.INI"
build beside
[ "$(used beside)" = beside ] || fail "beside the program is not first: $(out beside) $(err beside)"
model given > "$work/given.ini"
build given --ini "$work/given.ini"
[ "$(used given)" = given ] || fail "--ini is not used: $(out given) $(err given)"

# The menu builder's kept choices are not the command line's: --build never opens desktop.conf,
# so neither a FIFO nobody writes nor an endless device there stops it (bounded by timeout only
# so that a hang fails here rather than at the test runner's limit).
for kept in fifo urandom; do
    rm -f "$work/xdg/flashutil/desktop.conf"
    if [ $kept = fifo ]; then mkfifo "$work/xdg/flashutil/desktop.conf"; else ln -s /dev/urandom "$work/xdg/flashutil/desktop.conf"; fi
    build "kept-$kept" -q
    [ "$(rc kept-$kept)" = 0 ] || fail "desktop.conf as $kept: --build exit $(rc kept-$kept) $(err kept-$kept)"
done
rm -f "$work/xdg/flashutil/desktop.conf"

# A bad --ini gets the builder's own messages, naming the file.
build missing --ini "$work/nothing.ini"
[ "$(rc missing)" = 1 ] || fail "missing --ini: exit $(rc missing)"
grep -qxF "Can't load $work/nothing.ini" "$work/missing.err" &&
    grep -qxF "flashutil: $work/nothing.ini: No such file or directory" "$work/missing.err" ||
    fail "missing --ini said: $(err missing)"
grep -q "Not found either" "$work/missing.err" && fail "a given file has no other places: $(err missing)"
# A malformed one: the box as it always was, and a line naming the key and where to mend it.
while IFS='|' read -r content line; do
    printf "$content" > "$work/bad.ini"
    build bad --ini "$work/bad.ini"
    [ "$(rc bad)" = 1 ] || fail "malformed --ini ($line): exit $(rc bad)"
    grep -qxF "$work/bad.ini > Session MODEL00 error!" "$work/bad.err" &&
        grep -qxF "flashutil: $work/bad.ini: $line" "$work/bad.err" || fail "malformed --ini said: $(err bad)"
done << 'EOF'
[MODEL00]\nModel=x\n|line 1: section [MODEL00] has no key Inquiry
; models\n\n[model00]\nInquiry=ACME\n|line 3: section [MODEL00] has no key Model
[MODEL00]\nModel=x\nInquiry=a\nFW-Range=1.00-1.10\nBINMask=*.BIN\nVendor=FAIL\nNote=n\n|line 6: key Vendor of section [MODEL00] has the value FAIL, which counts as missing
[MODELS]\nModel=x\n|no section [MODEL00]: the models start at [MODEL00]
EOF

# A failed quiet build still names its file and the cause after the prefix.
: > "$work/EMPTY.BIN"
run_command quietfail "$program" --build -q --model 0 --image "$work/EMPTY.BIN" --output-dir "$work/out"
[ "$(rc quietfail)" = 1 ] || fail "-q build of an empty image: exit $(rc quietfail)"
grep -qxF "flashutil: Building fail: EMPTY.BIN is empty. Nothing was written." "$work/quietfail.err" ||
    fail "-q build of an empty image: no prefixed line: $(err quietfail)"

# A model file's name and contents reach the error stream without their control bytes.
escaped="$work/$(printf 'bad\033[2J')"
printf '[MODEL00]\nModel=x\n' > "$escaped.ini"
run_command escaped "$program" --build -q --model 0 --image "$work/RW10.BIN" --ini "$escaped.ini" --output-dir "$work/out"
[ "$(rc escaped)" = 1 ] || fail "escaped model file name: exit $(rc escaped)"
grep -q "$(printf '\033')" "$work/escaped.err" && fail "a control byte of the model file's name reached the terminal"
grep -qF 'has no key Inquiry' "$work/escaped.err" || fail "escaped model file name: $(err escaped)"

# --quiet: nothing but errors.
build quiet -q
[ "$(rc quiet)" = 0 ] || fail "-q build: exit $(rc quiet) $(err quiet)"
[ -s "$work/quiet.out" ] && fail "-q build printed: $(out quiet)"
[ -s "$work/quiet.err" ] && fail "-q build wrote errors: $(err quiet)"

# An output directory that does not exist: the old message, then the full path and the cause.
run_command nodir "$program" --build --model 0 --image "$work/RW10.BIN" --output-dir "$work/no/such"
[ "$(rc nodir)" = 1 ] || fail "missing output directory: exit $(rc nodir)"
grep -qxF "Create RW10.EXE Fail" "$work/nodir.err" || fail "missing output directory said: $(err nodir)"
grep -qxF "flashutil: $work/no/such/RW10.EXE: No such file or directory" "$work/nodir.err" ||
    fail "missing output directory: no path and cause: $(err nodir)"

# A model file chosen in the menu's builder is not one the command line's --build takes.
printf 'model-file=%s\n' "$work/given.ini" > "$work/xdg/flashutil/desktop.conf"
rm "$work/usr/bin/flashutil.INI" "$work/xdg/flashutil/flashutil.INI"
build chosen
[ "$(rc chosen)" = 1 ] && grep -qxF "Can't load $work/usr/bin/flashutil.INI" "$work/chosen.err" ||
    fail "--build took the menu's chosen model file: exit $(rc chosen) $(out chosen) $(err chosen)"
grep -qF "$work/given.ini" "$work/chosen.err" && fail "--build names the menu's chosen model file: $(err chosen)"

[ $failures = 0 ] || exit 1
echo "model file OK"
