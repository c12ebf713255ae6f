#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The desktop entries (one per job) and the AppStream file: both validators accept them
# without a remark, every entry starts the program with options it takes, the AppStream
# file has the menu's name, launches every entry, names the licence and only screenshots the
# repository has. (That the windows' class is each entry's StartupWMClass: tests/app.)
# Skipped (77) where a validator is missing.
# Usage: desktop_entries.sh <path-to-flashutil> <source-dir>
set -euo pipefail
flashutil=$1
source_dir=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in desktop-file-validate appstreamcli; do
    command -v $tool >/dev/null || { echo "$tool not installed (desktop-file-utils, appstream)"; exit 77; }
done

metainfo="$source_dir/data/io.github.flashutil.flashutil.metainfo.xml"
entries=("$source_dir"/data/*.desktop)
[ ${#entries[@]} -eq 2 ] || fail "expected two desktop entries, found ${#entries[@]}"
for entry in "${entries[@]}"; do
    name=${entry##*/}
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate $name: $out"
    [ -z "$out" ] || fail "desktop-file-validate has remarks on $name: $out"
    grep -q "<launchable type=\"desktop-id\">$name</launchable>" "$metainfo" || fail "AppStream does not launch $name"
    # The options of the entry and of its actions, checked by the program's own parser: out of
    # the window each is taken or refused as belonging to the window, never unknown.
    grep -q '^Exec=' "$entry" || fail "$name starts nothing"
    while read -r exec_line; do
        [[ $exec_line == flashutil\ * ]] || fail "$name does not start flashutil: $exec_line"
        for option in $exec_line; do
            [[ $option == --* ]] || continue
            set +e
            err=$("$flashutil" "$option" --list 2>&1 >/dev/null)
            set -e
            [[ $err == *"unknown option"* || $err == *"ambiguous"* ]] &&
                fail "$name starts the program with $option, which it does not know: $err"
            [[ $option == --choose-* && $err != *"go with the window"* ]] &&
                fail "$name: $option is not one of the window's: $err"
        done
    done < <(sed -n 's/^Exec=//p' "$entry")
done
grep -q '^Name=Update drive firmware$' "$source_dir/data/io.github.flashutil.flashutil.desktop" ||
    fail "the main entry is not the drive update"
# A software centre shows the AppStream name, the menu the entry's: one name.
[ "$(sed -n 's|^ *<name>\(.*\)</name>$|\1|p' "$metainfo")" = "Update drive firmware" ] ||
    fail "the AppStream name is not the menu's: $(grep '<name>' "$metainfo")"

appstreamcli validate --no-net "$metainfo" >/dev/null || fail "appstreamcli rejects ${metainfo##*/}"
grep -q '<project_license>Apache-2.0</project_license>' "$metainfo" || fail "the AppStream file names no licence"
shots=$(sed -n 's|.*<image>https://[^<]*/main/\(docs/screenshots/[^<]*\)</image>.*|\1|p' "$metainfo")
[ -n "$shots" ] || fail "the AppStream file has no screenshots"
for shot in $shots; do
    [ -f "$source_dir/$shot" ] || fail "the AppStream screenshot $shot is not in the repository"
done
echo "desktop entries: ok"
