// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/ErrorLine.h"

#include <cstdio>

#include "platform/PrintableText.h"

void SayError(const std::string& line) { std::fprintf(stderr, "flashutil: %s\n", PrintableText(line).c_str()); }
