#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets with clang and runs each for a bounded time on a copy of its
# seed corpus. Prints the executions of every target; fails on any crash, leak or sanitizer report.
# Usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-20}}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFLASHUTIL_FUZZ=ON -DFLASHUTIL_BUILD_GUI=OFF -DFLASHUTIL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzzers

status=0
for target in "$build"/fuzz/fuzz_*; do
  name=$(basename "$target"); name=${name#fuzz_}
  work=$(mktemp -d)
  [ -d "$root/fuzz/corpus/$name" ] && cp -r "$root/fuzz/corpus/$name/." "$work/"
  log="$build/fuzz-$name.log"
  if "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$build/crash-$name-" \
       -print_final_stats=1 "$work" >"$log" 2>&1; then
    runs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    echo "fuzz $name: ${runs:-?} executions in ${seconds}s, no failure"
  else
    echo "fuzz $name: FAILED (see $log)"; tail -n 30 "$log"; status=1
  fi
  rm -rf "$work"
done
exit $status
