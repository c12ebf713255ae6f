// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the history of runs is kept: FLASHUTIL_HISTORY when set (any file; tests and
// packagers use it), else /var/lib/flashutil/history.jsonl for root, else
// $XDG_STATE_HOME/flashutil/history.jsonl, with ~/.local/state when XDG_STATE_HOME is unset
// or not an absolute path. "" when no place can be named: FLASHUTIL_HISTORY set to an empty
// value (a mistake, not a wish for the usual place), or no HOME.

#include <functional>
#include <string>

// environment(name) is the variable's value, or null when it is unset.
std::string HistoryPath(const std::function<const char*(const char*)>& environment, bool root);

// The place for this process: its environment and its effective user.
std::string HistoryPathOfProcess();

// Why HistoryPath named no place, in words for a notice ("" when it named one).
std::string NoHistoryPlaceReason(const std::function<const char*(const char*)>& environment, bool root);
std::string NoHistoryPlaceReasonOfProcess();
