// SPDX-License-Identifier: Apache-2.0
#include "model/IniFile.h"

namespace {

constexpr std::string_view Blanks = " \t\f\v";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(Blanks);
    return text.substr(first, last - first + 1);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    Section* current = nullptr;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
            text.remove_prefix(end + (crlf ? 2 : 1));
        }

        line = Trim(line);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close == std::string_view::npos)
                continue;
            ini.Sections_.push_back({std::string(Trim(line.substr(1, close - 1))), lineNumber, {}});
            current = &ini.Sections_.back();
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || current == nullptr)
            continue;
        const std::string_view key = Trim(line.substr(0, equals));
        if (key.empty())
            continue;
        current->Keys.push_back({std::string(key), std::string(Unquote(Trim(line.substr(equals + 1)))), lineNumber});
    }
    return ini;
}

const IniFile::Section* IniFile::Find(std::string_view section) const {
    for (const Section& s : Sections_)
        if (SameName(s.Name, section))
            return &s;  // only the first section of a name counts
    return nullptr;
}

const IniFile::Key* IniFile::Find(std::string_view section, std::string_view key) const {
    if (const Section* s = Find(section))
        for (const Key& k : s->Keys)
            if (SameName(k.Name, key))
                return &k;
    return nullptr;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
    if (const Key* k = Find(section, key))
        return k->Value;
    return std::nullopt;
}

std::string IniFile::Value(std::string_view section, std::string_view key, const std::string& fallback) const {
    return Value(section, key).value_or(fallback);
}

int IniFile::SectionLine(std::string_view section) const {
    const Section* s = Find(section);
    return s ? s->Line : 0;
}

int IniFile::KeyLine(std::string_view section, std::string_view key) const {
    const Key* k = Find(section, key);
    return k ? k->Line : 0;
}
