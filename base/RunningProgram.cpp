// SPDX-License-Identifier: Apache-2.0
#include "base/RunningProgram.h"

#include <climits>
#include <unistd.h>

#include <vector>

std::string RunningExecutablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || std::size_t(n) >= buffer.size())
        return {};
    return std::string(buffer.data(), std::size_t(n));
}
