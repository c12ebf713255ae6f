// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/TextColumns.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

namespace {

struct Character {
    std::size_t Offset;  // where it starts in the text
    std::size_t Bytes;
    std::size_t Columns;
    wchar_t Code;        // 0 for a byte that decodes to nothing
};

std::vector<Character> Decode(std::string_view text) {
    std::vector<Character> characters;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < text.size();) {
        wchar_t code = 0;
        const std::size_t length = std::mbrtowc(&code, text.data() + at, text.size() - at, &state);
        if (length == 0 || length > text.size() - at) {  // a NUL, or a byte that starts nothing
            characters.push_back({at, 1, 1, 0});
            state = {};
            ++at;
            continue;
        }
        const int width = ::wcwidth(code);
        characters.push_back({at, length, width < 0 ? 1u : std::size_t(width), code});
        at += length;
    }
    return characters;
}

bool Wide(const Character& c) { return c.Columns >= 2; }

// Chinese punctuation that never starts a line, and that never ends one.
bool ClosesText(wchar_t c) { return std::wstring_view(L"，。、；：！？）》」』】”’…").find(c) != std::wstring_view::npos; }
bool OpensText(wchar_t c) { return std::wstring_view(L"（《「『【“‘").find(c) != std::wstring_view::npos; }

std::size_t IndentOf(std::string_view line) {
    const std::size_t first = line.find_first_not_of(' ');
    return first == std::string_view::npos ? line.size() : first;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Where the description of an option line starts (after the first gap of two spaces past the
// indent), in bytes; npos when the line has no such gap.
std::size_t DescriptionStart(std::string_view line) {
    const std::size_t gap = line.find("  ", IndentOf(line));
    if (gap == std::string_view::npos)
        return gap;
    const std::size_t start = line.find_first_not_of(' ', gap);
    return start;
}

// The first line of at most columns (breaking after byte from) and what is carried over;
// the line whole and nothing carried when it fits.
std::pair<std::string, std::string> Break(std::string_view line, std::size_t from, std::size_t columns) {
    const std::vector<Character> characters = Decode(line);
    std::size_t used = 0, best = std::string_view::npos, resume = 0;
    for (std::size_t k = 0; k < characters.size(); ++k) {
        const Character& c = characters[k];
        if (c.Offset > from) {
            if (c.Code == L' ' && used <= columns) {
                best = c.Offset;
                resume = c.Offset + 1;
            } else if (k > 0 && (Wide(c) || Wide(characters[k - 1])) && characters[k - 1].Code != L' ' &&
                       !ClosesText(c.Code) && !OpensText(characters[k - 1].Code) && used <= columns) {
                best = c.Offset;
                resume = c.Offset;
            }
        }
        used += c.Columns;
        if (used > columns)
            break;
    }
    if (used <= columns)
        return {std::string(line), {}};
    if (best == std::string_view::npos) {  // one word longer than the line: cut where it must be
        std::size_t end = 0, width = 0;
        for (const Character& c : characters) {
            if (width + c.Columns > columns && end > 0)
                break;
            width += c.Columns;
            end = c.Offset + c.Bytes;
        }
        best = resume = end;
    }
    std::string first(line.substr(0, best));
    first.erase(first.find_last_not_of(' ') + 1);
    return {first, std::string(Trimmed(line.substr(resume)))};
}

// Joins carried-over words to the next line's: a space between them, none between two
// wide characters.
std::string Joined(const std::string& carried, std::string_view next) {
    const std::vector<Character> left = Decode(carried), right = Decode(next);
    const bool close = !left.empty() && !right.empty() && Wide(left.back()) && Wide(right.front());
    return carried + (close ? "" : " ") + std::string(next);
}

}  // namespace

std::size_t DisplayColumns(std::string_view text) {
    std::size_t columns = 0;
    for (const Character& c : Decode(text))
        columns += c.Columns;
    return columns;
}

std::string FitColumns(std::string_view text, std::size_t columns) {
    if (DisplayColumns(text) <= columns)
        return std::string(text);
    const std::string_view mark = columns >= 6 ? "..." : "";
    std::size_t width = 0, end = 0;
    for (const Character& c : Decode(text)) {
        if (width + c.Columns + mark.size() > columns)
            break;
        width += c.Columns;
        end = c.Offset + c.Bytes;
    }
    std::string cut(text.substr(0, end));
    cut.erase(cut.find_last_not_of(' ') + 1);
    return cut + std::string(mark);
}

std::size_t TerminalColumns(std::FILE* out) {
    winsize size{};
    const int fd = out == nullptr ? -1 : ::fileno(out);
    if (fd < 0 || ::ioctl(fd, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

std::string WrapColumns(std::string_view text, std::size_t columns) {
    std::string out;
    std::string carried;  // what a break carried over, waiting for its line
    std::size_t carriedIndent = 0;
    // The line's first part goes out; the rest is carried, to continue at hanging.
    auto place = [&](const std::string& line, std::size_t from, std::size_t hanging) {
        auto [first, rest] = Break(line, from, columns);
        out += first + "\n";
        carried = std::move(rest);
        carriedIndent = hanging;
    };
    // What was carried over with no line to join gets lines of its own.
    auto layCarried = [&] {
        while (!carried.empty()) {
            const std::string before = carried;
            place(std::string(carriedIndent, ' ') + carried, carriedIndent, carriedIndent);
            if (carried == before) {  // nothing fits beside the indent: the rest goes out as it is
                out += carried + "\n";
                carried.clear();
            }
        }
    };
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string_view line = lines[k];
        if (!carried.empty()) {
            // The next line continues the same text at the same indent: the words join it.
            if (!Trimmed(line).empty() && IndentOf(line) == carriedIndent) {
                place(std::string(carriedIndent, ' ') + Joined(carried, Trimmed(line)), carriedIndent, carriedIndent);
                continue;
            }
            layCarried();
        }
        // An indent of more than half the line is not kept for the lines a break adds.
        std::size_t hanging = std::min(IndentOf(line), columns / 2), from = IndentOf(line);
        if (const std::size_t description = DescriptionStart(line); description != std::string_view::npos) {
            const std::size_t column = DisplayColumns(line.substr(0, description));
            if (column + 20 <= columns) {  // a description too far right starts under the item instead
                hanging = column;
                from = description;
            }
        } else if (k + 1 < lines.size()) {
            // A line whose next one goes on further in, with no item of its own ("Usage: ...",
            // then its second line under the first option), continues there.
            const std::string_view next = lines[k + 1];
            if (!Trimmed(next).empty() && IndentOf(next) > IndentOf(line) && IndentOf(next) + 20 <= columns &&
                DescriptionStart(next) == std::string_view::npos)
                hanging = IndentOf(next);
        }
        place(std::string(line), from, hanging);
    }
    layCarried();
    if (!text.empty() && text.back() != '\n' && !out.empty())
        out.pop_back();
    return out;
}

std::string BarLine(int percent, std::size_t barWidth, std::size_t minimumBar, const std::string& head,
                    const std::string& keep, std::size_t columns) {
    percent = std::clamp(percent, 0, 100);
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", percent);
    auto bar = [&](std::size_t cells) {
        const std::size_t filled = std::size_t(percent) * cells / 100;
        return "[" + std::string(filled, '#') + std::string(cells - filled, '-') + "] ";
    };
    std::string tail;
    for (const std::string* part : {&head, &keep})
        if (!part->empty())
            tail += "  " + *part;
    const std::string whole = bar(barWidth) + number + tail;
    if (columns == 0 || DisplayColumns(whole) <= columns)
        return whole;
    // The bar shortened to what is left beside the texts, or gone.
    const std::size_t texts = 4 + DisplayColumns(tail);
    if (texts + 3 + minimumBar <= columns)
        return bar(std::min(barWidth, columns - texts - 3)) + number + tail;
    // Without the bar: head cut so that keep stays whole, then keep cut too.
    const std::string percentText(Trimmed(number));
    const std::size_t keepColumns = keep.empty() ? 0 : 2 + DisplayColumns(keep);
    std::string line = percentText;
    if (!head.empty() && percentText.size() + keepColumns + 2 < columns)
        line += "  " + FitColumns(head, columns - percentText.size() - keepColumns - 2);
    if (!keep.empty())
        line += "  " + keep;
    return FitColumns(line, columns);
}
