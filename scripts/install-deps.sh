#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages the build and the tests need, only those missing.
# Usage: scripts/install-deps.sh [extra-package ...]
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config gettext
  dpkg-dev desktop-file-utils appstream groff-base man-db
  qt6-base-dev libgl-dev libxcb1-dev libwayland-dev
  libgtest-dev libgmock-dev libssl-dev
  xvfb xauth fonts-dejavu-core fonts-liberation qt6-translations-l10n
  qemu-system-x86 busybox-static cpio kmod
  locales strace
  libssl-dev nlohmann-json3-dev libsgutils2-dev libudev-dev lintian jq
  "$@"
)

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

# A locale that writes numbers with a decimal comma, for the checks that output is the
# same in every locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
