// SPDX-License-Identifier: Apache-2.0
#pragma once
// Texts a person reads, in the user's language, through GNU gettext (domain "flashutil").
// The English text is the message's id: without a catalogue for the language, or under the
// C and POSIX locales, a text is the English one byte for byte. What programs read (JSON,
// the trace, the history, numbers) is never passed through here.

#include <libintl.h>

#include <cstdio>
#include <string>

constexpr const char* TextDomain = "flashutil";

// The text in the user's language; the empty text stays empty (gettext would give the
// catalogue's header for it).
inline const char* Translate(const char* english) {
    return english[0] == '\0' ? english : dgettext(TextDomain, english);
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
