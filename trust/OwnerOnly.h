// SPDX-License-Identifier: Apache-2.0
#pragma once
// Files that decide what is trusted (the administrator's policy, trusted keys and the
// directories that hold them) count only when nobody but their owner can change them, and
// their owner is root or the user running the program: as OpenSSH treats authorized_keys.
// Otherwise any local user could plant a key or a policy line.

#include <sys/stat.h>

#include <string>

// "" when info's file may be trusted; else why not, in the user's language.
std::string NotOwnerOnly(const struct stat& info);
