// SPDX-License-Identifier: Apache-2.0
#include "trust/SystemConfig.h"

#ifndef FLASHUTIL_SYSTEM_CONFIG_DIR
#define FLASHUTIL_SYSTEM_CONFIG_DIR "/etc/flashutil"
#endif

std::string SystemConfigDirectory() { return FLASHUTIL_SYSTEM_CONFIG_DIR; }
