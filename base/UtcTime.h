// SPDX-License-Identifier: Apache-2.0
#pragma once
// The current time as every record and event gives it, RFC 3339 in UTC to the second:
// "2026-01-31T23:59:59Z".

#include <string>

std::string UtcTimeNow();
