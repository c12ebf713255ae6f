#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what building and the tests need, builds the program and its tests, and runs
# the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DFLASHUTIL_BUILD_TESTS=ON
cd "${BUILD_DIR:-$root/build}"
ctest --output-on-failure -j"$(nproc)"
