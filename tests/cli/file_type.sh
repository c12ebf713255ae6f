#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The program's file type as a desktop sees it: with the shared-mime-info file installed in a
# scratch data directory, GIO types a blank copy, a built utility and a stripped one as
# application/x-flashutil by their first 4 KiB, and other programs, libraries and *.EXE files
# as before; the update entry is the default for that type and for no program or library type.
# Skipped (77) where GIO's or shared-mime-info's tools are missing.
# Usage: file_type.sh <path-to-flashutil> <source-dir>
set -euo pipefail
flashutil=$1
source_dir=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in gio update-mime-database update-desktop-database xdg-mime readelf strip; do
    command -v $tool >/dev/null ||
        { echo "$tool not installed (libglib2.0-bin, shared-mime-info, desktop-file-utils, xdg-utils)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_DATA_DIRS=/usr/share
# xdg-mime asks GIO on GNOME; elsewhere it asks tools that do not read shared-mime-info.
export XDG_CURRENT_DESKTOP=GNOME

mkdir -p "$XDG_DATA_HOME/mime/packages" "$XDG_DATA_HOME/applications" "$work/blank" "$work/out"
cp "$source_dir/data/io.github.flashutil.flashutil.mime.xml" "$XDG_DATA_HOME/mime/packages/"
update-mime-database "$XDG_DATA_HOME/mime"
cp "$source_dir"/data/*.desktop "$XDG_DATA_HOME/applications/"
update-desktop-database "$XDG_DATA_HOME/applications"

# The copies people have: the blank program, a utility built from it, a stripped utility.
cp "$flashutil" "$work/blank/flashutil"
cp "$source_dir/examples/flashutil.INI" "$work/blank/flashutil.INI"
head -c 300000 /dev/urandom >"$work/qfa0.bin"
"$work/blank/flashutil" --build --model 0 --image "$work/qfa0.bin" --output-dir "$work/out" >/dev/null ||
    fail "the build failed"
strip -o "$work/out/stripped.EXE" "$work/out/qfa0.EXE"
# Others: a Windows program and a text file called *.EXE, a program called *.EXE, a library.
printf 'MZ\x90\x00\x03\x00\x00\x00' >"$work/setup.EXE"
echo "not a program" >"$work/notes.EXE"
cp /bin/ls "$work/ls.EXE"
libc=$(ldd /bin/ls | awk '$1 ~ /^libc\.so/ { print $3 }')
[ -f "$libc" ] || fail "no libc found for /bin/ls"

# Where the marker lies: a note within the first 4 KiB, which file managers read.
for copy in "$work/blank/flashutil" "$work/out/qfa0.EXE" "$work/out/stripped.EXE"; do
    readelf -nW "$copy" | grep -q '^ *flashutil  ' || fail "${copy##*/} has no flashutil note"
    offset=$(readelf -SW "$copy" | sed -n 's/.* \.note\.flashutil  *NOTE  *[0-9a-f]*  *\([0-9a-f]*\) .*/\1/p')
    [ -n "$offset" ] && [ $((16#$offset)) -lt 4000 ] || fail "${copy##*/}: the note lies at ${offset:-nowhere}, past 4 KiB"
done

type_of() { gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }
for copy in "$work/blank/flashutil" "$work/out/qfa0.EXE" "$work/out/stripped.EXE"; do
    [ "$(type_of "$copy")" = application/x-flashutil ] || fail "GIO types ${copy##*/} as $(type_of "$copy")"
    [ "$(xdg-mime query filetype "$copy")" = application/x-flashutil ] ||
        fail "xdg-mime types ${copy##*/} as $(xdg-mime query filetype "$copy")"
done
for other in /bin/ls "$libc" "$work/ls.EXE" "$work/setup.EXE" "$work/notes.EXE"; do
    type=$(type_of "$other")
    [ -n "$type" ] && [ "$type" != application/x-flashutil ] || fail "GIO types $other as '$type'"
done
[ "$(type_of "$work/setup.EXE")" = application/x-ms-dos-executable ] ||
    fail "a Windows program called *.EXE is $(type_of "$work/setup.EXE")"

# The update entry opens utilities, and only them.
[ "$(xdg-mime query default application/x-flashutil)" = io.github.flashutil.flashutil.desktop ] ||
    fail "the default for utilities is '$(xdg-mime query default application/x-flashutil)'"
for type in application/x-executable application/x-pie-executable application/x-sharedlib \
            application/x-ms-dos-executable "$(type_of /bin/ls)" "$(type_of "$libc")"; do
    if grep -q "^MimeType=.*$type;" "$XDG_DATA_HOME"/applications/*.desktop; then
        fail "a desktop entry claims $type"
    fi
    [[ $(xdg-mime query default "$type") != io.github.flashutil.* ]] || fail "the entry is the default for $type"
done
echo "file type: ok"
