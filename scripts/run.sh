#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Sets up a fresh Debian 12 machine with what building and running need (not the test
# bench: scripts/test.sh adds that), builds the program, and runs the main job: a flash utility built
# for the example model (examples/flashutil.INI) from a synthetic image, in flash mode.
# It flashes the built-in virtual drive, unless optical drives are present and
# FLASHUTIL_VIRTUAL=1 is not set; a real drive only qualifies if it reports the example
# model's identity, so the synthetic image never reaches any other drive.
# With a display it shows the window; without one it runs the same flash in the terminal.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --run
"$root/scripts/build.sh" -DFLASHUTIL_BUILD_TESTS=OFF

demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo"
cp "$root/build/flashutil" "$demo/flashutil"
cp "$root/examples/flashutil.INI" "$demo/flashutil.INI"
head -c 524288 /dev/urandom >"$demo/QF20.BIN"
"$demo/flashutil" --build --model 0 --image "$demo/QF20.BIN" --output-dir "$demo"

drives=(--virtual-drive)
if [ "${FLASHUTIL_VIRTUAL:-0}" != 1 ] && "$root/build/flashutil" --list >/dev/null 2>&1; then
  drives=()
  echo "Optical drives found: using them (FLASHUTIL_VIRTUAL=1 uses the virtual drive instead)."
else
  echo "Using the built-in virtual drive."
fi
echo "Starting $demo/QF20.EXE ${drives[*]}"
exec "$demo/QF20.EXE" "${drives[@]}"
