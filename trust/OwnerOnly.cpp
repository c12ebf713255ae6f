// SPDX-License-Identifier: Apache-2.0
#include "trust/OwnerOnly.h"

#include <unistd.h>

#include "ui/Translate.h"

std::string NotOwnerOnly(const struct stat& info) {
    if (info.st_uid != 0 && info.st_uid != ::geteuid())
        return _("owned by another user than root or the one running the program");
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return _("writable by others than its owner");
    return {};
}
