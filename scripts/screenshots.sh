#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Starts the window under Xvfb in each mode and saves what a person sees as PNG files in
# docs/screenshots/: builder mode (a blank copy with the example model file and two
# images beside it, then as the menu starts it on a kept image folder), and flash mode on the virtual drive (a copy built from the first of
# those images), then both in German and in Russian. The message boxes are saved too, each
# answered with its default button.
# Usage: scripts/screenshots.sh [path-to-flashutil]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-${BUILD_DIR:-$root/build}/flashutil}
out=$root/docs/screenshots
[ -x "$program" ] || { echo "no program at $program (build first)" >&2; exit 1; }
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")  # it is run from other folders too
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (scripts/install-deps.sh)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The virtual drive's run is recorded in the scratch directory, not in the real history.
export FLASHUTIL_HISTORY=$work/history.jsonl
mkdir -p "$out"
rm -f "$out"/*.png

# A blank copy with the model file and two synthetic images for model 0 ("QF*.BIN").
cp "$program" "$work/flashutil"
cp "$root/examples/flashutil.INI" "$work/flashutil.INI"
head -c 524288 /dev/urandom >"$work/QF20.BIN"
head -c 524288 /dev/urandom >"$work/QF21.BIN"
head -c 1000 /dev/urandom >"$work/notes.txt"

shoot() {  # prefix, then the command line
  local prefix=$1
  shift
  FLASHUTIL_SCREENSHOT=$out/$prefix FLASHUTIL_SCREENSHOT_RUN=1 \
    xvfb-run -a -s "-screen 0 800x600x24 -dpi 96" "$@"
}

# Builder mode: the model list, the image files of model 0, then a build.
(cd "$work" && shoot builder-mode ./flashutil)

# The builder as the menu starts it, on the image folder it keeps (the "Image folder..." button
# below the list, the folder beside it).
mkdir -p "$work/config/flashutil" "$work/Downloads"
cp "$work/QF21.BIN" "$work/Downloads/"
printf 'image-folder=%s\n' "$work/Downloads" >"$work/config/flashutil/desktop.conf"
(cd "$work" && XDG_CONFIG_HOME=$work/config FLASHUTIL_SCREENSHOT=$out/builder-folder \
   xvfb-run -a -s "-screen 0 800x600x24 -dpi 96" ./flashutil --choose-model-file)

# Flash mode: a copy built without the window, on the virtual drive that fits it.
mkdir -p "$work/built"
"$work/flashutil" --build --model 0 --image "$work/QF20.BIN" --output-dir "$work/built" >/dev/null
(cd "$work/built" && shoot flash-mode ./QF20.EXE --virtual-drive=commit-ms=2500)

# The same two windows in German and in Russian, as de-* and ru-*. A copy reads only the system's
# catalogues, the build tree's program also the build tree's: the program itself is the builder
# (with the model file given), and flashes the built copy given as its file.
for language in de ru; do
  (cd "$work" && export LANGUAGE=$language LC_ALL=C.UTF-8 &&
     shoot "$language-builder-mode" "$program" --ini "$work/flashutil.INI")
  (cd "$work/built" && export LANGUAGE=$language LC_ALL=C.UTF-8 &&
     shoot "$language-flash-mode" "$program" --virtual-drive=commit-ms=2500 ./QF20.EXE)
done

ls -1 "$out"
