// SPDX-License-Identifier: Apache-2.0
// The test build's system configuration directory: one in the build tree, fixed when the
// test build is compiled, in place of the installed program's. It is the only way the
// checks point the administrator's directory elsewhere.
#include "trust/SystemConfig.h"

std::string SystemConfigDirectory() { return FLASHUTIL_TEST_SYSTEM_CONFIG_DIR; }
