#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The program in other languages: every catalogue compiles with its placeholders matching
# the English, every text the program can show is translated in every catalogue, a terminal
# flash speaks German and French with the same commands and exit code, a copy's signature
# verdict is German with --verify's own codes, and under LC_ALL=C (or with --json)
# everything is the English of old, byte for byte. The build tree's program reads the build
# tree's catalogues; a copy never reads one planted beside it.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2
build_dir=$(cd "$(dirname "$flashutil")" && pwd)
pot="$build_dir/po/flashutil.pot"
[ -s "$pot" ] || { echo "FAIL: no template at $pot"; exit 1; }

# 1. Every catalogue: placeholders agree (msgfmt --check), and every text of the template
#    has a translation that is neither missing, empty nor fuzzy.
languages=()
for po in "$source_dir"/po/*.po; do
    language=$(basename "$po" .po)
    languages+=("$language")
    msgfmt --check -o /dev/null "$po" 2> "$work/$language.check" ||
        fail "$language: msgfmt --check: $(cat "$work/$language.check")"
    msgcmp "$po" "$pot" 2> "$work/$language.cmp" || fail "$language: texts without a translation: $(head -5 "$work/$language.cmp")"
    stats=$(msgfmt --statistics -o /dev/null "$po" 2>&1)
    case $stats in
    *untranslated* | *fuzzy*) fail "$language: $stats" ;;
    esac
done
for want in de fr es it pt_BR pl ru zh_CN; do
    [[ " ${languages[*]} " == *" $want "* ]] || fail "no catalogue for $want"
    [ -s "$build_dir/locale/$want/LC_MESSAGES/flashutil.mo" ] || fail "$want: not compiled beside the program"
done

# A built copy, run by the build tree's program, which alone reads the build's catalogues.
model_ini > "$work/flashutil.INI"
build_copy R120.BIN
built="$work/R120.EXE"
flash() { # flash NAME ENV... : a full terminal run on the virtual drive, with its trace
    local name=$1; shift
    run_command "$name" env -u LC_ALL -u LC_MESSAGES -u LANG -u LANGUAGE "$@" \
        "$flashutil" --cli --yes --virtual-drive --trace "$work/$name.trace" "$built"
    cut -d, -f2 "$work/$name.trace" > "$work/$name.cdbs"
}
flash english LC_ALL=C
[ "$(rc english)" = 0 ] || fail "English run: exit $(rc english)"
grep -qx 'Flash Completed.' "$work/english.out" || fail "English run: no 'Flash Completed.'"

# 2. German: the warning, the revision question and the result, in German; the same
#    commands to the drive and the same exit code.
flash german LANG=de_DE.UTF-8 LANGUAGE=de
[ "$(rc german)" = 0 ] || fail "German run: exit $(rc german), want 0"
grep -qx 'WARNUNG:' "$work/german.out" || fail "German run: warning not in German: $(head -5 "$work/german.out")"
grep -qx 'Möchten Sie fortfahren?' "$work/german.out" || fail "German run: no question to continue"
grep -qx 'FW:1.00 auf FW:R120 aktualisieren ?' "$work/german.out" || fail "German run: revision question not in German"
grep -qx 'BIN in den DRAM des Laufwerks schreiben... ' "$work/german.out" || fail "German run: status not in German"
grep -qx 'Flash abgeschlossen.' "$work/german.out" || fail "German run: result not in German"
grep -qx '\[j/N\] nein (--yes)' "$work/german.out" || fail "German run: restart answer not in German"
cmp -s "$work/english.cdbs" "$work/german.cdbs" || fail "German run: the drive got other commands than in English"
# The history keeps the English caption whatever the language.
grep -q '"status":"Flash Completed."' "$FLASHUTIL_HISTORY" || fail "history caption translated: $(tail -1 "$FLASHUTIL_HISTORY")"
grep -q 'Flash abgeschlossen' "$FLASHUTIL_HISTORY" && fail "German text in the history"

# 3. French, chosen by LANGUAGE alone over a German locale.
flash french LANG=de_DE.UTF-8 LANGUAGE=fr
[ "$(rc french)" = 0 ] || fail "French run: exit $(rc french), want 0"
grep -qx 'AVERTISSEMENT :' "$work/french.out" || fail "French run: warning not in French"
grep -qx 'Mettre à jour FW:1.00 vers FW:R120 ?' "$work/french.out" || fail "French run: revision question not in French"
grep -qx 'Flash terminé.' "$work/french.out" || fail "French run: result not in French"
cmp -s "$work/english.cdbs" "$work/french.cdbs" || fail "French run: the drive got other commands than in English"

# 4. Under the C locale LANGUAGE is not followed: the English of old, byte for byte; and a
#    failure's caption with its suffix in German.
flash c_locale LC_ALL=C LANGUAGE=de
cmp -s "$work/english.out" "$work/c_locale.out" || fail "LC_ALL=C with LANGUAGE=de differs from English"
run_command fail env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de "$flashutil" --cli --yes --virtual-drive=fail=12:03/0C/00 "$built"
[ "$(rc fail)" = 6 ] || fail "German failing upload: exit $(rc fail), want 6"
grep -qx 'BIN in den DRAM des Laufwerks schreiben... , Fehler! ' "$work/fail.out" ||
    fail "German failing upload: caption and suffix not in German: $(grep -i bin "$work/fail.out")"
run_command help_c env LC_ALL=C LANGUAGE=de "$flashutil" --help
run_command help_de env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de "$flashutil" --help
grep -q '^Usage: flashutil' "$work/help_c.out" || fail "--help under LC_ALL=C is not English"
grep -q '^Usage: flashutil' "$work/help_de.out" && fail "--help not in German"

# 5. JSON is for programs: English under a German locale, the same as under C.
run_command json_de env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de "$flashutil" --cli --yes --json --virtual-drive "$built"
run_command json_c env LC_ALL=C "$flashutil" --cli --yes --json --virtual-drive "$built"
[ "$(rc json_de)" = 0 ] || fail "German JSON run: exit $(rc json_de)"
sed -E 's/"ms": [0-9.]*//; s/"time":"[^"]*"//' "$work/json_de.out" > "$work/json_de.cmp"
sed -E 's/"ms": [0-9.]*//; s/"time":"[^"]*"//' "$work/json_c.out" > "$work/json_c.cmp"
cmp -s "$work/json_de.cmp" "$work/json_c.cmp" || fail "JSON differs with the language: $(diff "$work/json_c.cmp" "$work/json_de.cmp" | head -4)"

