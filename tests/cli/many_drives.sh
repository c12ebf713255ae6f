#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# More drives than the drive list holds (24): the list keeps the first 24 and says on standard
# error how many were left out, in --list, in the terminal flash's detection and in the window's.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"

run_command list "$flashutil" --list --virtual-drive=count=30
[ "$(rc list)" = 0 ] || fail "--list of 30 drives: exit $(rc list), want 0"
[ "$(wc -l < "$work/list.out")" = 24 ] || fail "--list of 30 drives listed $(wc -l < "$work/list.out"), want 24"
grep -q '^flashutil: 6 more optical drives were left out' "$work/list.err" ||
    fail "--list of 30 drives: the 6 left out are not said: $(err list)"
run_command full "$flashutil" --list --virtual-drive=count=24
[ -s "$work/full.err" ] && fail "--list of 24 drives said: $(err full)"

model_ini > "$work/flashutil.INI"
build_copy R120.BIN
run_command cli "$work/R120.EXE" --cli --yes --virtual-drive=count=26
[ "$(rc cli)" = 0 ] || fail "--cli with 26 drives: exit $(rc cli), want 0"
grep -q '^flashutil: 2 more optical drives were left out' "$work/cli.err" ||
    fail "--cli with 26 drives: the 2 left out are not said: $(err cli)"

# The window says it on the error stream too (screenshot mode answers its boxes and closes it).
run_command window env QT_QPA_PLATFORM=offscreen FLASHUTIL_SCREENSHOT="$work/shot" \
    "$work/R120.EXE" --virtual-drive=count=26
grep -q '^flashutil: 2 more optical drives were left out' "$work/window.err" ||
    fail "window with 26 drives: the 2 left out are not said: $(err window)"

[ "$failures" = 0 ] && echo "all many-drive checks passed"
exit $((failures > 0))
