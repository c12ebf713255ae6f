// SPDX-License-Identifier: Apache-2.0
#include "history/HistoryPlace.h"

#include <unistd.h>

#include <cstdlib>

namespace {
constexpr const char* FileName = "/flashutil/history.jsonl";

std::string Value(const std::function<const char*(const char*)>& environment, const char* name) {
    const char* value = environment(name);
    return value ? std::string(value) : std::string();
}
}  // namespace

std::string HistoryPath(const std::function<const char*(const char*)>& environment, bool root) {
    if (std::string chosen = Value(environment, "FLASHUTIL_HISTORY"); !chosen.empty())
        return chosen;
    if (root)
        return std::string("/var/lib") + FileName;
    // The XDG base directory rules ignore a relative path in XDG_STATE_HOME.
    if (std::string state = Value(environment, "XDG_STATE_HOME"); state.starts_with('/'))
        return state + FileName;
    if (std::string home = Value(environment, "HOME"); home.starts_with('/'))
        return home + "/.local/state" + FileName;
    return {};
}

std::string HistoryPathOfProcess() {
    return HistoryPath([](const char* name) { return std::getenv(name); }, ::geteuid() == 0);
}