# 6. A copy never reads a catalogue planted beside it: one that makes "y" of a typed "n" and
#    "GEPFLANZT" of the result leaves it English, and an "n" at the revision question
#    declines. A copy in the build tree itself does not read the build's catalogues either
#    (only the build tree's program does), unless the installed ones say otherwise.
mkdir -p "$work/planted/locale/de/LC_MESSAGES"
cp "$built" "$work/planted/R120.EXE"
printf 'msgid ""\nmsgstr "Content-Type: text/plain; charset=UTF-8\\n"\n\nmsgid "y"\nmsgstr "n"\n\nmsgid "Flash Completed."\nmsgstr "GEPFLANZT."\n' \
    > "$work/planted.po"
msgfmt -o "$work/planted/locale/de/LC_MESSAGES/flashutil.mo" "$work/planted.po" || fail "no planted catalogue"
run_command planted env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de "$work/planted/R120.EXE" --cli --yes --virtual-drive
grep -q GEPFLANZT "$work/planted.out" && fail "a copy read the catalogue planted beside it"
if [ ! -e /usr/share/locale/de/LC_MESSAGES/flashutil.mo ]; then
    grep -qx 'Flash Completed.' "$work/planted.out" || fail "a copy with a planted catalogue is not English: $(out planted)"
    in_tree="$build_dir/translations-check-$$.EXE"
    cp "$built" "$in_tree"
    run_command in_tree env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de "$in_tree" --cli --yes --virtual-drive
    rm -f "$in_tree"
    grep -qx 'Flash Completed.' "$work/in_tree.out" || fail "a copy in the build tree read its catalogues: $(out in_tree)"
fi
if command -v script > /dev/null; then
    printf 'y\nn\n' | env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de \
        script -qec "'$work/planted/R120.EXE' --cli --virtual-drive --trace '$work/planted_tty.trace'" /dev/null \
        > "$work/planted_tty.out" 2>&1
    code=$?
    [ "$code" = 4 ] || fail "an n at the revision question beside a planted catalogue: exit $code, want 4: $(tail -5 "$work/planted_tty.out")"
    grep -q '"cdb": "3B' "$work/planted_tty.trace" 2> /dev/null && fail "a typed n flashed the drive"
fi

# 7. A tower (--all) shows each drive's caption in German as well.
run_command tower_de env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de "$flashutil" --cli --yes --all --virtual-drive=count=2 "$built"
[ "$(rc tower_de)" = 0 ] || fail "German tower: exit $(rc tower_de), want 0"
[ "$(grep -Ec '^virtual:[0-9]+: Flash abgeschlossen\.$' "$work/tower_de.out")" = 2 ] ||
    fail "German tower: captions not in German: $(grep -i flash "$work/tower_de.out" | head -3)"

# 8. A copy's signature verdict in German, its cause included, with --verify's own exit
#    codes; a damaged copy given to a run is refused in German, before any drive command.
python3 -c "import sys; d = bytearray(open(sys.argv[1],'rb').read()); k = d.find(b'FLUTIL.' + b'IDBLOCK\0'); d[k + 152 + 7] ^= 1; open(sys.argv[2],'wb').write(d)" "$built" "$work/damaged.EXE"
for row in "unsigned|$built|11|nicht signiert" "damaged|$work/damaged.EXE|10|beschädigt: das Firmware-Abbild weicht ab"; do
    IFS='|' read -r name file want words <<< "$row"
    run_command "verify_$name" env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de "$flashutil" --verify "$file"
    [ "$(rc "verify_$name")" = "$want" ] || fail "German --verify $name: exit $(rc "verify_$name"), want $want"
    grep -qxF "flashutil: $file: $words" "$work/verify_$name.err" || fail "German --verify $name: $(err "verify_$name")"
done
run_command damaged_run env -u LC_ALL LANG=de_DE.UTF-8 LANGUAGE=de "$flashutil" --cli --yes --virtual-drive \
    --trace "$work/damaged_run.trace" "$work/damaged.EXE"
[ "$(rc damaged_run)" = 6 ] || fail "German run of a damaged copy: exit $(rc damaged_run), want 6"
grep -qF "Dieses Dienstprogramm ist beschädigt: $work/damaged.EXE stimmt nicht mehr" "$work/damaged_run.out" "$work/damaged_run.err" &&
    grep -qF "(das Firmware-Abbild weicht ab)" "$work/damaged_run.out" "$work/damaged_run.err" ||
    fail "German run of a damaged copy: $(out damaged_run) $(err damaged_run)"
[ ! -s "$work/damaged_run.trace" ] || fail "a damaged copy's run sent commands to the drive"

[ "$failures" = 0 ] || exit 1
echo "translations: all checks passed"
