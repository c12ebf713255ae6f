#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The key-word occurs exactly once in the program file, and the block and image area lie in
# it at one stretch, in every build type: the identity block's sources are compiled with the
# flags of each build type (and each compiler there is), linked into a probe that checks its
# own file. The real program of the suite's own build type is checked by test_image.
# Usage: keyword_build_types.sh PATH-TO-FLASHUTIL SOURCE-DIR
set -uo pipefail
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/probe.cpp" <<'PROBE'
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>
#include "areas/IdentityBlock.h"
int main() {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), {});
    const IdentityBlock own = IdentityBlock::Embedded();
    const unsigned char* key = own.KeyWord();
    int count = 0;
    auto at = file.begin(), first = file.end();
    while ((at = std::search(at, file.end(), key, key + Layout::KeyWordSize)) != file.end()) {
        if (count++ == 0) first = at;
        ++at;
    }
    if (count != 1) { std::printf("key-word found %d times\n", count); return 1; }
    if (file.end() - first < std::ptrdiff_t(Layout::TotalSize) || !std::equal(first, first + Layout::TotalSize, own.Raw())) {
        std::printf("block and image area are not one stretch of the file\n"); return 1;
    }
    if (!own.IsBlankCopy()) { std::printf("not a blank copy\n"); return 1; }
    return 0;
}
PROBE

# RelWithDebInfo and the Debug sanitizer build are the suite's own builds, whose real
# programs test_image checks; these are the others.
variants=(
  "g++|Debug|-O0 -g"
  "g++|Release|-O3 -DNDEBUG"
  "g++|MinSizeRel|-Os -DNDEBUG"
)
command -v clang++ >/dev/null && variants+=("clang++|RelWithDebInfo (fuzz build)|-O2 -g -DNDEBUG")

pids=()
for i in "${!variants[@]}"; do
  IFS='|' read -r compiler type flags <<<"${variants[$i]}"
  (
    $compiler -std=c++20 $flags -I"$source_dir" "$source_dir/areas/EmbeddedBlock.cpp" \
      "$source_dir/areas/IdentityBlock.cpp" "$work/probe.cpp" -o "$work/probe$i" >"$work/log$i" 2>&1 &&
      "$work/probe$i" >>"$work/log$i" 2>&1
  ) &
  pids+=($!)
done

failures=0
for i in "${!variants[@]}"; do
  if wait "${pids[$i]}"; then
    echo "ok: ${variants[$i]}"
  else
    echo "FAIL: ${variants[$i]}"; cat "$work/log$i"; failures=$((failures + 1))
  fi
done
exit $((failures > 0))
