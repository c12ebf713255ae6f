// SPDX-License-Identifier: Apache-2.0
#include "builder/BuildResult.h"

#include <cstring>

BuildFailure Failed(const std::string& message, int error, const std::string& subject) {
    if (error == 0)
        return {message, ""};
    return {message, (subject.empty() ? "" : subject + ": ") + std::strerror(error)};
}
