// SPDX-License-Identifier: Apache-2.0
// The window in the user's language: Qt's own Yes and No buttons from Qt's catalogue, the
// program's box titles and status captions from its own, while what the run reads back
// (and the history records) stays English; under the C locale everything stays English.

#include <libintl.h>

#include <QGroupBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QComboBox>
#include <QPushButton>

#include <clocale>
#include <cstdlib>
#include <string>

#include "FormFixture.h"
#include "app/setup/UserLanguage.h"
#include "app/gui/QtLanguage.h"
#include "ui/Translate.h"

namespace {

// Chooses the language before Qt reads the environment, as a user's session does.
void Speak(const char* language, const char* locale) {
    setenv("LANGUAGE", language, 1);
    setenv("LC_ALL", locale, 1);
    bindtextdomain(TextDomain, CatalogueFolder(FLASHUTIL_BINARY).c_str());
    TestApplication();  // sets the locale from the environment
}

QString ButtonText(QMessageBox& box, QMessageBox::StandardButton which) {
    QAbstractButton* button = box.button(which);
    return button ? button->text() : QString();
}

MessageRequest Question() {
    return {"text", MessageKind::Confirmation, MessageButtons::YesNo, MessageAnswer::No, "", Question::Restart};
}

TEST(WindowLanguageTest, GermanButtonsTitlesAndStatus) {
    Speak("de", "de_DE.UTF-8");
    if (!SpeaksUserLanguage())
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this system (scripts/install-deps.sh makes one)";
    ASSERT_TRUE(LoadQtTranslations(*qApp)) << "Qt's German catalogue (qt6-translations-l10n) is missing";

    auto box = WindowUserInterface::MakeMessageBox(Question(), nullptr);
    EXPECT_EQ(ButtonText(*box, QMessageBox::Yes), QStringLiteral("&Ja"));
    EXPECT_EQ(ButtonText(*box, QMessageBox::No), QStringLiteral("&Nein"));
    EXPECT_EQ(box->windowTitle(), QString::fromUtf8("Bestätigen"));

    QWidget window;
    auto* status = new QGroupBox(&window);
    WindowUserInterface ui(&window, status, new QProgressBar(&window), new QComboBox(&window));
    ui.SetStatus("Write BIN to drive's DRAM... ");
    ui.SetStatus(ui.Status() + ", Fail! ");
    EXPECT_EQ(status->title(), QString::fromUtf8("BIN in den DRAM des Laufwerks schreiben... , Fehler! "));
    EXPECT_EQ(ui.Status(), "Write BIN to drive's DRAM... , Fail! ");
    // A caption the program does not know (a build's) is shown as it is.
    ui.SetStatus("Build R120.EXE complete! ");
    EXPECT_EQ(status->title(), QStringLiteral("Build R120.EXE complete! "));
}

TEST(WindowLanguageTest, CLocaleStaysEnglishWhateverLanguageSays) {
    Speak("de", "C");
    EXPECT_FALSE(SpeaksUserLanguage());
    EXPECT_FALSE(LoadQtTranslations(*qApp));
    auto box = WindowUserInterface::MakeMessageBox(Question(), nullptr);
    EXPECT_EQ(ButtonText(*box, QMessageBox::Yes), QStringLiteral("&Yes"));
    EXPECT_EQ(ButtonText(*box, QMessageBox::No), QStringLiteral("&No"));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Confirm"));
    EXPECT_STREQ(_("Flash Completed."), "Flash Completed.");
}

}  // namespace
