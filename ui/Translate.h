// SPDX-License-Identifier: Apache-2.0
#pragma once
// Texts a person reads, in the user's language, through GNU gettext (domain "flashutil").
// The English text is the message's id: without a catalogue for the language, or under the
// C and POSIX locales, a text is the English one byte for byte. What programs read (JSON,
// the trace, the history, numbers) is never passed through here.

#include <libintl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

constexpr const char* TextDomain = "flashutil";

namespace TranslateDetail {
// The conversions of a printf format as (argument number, what it says of its argument:
// flags, width, precision, length and conversion) in argument order; false for one this
// program never writes (%n, a '*' width or precision, an unknown conversion), which a
// damaged or planted catalogue could use to read or write beyond the arguments.
inline bool Conversions(const char* format, std::vector<std::pair<int, std::string>>& out) {
    int next = 1;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%')
            continue;
        if (*++p == '%')
            continue;
        int number = 0;
        const char* digits = p;
        while (*p >= '0' && *p <= '9' && number < 1000)
            number = number * 10 + (*p++ - '0');
        if (*p == '$' && p != digits && number > 0)
            ++p;
        else {
            p = digits;
            number = next++;
        }
        const char* conversion = p;
        while (*p != '\0' && std::strchr("-+ #0123456789.hlLqjzt", *p) != nullptr)
            ++p;
        if (*p == '\0' || std::strchr("sud", *p) == nullptr)
            return false;
        out.emplace_back(number, std::string(conversion, p + 1));
    }
    std::sort(out.begin(), out.end());
    return true;
}
}  // namespace TranslateDetail

// Whether a translation takes the same arguments as its English format, in any order, and
// writes each of them alike: the same flags, width, precision, length and conversion. A
// width of its own could make one placeholder print megabytes, a precision of its own could
// hide a value (%.0s), a length of its own could read another type (%ls).
inline bool SameConversions(const char* english, const char* translated) {
    std::vector<std::pair<int, std::string>> want, got;
    return TranslateDetail::Conversions(english, want) && TranslateDetail::Conversions(translated, got) &&
           want == got;
}

// The text in the user's language; the empty text stays empty (gettext would give the
// catalogue's header for it), and a translation whose placeholders differ from the
// English ones in any way (also where the English has none) is not used.
inline const char* Translate(const char* english) {
    if (english[0] == '\0')
        return english;
    const char* translated = dgettext(TextDomain, english);
    if (translated == english)
        return translated;
    return SameConversions(english, translated) ? translated : english;
}

// _() translates where the text is used; N_() only marks a text that is translated later,
// where it is shown, so that xgettext finds it.
#ifndef _
#define _(english) Translate(english)
#endif
#ifndef N_
#define N_(english) english
#endif

// A translated text with its blanks filled in: the translation may reorder them (%1$s, %2$s).
// Only %s and %u placeholders are used, so numbers are written alike in every locale.
template <typename... Args>
std::string FormatText(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<std::size_t>(length));
    return text;
}
