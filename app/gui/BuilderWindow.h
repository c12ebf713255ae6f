// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window of a blank copy: it lists the models of the configuration file and the image
// files of the chosen model in the current directory, and builds a flash utility from the
// chosen file when the button is pressed.

#include <QString>

#include <memory>
#include <string>

#include "app/gui/FormWindow.h"

struct ModelLists;

class BuilderWindow : public FormWindow {
    Q_OBJECT
public:
    explicit BuilderWindow(FlashFormSettings settings);
    ~BuilderWindow() override;

    // Builds from the chosen file for the chosen model.
    void Press() override;
    // Chooses the first file of the list, as a click on it does; nothing when it is empty.
    void ChooseFirstFile();

private:
    void ChoiceChanged() override;
    void FileChosen();
    void StartUp();
    void ReadFileList();
    QString SelectedFilePath() const;

    std::unique_ptr<ModelLists> Models_;  // the six configuration lists
    std::string ModelFilePath_;           // where they were read; a build never replaces it
    QString Directory_;                   // the directory the file list shows, outputs go to
    QString Mask_ = QStringLiteral("*.*");
    std::string SelectedBinName_;         // the name of the chosen file, in the system's bytes
    bool RefreshingFileList_ = false;
};
