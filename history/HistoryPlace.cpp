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
    if (environment("FLASHUTIL_HISTORY") != nullptr)
        return Value(environment, "FLASHUTIL_HISTORY");
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
