#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Output into a pipe whose reader has gone never ends a run: the flash completes, the commit
# is sent, the exit code is the run's own, and the lost output is said on standard error.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"

# A pipe whose reading end is already closed: every write to it fails.
exec {closed}> >(exec true)
wait $!

# Standard output into the closed pipe.
"$built" --cli --yes --virtual-drive --trace "$work/out.json" < /dev/null >&$closed 2> "$work/out.err"
code=$?
[ "$code" = 0 ] || fail "standard output closed early: exit $code, want 0"
grep -q '"cdb": "3b0501000000000000800000"' "$work/out.json" || fail "standard output closed early: no commit sent"
grep -qx 'flashutil: standard output could not be written (Broken pipe); some of the output was lost' "$work/out.err" ||
    fail "the lost output was not reported: $(cat "$work/out.err")"

# Both streams into it: the run's exit code all the same, here that of a failed upload.
"$built" --cli --yes --virtual-drive=fail=12:03/0C/00 < /dev/null >&$closed 2>&$closed
code=$?
[ "$code" = 6 ] || fail "both streams closed early, failing upload: exit $code, want 6"

# The listing too keeps its exit code.
"$built" --list --virtual-drive=count=3 >&$closed 2> "$work/list.err"
code=$?
[ "$code" = 0 ] || fail "--list into a closed pipe: exit $code, want 0"
grep -q 'standard output could not be written' "$work/list.err" || fail "--list: the lost output was not reported"

[ "$failures" = 0 ] && echo "all closed output checks passed"
exit $((failures > 0))
