#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# --version prints the file version, the file description and the licence; usage errors exit 2 with a
# message on standard error and nothing on standard output.
# Usage: version.sh <path-to-flashutil> <source-dir>
set -uo pipefail
flashutil=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$("$flashutil" --version) || fail "--version exited $?"
[ "$out" = $'flashutil 1.0.4.8\nFlash utility for CD-RW drive\nLicensed under the Apache License, Version 2.0 (SPDX: Apache-2.0).' ] || fail "--version printed: $out"

usage_error() {
    local out err rc
    err=$(mktemp)
    out=$("$flashutil" "$@" 2>"$err"); rc=$?
    [ $rc -eq 2 ] || fail "'$*' exited $rc, not 2"
    [ -z "$out" ] || fail "'$*' printed on standard output: $out"
    [ -s "$err" ] || fail "'$*' gave no message"
    rm -f "$err"
}
usage_error --no-such-option
usage_error --list --cli
usage_error --device
usage_error --build --image x.bin
usage_error --build --model 100 --image x.bin
usage_error --yes
usage_error --json
echo "version and usage errors OK"
