#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the whole program and test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the tests (the kernel and package checks run in the ordinary build only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SANITIZE_BUILD_DIR:-$root/build-asan}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build BUILD_TYPE=Debug "$root/scripts/build.sh" -DFLASHUTIL_SANITIZE=ON
cd "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
ctest --output-on-failure -j"$(nproc)" -LE 'kernel|package'
