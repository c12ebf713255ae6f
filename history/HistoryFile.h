// SPDX-License-Identifier: Apache-2.0
#pragma once
// The history of runs read back: each run's start paired with its end by the run's id,
// oldest first (in the order the starts were written). A line that is no record, an end
// whose start is missing or a record given twice is skipped with a notice; nothing else in
// the file is lost by it.
//
// The file is read as a stream, twice: first for which runs end after their start (only each
// line's kind and run, not its record), then for the records. A run is handed on as soon as it and every run started before it are
// whole, so what is held is the few runs under way at one time and a few bytes per run id,
// never the records of the whole file: a history of years reads in little memory.

#include <functional>
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

// What the stream reader hands on, in order: each run, and a notice for each line skipped.
struct HistoryReader {
    std::function<void(const HistoryEntry& run)> Run;
    std::function<void(const std::string& notice)> Notice;
};

// Reads path as a stream. exists is false when there is no file. False with why set (naming
// the file and the cause) when it exists but cannot be read or is not a regular file (a FIFO
// is not waited on); runs already handed on stand.
bool ReadHistory(const std::string& path, const HistoryReader& reader, bool& exists, std::string& why);

// The same, every run and notice kept: for a history of known, small size.
bool ReadHistory(const std::string& path, HistoryContents& contents, std::string& why);
