// SPDX-License-Identifier: Apache-2.0
#include "app/gui/QtLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/setup/UserLanguage.h"

bool LoadQtTranslations(QCoreApplication& application) {
    // Under the C locale the program's own texts are English: the buttons are too, whatever
    // LANGUAGE says.
    if (!SpeaksUserLanguage())
        return false;
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
