// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/PathsAndErrors.h"

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

std::string Canonical(const std::string& path) {
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    return ec ? path : resolved.string();
}

std::string SystemText(int code) {
    char buffer[256];
    const char* text = strerror_r(code, buffer, sizeof buffer);  // GNU: may return a static text
    return text ? std::string(text) : std::string();
}
