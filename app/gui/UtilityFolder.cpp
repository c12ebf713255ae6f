// SPDX-License-Identifier: Apache-2.0
#include "app/gui/UtilityFolder.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

#include "app/gui/WindowUserInterface.h"
#include "platform/PrintableText.h"
#include "trust/SignaturePolicy.h"
#include "trust/TrustedKeys.h"
#include "ui/Translate.h"

bool LoadUtilityFolder(const std::string& folder, bool verbose, std::shared_ptr<const Catalogue>& catalogue,
                       UtilityCopy& subject, std::string& why) {
    auto scanned = std::make_shared<Catalogue>();
    if (!ScanCatalogue(folder, InstalledTrustedKeys(), ReadSignaturePolicy(SignaturePolicyPath()), *scanned, why))
        return false;
    if (scanned->Truncated)
        std::fprintf(stderr, "flashutil: %s\n", PrintableText(CatalogueTruncatedText(*scanned)).c_str());
    if (verbose)
        for (const CatalogueSkip& skip : scanned->Skipped)
            std::fprintf(stderr, "flashutil: %s\n",
                         PrintableText(scanned->Folder + "/" + skip.Name + ": skipped: " + skip.Reason).c_str());
    // As in the terminal: a folder without a utility still looks at the drives, so that the
    // report says none is for them.
    subject = scanned->Utilities.empty() ? RunningCopy() : scanned->Utilities.front().Copy;
    catalogue = std::move(scanned);
    return true;
}

ChosenUtility OpenDesktopSubject(const std::optional<std::string>& given, const PathChooser& chooser, bool verbose,
                                 UtilityCopy& subject, std::shared_ptr<const Catalogue>& catalogue) {
    std::string path = given.value_or("");
    if (!given) {
        path = chooser(_("Choose a flash utility"), QFile::encodeName(QDir::homePath()).toStdString());
        if (path.empty())
            return ChosenUtility::Cancelled;
    }
    if (!IsCatalogueFolder(path))
        return OpenDesktopUtility(path, chooser, subject);
    std::string why;
    if (LoadUtilityFolder(path, verbose, catalogue, subject, why))
        return ChosenUtility::Loaded;
    // Nobody reads the error stream on the desktop: a box says it too.
    std::fprintf(stderr, "flashutil: %s\n", PrintableText(why).c_str());
    WindowUserInterface::MakeMessageBox(
        {PrintableLines(why), MessageKind::Error, MessageButtons::Ok, MessageAnswer::Ok, ApplicationTitle}, nullptr)
        ->exec();
    return ChosenUtility::Unusable;
}

// Desktop file choosers (GTK's, KDE's, the portal's) choose files or folders, never either in
// one dialog, and a folder "opened" in a file chooser is only entered. So the person says
// first which one, as "Open File" and "Open Folder" of other programs do, and gets the
// desktop's own chooser for it: the file, the usual choice, is the default button.
std::string ChooseUtilityOrFolder(const std::string& title, const std::string& start, const PathChooser& chooseFile) {
    QMessageBox ask(QMessageBox::Question, FromCoreText(ApplicationTitle),
                    QString::fromUtf8(_("Update with one flash utility, or with a folder of utilities in which each "
                                        "drive finds the one for it?")),
                    QMessageBox::Cancel);
    QPushButton* file = ask.addButton(QString::fromUtf8(_("&Utility file...")), QMessageBox::AcceptRole);
    QPushButton* folder = ask.addButton(QString::fromUtf8(_("&Folder of utilities...")), QMessageBox::AcceptRole);
    ask.setDefaultButton(file);
    ask.exec();
    if (ask.clickedButton() == file)
        return chooseFile(title, start);
    if (ask.clickedButton() != folder)
        return {};
    return QFile::encodeName(QFileDialog::getExistingDirectory(nullptr, QString::fromUtf8(_("Choose a folder of flash utilities")),
                                                               QFile::decodeName(start.c_str())))
        .toStdString();
}
