// SPDX-License-Identifier: Apache-2.0
#pragma once
// A small reader for the model configuration file's INI form.
//
// Our own rather than a library: the file is tiny, the rules that matter (case-insensitive
// names, first '=' splits, trimmed values, the first of duplicate sections and keys wins as
// on the platform the file format comes from) are a few lines, and a library would bring
// its own ideas about escapes, inline comments and value lengths that we would then have
// to undo.
//
// The rules, each of which has a test:
// - A UTF-8 byte-order mark at the very start is skipped.
// - Lines end at LF, CR LF or a lone CR. Leading and trailing blanks (space, tab, FF, VT)
//   of every line are ignored.
// - A line whose first non-blank character is ';' or '#' is a comment. There are no
//   comments after a value: "Note=A ; B" has the value "A ; B".
// - "[name]" opens a section; the name is the trimmed text up to the first ']', and
//   anything after that ']' is ignored. A line starting with '[' without ']' is ignored.
// - "key=value": the key is the trimmed text before the first '=', the value the trimmed
//   text after it. One pair of matching quotes (" or ') around the whole value is
//   removed, blanks inside them kept. An empty key, a line with neither '[' nor '=', and
//   keys ahead of the first section are ignored.
// - Section and key names match regardless of ASCII letter case. When a section name
//   occurs more than once, only its first occurrence is looked at; within a section the
//   first occurrence of a key wins.
// - Lines and values have no length limit; nothing is cut.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class IniFile {
public:
    static IniFile Parse(std::string_view text);

    // The value of key in section, or nullopt when either is not there.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    // The same with a default for a missing key.
    std::string Value(std::string_view section, std::string_view key, const std::string& fallback) const;

    // The line (from 1) of the section's opening, or of the key's value that counts; 0 when
    // either is not there. For messages that point at the place to mend.
    int SectionLine(std::string_view section) const;
    int KeyLine(std::string_view section, std::string_view key) const;

private:
    struct Key {
        std::string Name;
        std::string Value;
        int Line = 0;
    };
    struct Section {
        std::string Name;
        int Line = 0;
        std::vector<Key> Keys;
    };
    const Section* Find(std::string_view section) const;
    const Key* Find(std::string_view section, std::string_view key) const;
    std::vector<Section> Sections_;
};
