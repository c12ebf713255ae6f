#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# A build cut short by SIGINT, SIGTERM or SIGHUP ends by that signal and leaves nothing in
# the output directory; an ignored signal leaves the build alone; the new utility reaches
# the disk before its name does.
#
# The build is held half-way by its own output: its standard output is a pipe the check
# fills all but 20 bytes, so the second progress line, written while the new file is being
# copied, waits until the check reads the pipe (or the signal ends the builder).
# Usage: build_interrupt.sh PATH-TO-FLASHUTIL
source "$(dirname "$0")/lib/common.sh"
set -m  # background runs get the default signal actions, as from a terminal

mkdir -p "$work/out"
cp "$flashutil" "$work/flashutil"
model_ini >"$work/flashutil.INI"
head -c 300000 /dev/urandom >"$work/qfa0.bin"
build() { "$work/flashutil" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/out"; }
build_exec() { exec "$work/flashutil" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/out"; }

# An undisturbed build: the result to compare with, and what it prints before the copy.
build >"$work/plain.out" 2>&1 || fail "plain build: $(cat "$work/plain.out")"
mv "$work/out/qfa0.EXE" "$work/plain.EXE"
before_copy=$(sed '/^Progress:/,$d' "$work/plain.out" | wc -c)

# start_held [trap-action SIGNAL]: starts a build on the pipe; sets pid once its temporary
# output exists. Returns 1 when the build could not be held.
start_held() {
    rm -f "$work/pipe"
    mkfifo "$work/pipe"
    exec 3<>"$work/pipe"
    head -c $((65536 - before_copy - 20)) /dev/zero |
        dd of="$work/pipe" oflag=nonblock bs=65536 iflag=fullblock status=none 2>/dev/null ||
        { echo "note: this system's pipes are not 64 KiB; the build could not be held"; exec 3>&-; return 1; }
    # The program itself in the background (exec), so that the signal reaches it.
    (trap - EXIT; [ $# -eq 2 ] && trap "$1" "$2"; exec 3>&-; build_exec) >"$work/pipe" 2>"$work/held.err" &
    pid=$!
    while kill -0 "$pid" 2>/dev/null && ! compgen -G "$work/out/.qfa0.EXE.part-*" >/dev/null; do sleep 0.05; done
    compgen -G "$work/out/.qfa0.EXE.part-*" >/dev/null || { fail "the build was not held while writing"; return 1; }
}

ignored_at_start=$((16#$(awk '/^SigIgn:/ {print $2}' /proc/$$/status)))
for signal in INT TERM HUP; do
    number=$(kill -l "$signal")
    if (( ignored_at_start >> (number - 1) & 1 )); then
        echo "note: SIG$signal is ignored for this check's shell; left out"
        continue
    fi
    start_held || break
    kill -s "$signal" "$pid"
    { wait "$pid"; } 2>/dev/null
    rc=$?
    exec 3>&-
    [ $rc -eq $((128 + number)) ] || fail "SIG$signal: exit status $rc, not killed by the signal: $(cat "$work/held.err")"
    [ -z "$(ls -A "$work/out")" ] || fail "SIG$signal left files: $(ls -A "$work/out")"
    rm -f "$work/out/"*.EXE "$work/out/".*.EXE.part-*
done

# An ignored SIGHUP (nohup) does not stop the build: let it go on and finish.
if start_held '' HUP; then
    kill -s HUP "$pid"
    exec 4<"$work/pipe" 3>&-
    cat <&4 >/dev/null
    exec 4<&-
    wait "$pid" || fail "the build with SIGHUP ignored failed: $(cat "$work/held.err")"
    cmp -s "$work/out/qfa0.EXE" "$work/plain.EXE" || fail "the build with SIGHUP ignored differs"
    [ "$(ls -A "$work/out")" = qfa0.EXE ] || fail "stray files: $(ls -A "$work/out")"
fi

# The new utility is synced before it is renamed into place, and its directory after.
if command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
    rm -f "$work/out/qfa0.EXE"
    # LeakSanitizer (in sanitizer builds) refuses to run under a tracer; the leak check is
    # not what this run is for.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
        strace -f -e trace=fsync,fdatasync,rename,renameat,renameat2 -o "$work/strace.log" \
        "$work/flashutil" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/out" >/dev/null 2>&1 ||
        fail "build under strace"
    calls=$(grep -oE '(fsync|fdatasync|rename[a-z0-9]*)\(' "$work/strace.log" | tr -d '(' | tr '\n' ' ')
    [[ "$calls" == *"sync rename"*" fsync "* ]] || fail "no sync before and after the rename: $calls"
else
    echo "note: strace can't run here; the sync order was not checked"
fi

[ $failures -eq 0 ] && echo "build interrupt: all checks passed"
exit $((failures > 0))
