// SPDX-License-Identifier: Apache-2.0
#include "history/HistoryPlace.h"

#include <unistd.h>

#include <cstdlib>

#include "base/UserFolders.h"

namespace {
constexpr const char* FileName = "/flashutil/history.jsonl";

std::string Value(const std::function<const char*(const char*)>& environment, const char* name) {
    const char* value = environment(name);
    return value ? std::string(value) : std::string();
}
}  // namespace

std::string HistoryPath(const std::function<const char*(const char*)>& environment, bool root) {
    if (environment("FLASHUTIL_HISTORY") != nullptr)
        return Value(environment, "FLASHUTIL_HISTORY");
    if (root)
        return std::string("/var/lib") + FileName;
    const std::string state = UserStateFolder(environment);
    return state.empty() ? state : state + FileName;
}

std::string HistoryPathOfProcess() {
    return HistoryPath([](const char* name) { return std::getenv(name); }, ::geteuid() == 0);
}

std::string NoHistoryPlaceReason(const std::function<const char*(const char*)>& environment, bool root) {
    if (!HistoryPath(environment, root).empty())
        return {};
    if (environment("FLASHUTIL_HISTORY") != nullptr)
        return "FLASHUTIL_HISTORY is set but empty, so it names no file (unset it for the usual place)";
    return "no place for it (set HOME, XDG_STATE_HOME or FLASHUTIL_HISTORY)";
}

std::string NoHistoryPlaceReasonOfProcess() {
    return NoHistoryPlaceReason([](const char* name) { return std::getenv(name); }, ::geteuid() == 0);
}
