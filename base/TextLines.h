// SPDX-License-Identifier: Apache-2.0
#pragma once
// A small text file's lines, for the readers of key=value files that keep their own rules
// for what a line may hold: each line without its line feed, nothing else taken off (a CR
// stays, for the reader to judge). A last line without a line feed is a line too; the end of
// the text after a line feed is none.

#include <string>
#include <string_view>
#include <vector>

std::vector<std::string> TextLines(std::string_view text);
