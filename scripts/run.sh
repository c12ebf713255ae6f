#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the main job on the built-in virtual drive.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "$root/build/flashutil" --list --virtual-drive
