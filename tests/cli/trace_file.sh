#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# --trace FILE: a trace that cannot be written is said once and the flash goes on; a FIFO, a
# socket or a symbolic link at the path is refused at once, naming the path and why; an
# existing file that is not an earlier trace is refused and kept, as is the recording the run
# replays; the trace never takes the place of a closed standard stream.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
trace_line='^\{"device": "virtual:0", ("cdb": "[0-9a-f]{24}", .*"ms": [0-9]+\.[0-9]{2}|"record": "drive", .*), "schema": "flashutil-trace/1"\}$'

# A trace that cannot be written (a full device): one line naming it and the cause; the
# flash completes with its own exit code.
run_command full "$built" --cli --yes --virtual-drive --trace /dev/full
[ "$(rc full)" = 0 ] || fail "--trace /dev/full: exit $(rc full), want 0"
grep -qx 'Flash Completed.' "$work/full.out" || fail "--trace /dev/full stopped the flash"
[ "$(grep -c 'trace' "$work/full.err")" = 1 ] &&
    grep -q '^flashutil: .*/dev/full: No space left on device' "$work/full.err" ||
    fail "--trace /dev/full: want one line naming the file and the cause, got: $(err full)"
# A character device such as /dev/null stays a place for the trace.
run_command null "$built" --cli --yes --virtual-drive --trace /dev/null
[ "$(rc null)" = 0 ] && [ ! -s "$work/null.err" ] || fail "--trace /dev/null: exit $(rc null): $(err null)"

# What is not a regular file is refused without blocking (a guard ends a run that hangs):
# a FIFO nobody reads, the same FIFO with a reader, a socket.
mkfifo "$work/fifo"
run_command fifo timeout 60 "$built" --cli --yes --virtual-drive --trace "$work/fifo"
exec 3<> "$work/fifo"
run_command fifo_read timeout 60 "$built" --cli --yes --virtual-drive --trace "$work/fifo"
exec 3<&-
kinds="fifo fifo_read"
if command -v python3 > /dev/null; then
    python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$work/socket"
    run_command socket timeout 60 "$built" --cli --yes --virtual-drive --trace "$work/socket"
    kinds="$kinds socket"
fi
for name in $kinds; do
    [ "$(rc $name)" = 1 ] || fail "--trace to a $name: exit $(rc $name), want 1"
    grep -q "^flashutil: .*$work/${name%_read}: .*not a regular file" "$work/$name.err" ||
        fail "--trace to a $name: the error does not name the path and why: $(err $name)"
    [ -s "$work/$name.out" ] && fail "--trace to a $name: the run started: $(head -1 "$work/$name.out")"
done

# A symbolic link at the path is not followed: its target stays as it was.
echo keep > "$work/target"
ln -s "$work/target" "$work/link"
run_command link "$built" --cli --yes --virtual-drive --trace "$work/link"
[ "$(rc link)" = 1 ] || fail "--trace to a symbolic link: exit $(rc link), want 1"
grep -q "^flashutil: .*$work/link: .*symbolic link" "$work/link.err" ||
    fail "--trace to a symbolic link: the error does not say so: $(err link)"
[ "$(cat "$work/target")" = keep ] || fail "--trace wrote through a symbolic link"

# An existing file is replaced only when it is empty or an earlier trace: a history, an image
# or a text given by mistake is refused before the run, naming it, and kept as it was.
run_command first "$built" --cli --yes --virtual-drive --trace "$work/earlier.json"
printf '{"run": "0123456789abcdef", "event": "start"}\n' > "$work/history.jsonl.copy"
printf '{"device": "virtual:0"}\nnot a trace line\n' > "$work/half.json"
printf 'notes\n{"device": "virtual:0", "cdb": "120000002400000000000000", "dir": "in"}\n' > "$work/notes.txt"
: > "$work/empty.json"
for name in history.jsonl.copy R120.BIN half.json notes.txt; do
    cp "$work/$name" "$work/$name.kept"
    run_command kept "$built" --cli --yes --virtual-drive --trace "$work/$name"
    [ "$(rc kept)" = 1 ] && [ ! -s "$work/kept.out" ] || fail "--trace over $name: exit $(rc kept), $(out kept)"
    grep -q "^flashutil: cannot write the trace file $work/$name: it holds something other than a trace" \
        "$work/kept.err" || fail "--trace over $name: the error does not say why: $(err kept)"
    cmp -s "$work/$name" "$work/$name.kept" || fail "--trace over $name changed it"
done
for name in earlier.json empty.json; do
    run_command again "$built" --cli --yes --virtual-drive --trace "$work/$name"
    [ "$(rc again)" = 0 ] && [ "$(grep -c '"cdb": "3b' "$work/$name")" = 33 ] ||
        fail "--trace over $name: exit $(rc again), $(err again)"
done

# The recording a run replays is never its trace, by whatever name or link it is given:
# refused before the run, naming it, and kept whole for the report of a divergence.
run_command recorded "$built" --cli --yes --virtual-drive --trace "$work/recording.json" --trace-data
[ "$(rc recorded)" = 0 ] || fail "recording a run: exit $(rc recorded) $(err recorded)"
cp "$work/recording.json" "$work/recording.kept"
ln "$work/recording.json" "$work/hardlink.json"
ln -s "$work" "$work/dirlink"
for name in recording.json hardlink.json dirlink/recording.json; do
    run_command same "$built" --cli --yes --virtual-drive=replay="$work/recording.json" --trace "$work/$name" --trace-data
    [ "$(rc same)" = 1 ] && [ ! -s "$work/same.out" ] || fail "--trace $name over the replayed recording: exit $(rc same), $(out same)"
    grep -qxF "flashutil: cannot write the trace file $work/$name: it is the recording this run replays ($work/recording.json); it is not replaced" \
        "$work/same.err" || fail "--trace $name over the replayed recording said: $(err same)"
    cmp -s "$work/recording.json" "$work/recording.kept" || fail "--trace $name cut the replayed recording"
done
run_command other "$built" --cli --yes --virtual-drive=replay="$work/recording.json" --trace "$work/retrace.json" --trace-data
[ "$(rc other)" = 0 ] || fail "a replay traced to another file: exit $(rc other) $(err other)"

# With standard output and error closed, the trace holds trace lines and nothing else.
"$built" --cli --yes --virtual-drive --trace "$work/closed.json" < /dev/null >&- 2>&-
code=$?
[ "$code" = 0 ] || fail "closed standard output: exit $code, want 0"
[ "$(grep -c '"cdb": "3b' "$work/closed.json")" = 33 ] || fail "closed standard output: the trace is not whole"
grep -vE "$trace_line" "$work/closed.json" > "$work/closed.bad" &&
    fail "closed standard output: the trace holds other lines: $(head -3 "$work/closed.bad")"

[ "$failures" = 0 ] && echo "all trace file checks passed"
exit $((failures > 0))
