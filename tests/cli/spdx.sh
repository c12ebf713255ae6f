#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every tracked source file carries the project's SPDX licence line (scripts/spdx.sh adds it).
# Arguments: path-to-flashutil source-dir
set -uo pipefail
source_dir=$2
if ! git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    echo "SKIPPED: $source_dir is not a git checkout"
    exit 0
fi
bash "$source_dir/scripts/spdx.sh" --check "$source_dir" || { echo "FAIL: source files without the SPDX line (above)"; exit 1; }
echo "SPDX lines OK"
