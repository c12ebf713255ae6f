// SPDX-License-Identifier: Apache-2.0
#pragma once
// The language the program speaks: the user's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), from
// the system's catalogues (where the package installs them); English where there are none.
// A catalogue beside a copy is never read: anyone who can put a folder beside a utility
// could otherwise change what its questions and answers mean. Only the program of the build
// tree itself (its real path is compiled in) reads the build tree's, for the checks.

#include <string>

// Only the message and character-set categories follow the user: numbers and the rest stay
// the C locale's, so what the program writes for programs is the same in every language.
void SpeakUserLanguage();
// Back to the English texts, for output that programs read (--json).
void SpeakEnglish();
// Whether texts are in a language other than the built-in English (not the C or POSIX locale).
bool SpeaksUserLanguage();
// Where the catalogues are looked for, given the program's path.
std::string CatalogueFolder(const std::string& program);
