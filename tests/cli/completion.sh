#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The bash completion: every option of the parser's table, the model numbers of the model
# file the builder would read (beside the program, then the user's configuration directory,
# or --ini), and the device nodes of drives.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2
source "$source_dir/packaging/bash-completion/flashutil"

# complete WORD...: COMPREPLY for the last word, the words as typed after the program, split
# into COMP_WORDS the way bash does: a run of "=" or ":" is a word of its own while
# COMP_WORDBREAKS holds them (as it does by default). Each candidate is printed as the whole
# word it makes of the typed one, so both splittings must give the same lines.
complete_words() {
    local typed=("$work/bin/flashutil" "$@") word piece
    COMP_LINE="${typed[*]}"
    COMP_POINT=${#COMP_LINE}
    COMP_WORDS=()
    for word in "${typed[@]}"; do
        if [[ $COMP_WORDBREAKS == *=* ]]; then
            [ -z "$word" ] && { COMP_WORDS+=(""); continue; }
            while [ -n "$word" ]; do
                [[ $word =~ ^([=:]+|[^=:]+) ]]; piece=${BASH_REMATCH[1]}
                COMP_WORDS+=("$piece"); word=${word#"$piece"}
            done
        else
            COMP_WORDS+=("$word")
        fi
    done
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    local before=${typed[-1]%"${COMP_WORDS[COMP_CWORD]}"}
    COMPREPLY=()
    _flashutil
    [ ${#COMPREPLY[@]} = 0 ] || printf -- "$before%s\n" "${COMPREPLY[@]}" | sort
}
mkdir -p "$work/bin" "$work/xdg/flashutil"
cp "$flashutil" "$work/bin/flashutil"
export XDG_CONFIG_HOME="$work/xdg"

options=$(sed -n 's/^ *{"\([a-z-]*\)", [a-z_]*argument.*/--\1/p' "$source_dir/app/setup/Options.cpp" | sort -u)
offered=$(complete_words --)
for option in $options; do
    grep -qx -- "$option" <<<"$offered" || fail "completion does not offer $option"
done
[ "$(complete_words --ver)" = "--verbose
--verify
--version" ] || fail "--ver completes to: $(complete_words --ver)"

# Models: the user's file when none lies beside the program, the program's own when it does.
printf '[MODEL00]\nModel=A\n[MODEL01]\nModel=B\n[MODEL12]\nModel=C\n' > "$work/xdg/flashutil/flashutil.INI"
[ "$(complete_words --build --model '')" = "$(printf '0\n1\n12')" ] ||
    fail "models from XDG_CONFIG_HOME: $(complete_words --build --model '')"
printf '[MODEL00]\r\nModel=A\r\n[MODEL03]\r\n' > "$work/bin/flashutil.INI"
[ "$(complete_words --build --model '')" = "$(printf '0\n3')" ] ||
    fail "models from beside the program: $(complete_words --build --model '')"
printf '[MODEL05]\n' > "$work/given.INI"
[ "$(complete_words --build --ini "$work/given.INI" --model '')" = 5 ] ||
    fail "models from --ini: $(complete_words --build --ini "$work/given.INI" --model '')"

# The NAME=VALUE forms, with "=" a word break (bash's default) and without.
devices=$( (compgen -G '/dev/sg*'; compgen -G '/dev/sr*') | sed 's|^|--device=|' | sort)
for COMP_WORDBREAKS in $' \t\n"\'><=;|&(:' $' \t\n"\'><;|&('; do
    breaks=$([[ $COMP_WORDBREAKS == *=* ]] && echo 'with "=" a word break' || echo 'without "=" a word break')
    # typed words | expected lines
    while IFS='|' read -r typed expected; do
        typed=${typed//WORK/$work}
        read -ra words <<<"$typed"
        [[ $typed == *' ' ]] && words+=("")
        got=$(complete_words "${words[@]}")
        [ "$got" = "$(printf -- "$expected")" ] || fail "$breaks, '$typed' completes to: $got (want: $expected)"
    done <<'TABLE'
--build --model=|--model=0\n--model=3
--build --model=3|--model=3
--build --ini=WORK/given.INI --model=|--model=5
--cli --virtual-drive=co|--virtual-drive=commit-ms=\n--virtual-drive=corrupt=\n--virtual-drive=count=
--cli --virtual-drive=count=2,r|--virtual-drive=count=2,ready=\n--virtual-drive=count=2,rev=
--cli --virtual-drive=re|--virtual-drive=ready=\n--virtual-drive=replay=\n--virtual-drive=rev=
--cli --virtual-drive=fail=20:04/44/00,comm|--virtual-drive=fail=20:04/44/00,commit-ms=
--cli --virtual-drive=count=2|
--list --device=/dev/nothing-here|
TABLE
    got=$(complete_words --list --device=)
    [ "$got" = "$devices" ] || fail "$breaks, --device= offers: $got (want: $devices)"
    got=$(complete_words --cli --virtual-drive=replay="$work/giv")
    [ "$got" = "--virtual-drive=replay=$work/given.INI" ] || fail "$breaks, replay= completes to: $got"
done

# Devices: the generic and block nodes there are.
expected=$( (compgen -G '/dev/sg*'; compgen -G '/dev/sr*') | sort)
[ "$(complete_words --list --device '')" = "$expected" ] ||
    fail "--device offers: $(complete_words --list --device '') (want: $expected)"
[ "$(complete_words -d /dev/nothing-here)" = "" ] || fail "-d offers nodes that do not match"

[ $failures = 0 ] || exit 1
echo "completion OK"
