#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
# Usage: scripts/install-deps.sh [extra-package ...]
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  dpkg-dev desktop-file-utils appstream groff-base man-db
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev
  xvfb xauth fonts-dejavu-core fonts-liberation
  qemu-system-x86 busybox-static cpio kmod
  strace
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
