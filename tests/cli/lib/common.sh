# SPDX-License-Identifier: Apache-2.0
# Shared by the whole-program checks (sourced, never run by itself). The check's first
# argument is the program; this gives it a scratch directory, a failure count and helpers.
set -u
flashutil=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Every run a check makes is recorded here, never in the real history (root's is /var/lib).
export FLASHUTIL_HISTORY="$work/history.jsonl"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run_command NAME COMMAND...: stdout, stderr and exit code of one run without a terminal.
run_command() {
    local name=$1; shift
    "$@" < /dev/null > "$work/$name.out" 2> "$work/$name.err"
    echo $? > "$work/$name.rc"
}
rc() { cat "$work/$1.rc"; }
out() { cat "$work/$1.out"; }
err() { cat "$work/$1.err"; }

# The model the checks build for: a CD-RW of revisions 1.00 to 1.10.
model_ini() {
    printf '[MODEL00]\nModel=RW-5200\nInquiry=ACME    CD-RW RW5200\nFW-Range=1.00-1.10\nBINMask=*.BIN\nVendor=Acme\nNote=normal\n'
}

# build_copy IMAGE-NAME [MODEL] [SIZE]: builds a flash utility in $work from a blank copy of the
# program, the INI already in $work/flashutil.INI and a synthetic image, full-size (512 KiB)
# unless SIZE bytes are given.
build_copy() {
    [ -x "$work/flashutil" ] || cp "$flashutil" "$work/flashutil"
    head -c "${3:-524288}" /dev/zero | tr '\0' '\125' > "$work/$1"
    (cd "$work" && ./flashutil --build --model "${2:-0}" --image "$1" --output-dir "$work" >> build.log 2>&1) ||
        { cat "$work/build.log"; echo "FAIL: could not build a flash utility from $1"; exit 1; }
}
