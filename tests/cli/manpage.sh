#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The manual page renders without a single groff warning, and it and --help describe every
# option the program accepts (taken from the parser's source, so a new option that nobody
# documents fails here) and every exit code, as the README's table does; --help fits 80
# columns in every language.
# Usage: manpage.sh <path-to-flashutil> <source-dir>
set -euo pipefail
flashutil=$1
source_dir=$2
page="$source_dir/docs/flashutil.1"
fail() { echo "FAIL: $*" >&2; exit 1; }

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "groff warnings: $warnings"
if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l failed"
    [ -z "$warnings" ] || fail "man -l warnings: $warnings"
fi
rendered=$(MANWIDTH=200 groff -man -Tutf8 -P-c -P-b -P-u "$page" 2>/dev/null)
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES SAFETY "SEE ALSO"; do
    grep -q "^$section\$" <<<"$rendered" || fail "manual page lacks section $section"
done

help=$("$flashutil" --help) || fail "--help failed"
[ "$("$flashutil" -h)" = "$help" ] || fail "-h and --help differ"

# Every long option the parser knows.
options=$(sed -n 's/^ *{"\([a-z-]*\)", [a-z_]*argument.*/--\1/p' "$source_dir/app/setup/Options.cpp" | sort -u)
[ -n "$options" ] || fail "no options found in app/setup/Options.cpp"
for option in $options; do
    grep -q -- "$option" <<<"$help" || fail "--help does not mention $option"
    grep -q -- "$option" <<<"$rendered" || fail "manual page does not mention $option"
done

# Every key of --virtual-drive the virtual drive accepts.
keys="inquiry rev newrev chip disc ready count fail corrupt timeout"
header="$source_dir/sim/VirtualDriveOptions.h"
if [ -f "$header" ]; then
    # The header documents each key on a comment line of its own: "//   key=VALUE  meaning".
    keys="$keys $(sed -n 's|^//   \([a-z-]*\)=.*|\1|p' "$header" | tr '\n' ' ')"
fi
for key in $keys; do
    grep -q -- "$key=" <<<"$help" || fail "--help does not describe the virtual-drive key $key="
    grep -q -- "$key=" <<<"$rendered" || fail "manual page does not describe the virtual-drive key $key="
done

# Exit codes: --help, the page and the README's table list each code the program declares.
codes=$(grep -o '= [0-9]*;' "$source_dir/flash/ExitCodes.h" | tr -dc '0-9\n' | sort -un)
for code in $codes; do
    grep -Eq "^ +$code  " <<<"$help" || fail "--help does not list exit code $code"
    grep -Eq "^ +$code +[a-z-]" <<<"$rendered" || fail "manual page does not list exit code $code"
    grep -Eq "^\| $code \| " "$source_dir/README.md" || fail "the README's table does not list exit code $code"
done

# --help fits 80 columns in every language it is translated to, counted in columns as a
# terminal shows them (a Chinese character takes two), and says as much as in English.
english_words=$(wc -w <<<"$help")
for po in "$source_dir"/po/*.po; do
    language=$(basename "$po" .po)
    translated=$(env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE="$language" "$flashutil" --help) ||
        fail "$language: --help failed"
    [ "$translated" != "$help" ] || fail "$language: --help is not translated"
    wide=$(python3 -c '
import sys, unicodedata
for number, line in enumerate(sys.stdin.read().splitlines(), 1):
    width = sum(2 if unicodedata.east_asian_width(c) in "WF" else 0 if unicodedata.combining(c) else 1 for c in line)
    if width > 80:
        print(f"line {number}, {width} columns: {line}")' <<<"$translated")
    [ -z "$wide" ] || fail "$language: --help wider than 80 columns: $(head -3 <<<"$wide")"
    [ "$language" = zh_CN ] || [ "$(wc -w <<<"$translated")" -gt $((english_words * 2 / 3)) ] ||
        fail "$language: --help lost words"
    for code in $codes; do
        grep -Eq "^ +$code  " <<<"$translated" || fail "$language: --help does not list exit code $code"
    done
done
echo "manual page and help OK"
