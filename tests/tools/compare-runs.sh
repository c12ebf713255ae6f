#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# compare-runs.sh OLD-DIR NEW-DIR: every file capture-runs.sh captured, byte for byte. Towers
# run their drives on threads at once: their lines are compared grouped by drive (a stable sort
# on the first "virtual:N" a line names), the order within each drive kept. Lines that name no
# drive (sense reports) come in the order the threads gave them, which differs from run to
# run: they are compared as a sorted set.
old=$1 new=$2; same=0; differ=0
norm() {
    case "$(basename "$1")" in
    tower*) python3 -c '
import re,sys
lines=open(sys.argv[1],"rb").read().split(b"\n")
def key(l):
    if l.startswith(b"{\"event\": \"summary\"") or l.startswith(b"{\"event\":\"summary\""): return (b"~", b"")
    m = re.search(rb"virtual:\d+", l)
    return (m[0], b"") if m else (b"", l)
sys.stdout.buffer.write(b"\n".join(sorted(lines,key=key)))' "$1" ;;
    *) cat "$1" ;;
    esac
}
for f in "$old"/*; do
    n="$new/$(basename "$f")"
    if cmp -s <(norm "$f") <(norm "$n"); then same=$((same+1)); else differ=$((differ+1)); echo "DIFFERS: $(basename "$f")"; fi
done
for f in "$new"/*; do [ -e "$old/$(basename "$f")" ] || { echo "ONLY NEW: $(basename "$f")"; differ=$((differ+1)); }; done
echo "same=$same differ=$differ"
