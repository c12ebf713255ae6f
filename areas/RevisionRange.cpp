// SPDX-License-Identifier: Apache-2.0
#include "areas/RevisionRange.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "areas/IdentityBlock.h"

namespace {

// Bytes up to the first NUL, at most width of them.
std::string Text(const uint8_t* bytes, std::size_t width) {
    const void* nul = std::memchr(bytes, 0, width);
    const std::size_t length = nul ? std::size_t(static_cast<const uint8_t*>(nul) - bytes) : width;
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace

RevisionRange RevisionRangeOf(const uint8_t* field) {
    RevisionRange range;
    const std::size_t width = Layout::TextFieldSize;
    // As "%4.4s" gives them: cut after four characters, blanks before a shorter text. The
    // upper bound starts at the sixth stored byte, whatever comes before it.
    auto four = [](std::string text) {
        text.resize(std::min<std::size_t>(text.size(), 4));
        return std::string(4 - text.size(), ' ') + text;
    };
    range.Low = four(Text(field, width));
    range.High = four(Text(field + 5, width - 5));
    range.Any = field[0] == '-' && field[5] == '-';
    return range;
}

int CompareRevisionBytes(const std::string& a, const std::string& b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool RevisionInRange(const RevisionRange& range, const std::string& revision) {
    return range.Any ||
           (CompareRevisionBytes(revision, range.Low) >= 0 && CompareRevisionBytes(revision, range.High) <= 0);
}

bool AnyRevisionFits(const RevisionRange& range) { return RevisionInRange(range, range.Low); }

std::string RevisionRangeWarning(const std::string& text) {
    // The field as the builder stores it: at most 24 characters, NUL-padded.
    std::vector<uint8_t> field(Layout::TextFieldSize, 0);
    std::memcpy(field.data(), text.data(), std::min({text.size(), field.size() - 1, text.find('\0')}));
    const RevisionRange range = RevisionRangeOf(field.data());
    if (range.Any)
        return {};
    if (!AnyRevisionFits(range))
        return "FW-Range \"" + text + "\" takes revisions from \"" + range.Low + "\" to \"" + range.High +
               "\": no revision can fall in that range, so the utility will flash no drive";
    if (text.size() != 9 || text[4] != '-')
        return "FW-Range \"" + text + "\" is not of the form LLLL-HHHH; the utility takes revisions from \"" +
               range.Low + "\" to \"" + range.High + "\"";
    return {};
}
