#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Gives every tracked source file its SPDX licence line where it is missing: the first line
# of C++ files, the line after the shebang (or the first line) of shell, CMake and Python
# files. Running it again changes nothing.
# Usage: scripts/spdx.sh [--check] [SOURCE-DIR]
#   --check  change nothing; list the files that lack the line and exit 1 if there are any
set -euo pipefail

check=0
if [ "${1:-}" = --check ]; then
    check=1
    shift
fi
cd "${1:-$(dirname "$0")/..}"

readonly Id="SPDX-License-Identifier: Apache-2.0"

# The comment form of a file's SPDX line, or nothing when the file is no source file.
comment_of() {
    case $1 in
        *.cpp | *.h | *.hpp | *.c) echo "//" ;;
        *.sh | *.cmake | *.py | CMakeLists.txt | */CMakeLists.txt) echo "#" ;;
        *) head -c 2 -- "$1" 2>/dev/null | grep -q '^#!' && echo "#" ;;
    esac
    return 0
}

# Whether the file carries the line where it belongs.
has_line() {
    local file=$1 comment=$2 first second
    first=$(sed -n 1p -- "$file")
    second=$(sed -n 2p -- "$file")
    [ "$first" = "$comment $Id" ] && return 0
    [ "$comment" = "#" ] && [[ $first == '#!'* ]] && [ "$second" = "# $Id" ]
}

missing=0
while IFS= read -r -d '' file; do
    [ -f "$file" ] && [ ! -L "$file" ] || continue
    comment=$(comment_of "$file")
    [ -n "$comment" ] || continue
    has_line "$file" "$comment" && continue
    if [ $check = 1 ]; then
        echo "$file"
        missing=$((missing + 1))
        continue
    fi
    if [ "$comment" = "#" ] && [[ $(sed -n 1p -- "$file") == '#!'* ]]; then
        sed -i "1a # $Id" -- "$file"
    else
        sed -i "1i $comment $Id" -- "$file"
    fi
done < <(git ls-files -z)

if [ $check = 1 ] && [ $missing -gt 0 ]; then
    echo "$missing source file(s) lack the line '$Id' (run scripts/spdx.sh)" >&2
    exit 1
fi
exit 0
