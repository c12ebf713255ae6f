#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages flashutil needs, only those missing.
#   --run   what building and running the program needs (compiler, Qt 6, the libraries)
#   (none)  that and everything the tests need (GoogleTest, Xvfb, QEMU, lintian, ...)
# Usage: scripts/install-deps.sh [--run] [extra-package ...]
set -euo pipefail

run_packages=(
  g++ cmake ninja-build pkg-config gettext
  qt6-base-dev qt6-svg-dev libgl-dev libxcb1-dev libwayland-dev
  libssl-dev nlohmann-json3-dev libsgutils2-dev libudev-dev
  qt6-translations-l10n
)
test_packages=(
  dpkg-dev desktop-file-utils appstream groff-base man-db
  shared-mime-info xdg-utils libglib2.0-bin
  libgtest-dev libgmock-dev
  xvfb xauth fonts-dejavu-core fonts-liberation
  at-spi2-core python3-pyatspi dbus-daemon dbus-bin
  qemu-system-x86 busybox-static cpio kmod linux-libc-dev
  locales strace openssl lintian jq python3-jsonschema
  ansible-core ansible-lint
)

packages=("${run_packages[@]}")
only_run=0
if [ "${1:-}" = --run ]; then
  only_run=1
  shift
else
  packages+=("${test_packages[@]}")
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[ $only_run = 1 ] && exit 0

# A locale that writes numbers with a decimal comma, for the checks that output is the
# same in every locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
