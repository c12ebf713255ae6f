#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The bash completion: every option of the parser's table, the model numbers of the model
# file the builder would read (beside the program, then the user's configuration directory,
# or --ini), and the device nodes of drives.
# Arguments: path-to-flashutil source-dir
source "$(dirname "$0")/lib/common.sh"
source_dir=$2
source "$source_dir/packaging/bash-completion/flashutil"

# complete WORD...: COMPREPLY for the last word, the words as typed after the program.
complete_words() {
    COMP_WORDS=("$work/bin/flashutil" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _flashutil
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
mkdir -p "$work/bin" "$work/xdg/flashutil"
cp "$flashutil" "$work/bin/flashutil"
export XDG_CONFIG_HOME="$work/xdg"

options=$(sed -n 's/^ *{"\([a-z-]*\)", [a-z_]*argument.*/--\1/p' "$source_dir/app/commands/Options.cpp" | sort -u)
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
[ "$(complete_words --build --model=)" = "$(printf -- '--model=0\n--model=3')" ] ||
    fail "--model= completes to: $(complete_words --build --model=)"

# Devices: the generic and block nodes there are.
expected=$( (compgen -G '/dev/sg*'; compgen -G '/dev/sr*') | sort)
[ "$(complete_words --list --device '')" = "$expected" ] ||
    fail "--device offers: $(complete_words --list --device '') (want: $expected)"
[ "$(complete_words -d /dev/nothing-here)" = "" ] || fail "-d offers nodes that do not match"

[ $failures = 0 ] || exit 1
echo "completion OK"
