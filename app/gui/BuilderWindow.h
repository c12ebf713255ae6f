// SPDX-License-Identifier: Apache-2.0
#pragma once
// The window of a blank copy: it lists the models of the configuration file and the image
// files of the chosen model in the current directory (or the folder chosen with the folder
// button below the designed controls), and builds a flash utility from the chosen file when
// the button is pressed. The utility is written to the folder the list shows.

#include <QString>

class QLabel;
class QPushButton;

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
    // Asks for another folder of images (Settings.ChooseFolder, else a folder chooser) and
    // lists it; a cancelled choice changes nothing.
    void ChooseImageFolder();
    // Asks the same way for the folder the utilities are written into, a folder of utilities
    // for one (BuilderOutputFolder.cpp); until one is chosen they go beside their images.
    void ChooseOutputFolder();

private:
    void ChoiceChanged() override;
    void FileChosen();
    void StartUp();
    void ReadFileList();
    void CreateFolderControls();
    void ShowWholeRows();
    void CreateOutputControls();
    void ShowOutputFolder();
    void ShowDirectory(const QString& directory);
    void Remember(const char* key, const std::string& value);
    QString SelectedFilePath() const;

    std::unique_ptr<ModelLists> Models_;  // the six configuration lists
    std::string ModelFilePath_;           // where they were read; a build never replaces it
    QString Directory_;                   // the directory the file list shows, outputs go to
    QString Mask_ = QStringLiteral("*.*");
    std::string SelectedBinName_;         // the name of the chosen file, in the system's bytes
    bool RefreshingFileList_ = false;
    QPushButton* FolderButton_ = nullptr;
    QLabel* FolderLabel_ = nullptr;
    QString OutputDirectory_;  // where the utilities go; empty: the directory the list shows
    QPushButton* OutputButton_ = nullptr;
    QLabel* OutputLabel_ = nullptr;
};
