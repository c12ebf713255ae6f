// SPDX-License-Identifier: Apache-2.0
#include "platform/PrintableText.h"

namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

}  // namespace

std::string PrintableText(std::string bytes) {
    for (char& c : bytes)
        if (IsControl(c))
            c = '?';
    return bytes;
}

std::string PrintableLines(std::string bytes) {
    for (char& c : bytes)
        if (IsControl(c) && c != '\n')
            c = '?';
    return bytes;
}
