#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Configures and builds into build/ (or $BUILD_DIR). The program ends up at build/flashutil.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
