// SPDX-License-Identifier: Apache-2.0
#pragma once
// Qt's own texts (the Yes, No and OK buttons, its dialogs) in the user's language, from
// Qt's catalogues (Debian's qt6-translations-l10n), when the program speaks that language.

class QCoreApplication;

// Installs Qt's catalogue for the user's language into the application; false when there is
// none (English, the C locale, or a language Qt was not translated into).
bool LoadQtTranslations(QCoreApplication& application);
