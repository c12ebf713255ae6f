// SPDX-License-Identifier: Apache-2.0
#pragma once
// Text measured as a terminal shows it: in display columns, not bytes. A translated text in
// UTF-8 has letters of two or three bytes that take one column and Chinese characters that
// take two. Characters are decoded in the locale's own encoding (LC_CTYPE, as the terminal
// shows them); a byte that decodes to nothing counts one column.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// The columns text takes on a terminal.
std::size_t DisplayColumns(std::string_view text);

// text cut to at most columns, at a character's end; "..." marks a cut where there is room.
std::string FitColumns(std::string_view text, std::size_t columns);

// The width of the terminal out writes to, asked of the terminal at each call (so a window
// resized meanwhile counts); 0 when out is no terminal or does not say.
std::size_t TerminalColumns(std::FILE* out);

// Every line of text longer than columns broken at a space (between two wide characters
// where there is none, as in Chinese) and continued at the line's hanging indent: the column
// where its description starts after a gap of two spaces ("  --list     list the..."), else
// its own indent. What a break carries over joins the next line when that one continues at
// the same indent, so a paragraph stays a paragraph. Lines that fit stay as they are.
std::string WrapColumns(std::string_view text, std::size_t columns);

// A progress line fitted to columns (0: as wide as it likes): "[####------] " (barWidth
// cells), " 42%", then "  " and head, then "  " and keep. When it is too wide the bar is
// shortened down to minimumBar cells, then left out, then head is cut, then keep.
std::string BarLine(int percent, std::size_t barWidth, std::size_t minimumBar, const std::string& head,
                    const std::string& keep, std::size_t columns);
