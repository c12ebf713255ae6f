# SPDX-License-Identifier: Apache-2.0
# Shared helpers of the kernel test harness (sourced, not run).

kt_log() { echo "kernel-test: $*" >&2; }

# Runs a command as root: directly when we are root, through sudo otherwise.
kt_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        sudo "$@"
    else
        return 1
    fi
}

kt_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Installs the Debian packages given, only those missing. Fails when they are
# missing and cannot be installed (no root, no mirror).
kt_need_packages() {
    local missing=() p
    for p in "$@"; do kt_installed "$p" || missing+=("$p"); done
    [ ${#missing[@]} -eq 0 ] && return 0
    kt_log "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    kt_as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1 && return 0
    kt_as_root apt-get update -qq >/dev/null 2>&1 || return 1
    kt_as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1
}
