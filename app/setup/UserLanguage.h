// SPDX-License-Identifier: Apache-2.0
#pragma once
// The language the program speaks: the user's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), from
// the catalogues in locale/ beside the program when there are any (a build tree, or a copy
// built beside it), else from the installed ones; English where there are none.

#include <string>

// Only the message and character-set categories follow the user: numbers and the rest stay
// the C locale's, so what the program writes for programs is the same in every language.
void SpeakUserLanguage();
// Back to the English texts, for output that programs read (--json).
void SpeakEnglish();
// Whether texts are in a language other than the built-in English (not the C or POSIX locale).
bool SpeaksUserLanguage();
// Where the catalogues are looked for, given the folder holding the program.
std::string CatalogueFolder(const std::string& programFolder);
