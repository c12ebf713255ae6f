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

# Under --json (abbreviated too, anywhere before "--") the same line on standard error, and on
# standard output one JSON document that says so.
json_usage_error() {
    local out err rc
    err=$(mktemp)
    out=$("$flashutil" "$@" 2>"$err"); rc=$?
    [ $rc -eq 2 ] || fail "'$*' exited $rc, not 2"
    grep -q '^flashutil: ' "$err" || fail "'$*' gave no line on standard error"
    [ "$(wc -l <<<"$out")" = 1 ] || fail "'$*' printed more than one line: $out"
    jq -e --arg line "$(head -1 "$err")" '.schema == "flashutil-error/1" and .event == "error" and .error == "usage"
        and .exit_code == 2 and ("flashutil: " + .message) == $line' <<<"$out" >/dev/null ||
        fail "'$*' printed no usage error document: $out"
    rm -f "$err"
}
json_usage_error --json
json_usage_error --list --json --no-such-option
json_usage_error --cli --jso --model 3
json_usage_error --list --cli --json
json_usage_error --list --json --device /dev/null --virtual-drive
json_usage_error --list --js --virtual-drive=bogus=1
usage_error --list --bogus -- --json
echo "version and usage errors OK"
