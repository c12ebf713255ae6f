// SPDX-License-Identifier: Apache-2.0
#pragma once
// The history of runs read back: each run's start paired with its end by the run's id,
// oldest first (in the order the starts were written). A line that is no record, an end
// whose start is missing or a record given twice is skipped with a notice; nothing else in
// the file is lost by it.

#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

struct HistoryEntry {
    RunStart Start;
    std::optional<RunEnd> End;  // none: the run did not finish
};

struct HistoryContents {
    std::vector<HistoryEntry> Runs;
    std::vector<std::string> Notices;  // one for each line skipped, naming the file and the line
    bool Exists = false;               // false: no run was ever recorded there
};

// Reads path. False with why set (naming the file and the cause) when it exists but cannot be read.
bool ReadHistory(const std::string& path, HistoryContents& contents, std::string& why);
