// SPDX-License-Identifier: Apache-2.0
#include "app/gui/BuilderWindow.h"

#include "app/process/ProcessPlumbing.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

#include "builder/Builder.h"
#include "model/ModelConfig.h"
#include "model/ModelFileLookup.h"
#include "app/gui/FormLayout.h"
#include "app/gui/RememberedChoices.h"
#include "ui/Translate.h"

namespace {

// The height the folder controls add below the designed window.
constexpr int FolderRowHeight = 32;
// The least width the folder's name keeps beside a folder button grown for its text.
constexpr int MinimumFolderLabelWidth = 160;

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

BuilderWindow::BuilderWindow(FlashFormSettings settings) : FormWindow(std::move(settings)) {
    CreateFolderControls();
    CreateOutputControls();
    connect(FileListBox1, &QListWidget::itemClicked, this, [this] { FileChosen(); });
    connect(FileListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!RefreshingFileList_ && !FileListBox1->selectedItems().isEmpty())
            FileChosen();
    });
    StartUp();
}

BuilderWindow::~BuilderWindow() = default;

void BuilderWindow::StartUp() {
    // File names are the system's bytes; Qt holds them decoded. The menu-started builder
    // opens the folder chosen last time, while it is still there, and looks for the model
    // file chosen last time; no other builder reads the choices.
    std::string unread;
    const RememberedChoices remembered = ReadRememberedChoices(Settings_.ChoicesFile, &unread);
    if (!unread.empty())
        std::fprintf(stderr, "flashutil: the choices kept for this builder are not used: %s\n", unread.c_str());
    ShowDirectory(!Settings_.ChoicesFile.empty() && IsDirectory(remembered.ImageFolder)
                      ? QFile::decodeName(remembered.ImageFolder.c_str())
                      : QFile::decodeName(QFile::encodeName(QDir::currentPath())));
    Models_ = std::make_unique<ModelLists>();
    if (Settings_.ExecutablePath.empty())
        Settings_.ExecutablePath = RunningExecutablePath();
    ModelFileLocation modelFile =
        LocateModelFile(Settings_.ExecutablePath, Settings_.ModelFile, ConfigEnvironment::FromProcess(),
                        SystemModelDirectory, remembered.ModelFile);
    if (modelFile.Path.empty() && Settings_.ChooseModelFile) {
        // Started from the menu with no model file anywhere: ask for one rather than end. The
        // chooser opens at the example model file, else in the system's folder, else at home.
        const std::string example = ExampleModelFile(Settings_.ExecutablePath);
        const std::string start = IsFile(example)                    ? example
                                  : IsDirectory(SystemModelDirectory) ? std::string(SystemModelDirectory)
                                                                      : QFile::encodeName(QDir::homePath()).toStdString();
        const std::string chosen = Settings_.ChooseModelFile(_("Choose a model file"), start);
        if (chosen.empty()) {
            EndProgram();  // cancelled: nothing done
            return;
        }
        modelFile = {chosen, {chosen}};
        Remember("model-file", chosen);
        // The images of a model file usually lie beside it: the list goes there, and stays
        // there next time.
        const QString folder = QFileInfo(QFile::decodeName(chosen.c_str())).absolutePath();
        ShowDirectory(folder);
        Remember("image-folder", QFile::encodeName(folder).toStdString());
    }
    if (!RetriveINI(modelFile, ExampleModelFile(Settings_.ExecutablePath), *Ui_, *Models_)) {
        EndProgram();
        return;
    }
    ModelFilePath_ = modelFile.Path;
    for (const std::string& line : Models_->ModelLines)
        ComboBox->addItem(FromCoreText(line));
    ComboBox->setCurrentIndex(0);
    ChoiceChanged();
    FileListBox1->setVisible(true);
    SelectDriveLabel->setText(QString::fromUtf8(_("Select Model: ")));
    ComboBox->setAccessibleName(QString::fromUtf8(_("Models")));
    FlashButton->setText(QString::fromUtf8(_("Build")));
    FlashButton->setAccessibleName(QString::fromUtf8(_("Build the utility")));
    FlashButton->setEnabled(false);
    ShowWholeRows();
    FitTexts();
    ShowOutputFolder();  // at the width the texts left it
}

void BuilderWindow::ShowWholeRows() {
    // Two whole rows of images, in the room between the choice list and the status frame (the
    // designed height shows one and a half), so no file name is cut through.
    const int top = ComboBox->geometry().bottom() + 1, room = GroupBox2->y() - top;
    const int height = 2 * FormLayout::FileListItemHeight + 2 * FileListBox1->frameWidth();
    if (height <= room)
        FileListBox1->setGeometry(FileListBox1->x(), top + (room - height) / 2, FileListBox1->width(), height);
}

void BuilderWindow::CreateFolderControls() {
    // Below the designed controls, so they keep their places; the window grows by one row.
    resize(width(), height() + FolderRowHeight);
    const int top = FlashButton->y() + FlashButton->height() + 12;
    FolderButton_ = new QPushButton(QString::fromUtf8(_("Image &folder...")), this);
    FolderButton_->setObjectName(QStringLiteral("FolderButton"));
    FolderButton_->setGeometry(8, top, 130, 25);
    // As wide as its text needs (the label beside it gives way, as far as it can).
    QStyleOptionButton option;
    option.initFrom(FolderButton_);
    option.text = FolderButton_->text();
    const int room = FolderButton_->style()->subElementRect(QStyle::SE_PushButtonContents, &option, FolderButton_).width();
    const int need = FolderButton_->fontMetrics().size(Qt::TextShowMnemonic, option.text).width();
    FolderButton_->resize(FolderButton_->width() + std::max(0, need - room), FolderButton_->height());
    FolderButton_->setAutoDefault(false);
    FolderButton_->setAccessibleName(QString::fromUtf8(_("Choose the folder of image files")));
    connect(FolderButton_, &QPushButton::clicked, this, [this] { ChooseImageFolder(); });
    FolderLabel_ = new QLabel(this);
    FolderLabel_->setObjectName(QStringLiteral("FolderLabel"));
    const int labelLeft = FolderButton_->geometry().right() + 9;
    if (width() - 8 - labelLeft < MinimumFolderLabelWidth)
        resize(labelLeft + MinimumFolderLabelWidth + 8, height());
    FolderLabel_->setGeometry(labelLeft, top + 3, width() - 8 - labelLeft, 20);
    FolderLabel_->setAccessibleName(QString::fromUtf8(_("Image folder")));
    setTabOrder(FileListBox1, FolderButton_);
}

void BuilderWindow::ShowDirectory(const QString& directory) {
    Directory_ = directory;
    FolderLabel_->setToolTip(Directory_);
    FolderLabel_->setText(FolderLabel_->fontMetrics().elidedText(Directory_, Qt::ElideMiddle, FolderLabel_->width()));
    ReadFileList();
    FlashButton->setEnabled(false);  // the chosen file was in the other folder
}

void BuilderWindow::ChooseImageFolder() {
    if (Running())
        return;
    const std::string start = QFile::encodeName(Directory_).toStdString();
    std::string chosen;
    if (Settings_.ChooseFolder)
        chosen = Settings_.ChooseFolder(_("Choose the folder of image files"), start);
    else
        chosen = QFile::encodeName(QFileDialog::getExistingDirectory(this, QString::fromUtf8(_("Choose the folder of image files")),
                                                                     Directory_)).toStdString();
    if (chosen.empty())
        return;
    ShowDirectory(QFile::decodeName(chosen.c_str()));
    Remember("image-folder", chosen);
}

void BuilderWindow::Remember(const char* key, const std::string& value) {
    if (Settings_.ChoicesFile.empty())
        return;
    std::string why;
    // Not kept only means asking again next time: the error stream, not a box.
    if (!RememberChoice(Settings_.ChoicesFile, key, value, why))
        std::fprintf(stderr, "flashutil: the choice is not kept for next time: %s\n", why.c_str());
}

void BuilderWindow::ChoiceChanged() {
    const int i = ComboBox->currentIndex();
    if (!Models_ || i < 0 || std::size_t(i) >= Models_->ModelLines.size())
        return;
    Mask_ = FromCoreText(Models_->BinMaskList[std::size_t(i)]);
    ReadFileList();
    setWindowTitle(FromCoreText(UtilityTitle) + FromCoreText(Models_->FwRangeList[std::size_t(i)]) +
                   QString::fromUtf8(_(" [Buiding]")));
    FlashButton->setEnabled(false);
}

void BuilderWindow::ReadFileList() {
    // Plain files of the directory that match the mask ('*' and '?', several masks
    // separated by ';'), letter case ignored as on the system the masks come from.
    RefreshingFileList_ = true;
    FileListBox1->clear();
    QStringList masks;
    for (const QString& mask : Mask_.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        masks << (mask.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : mask.trimmed());
    if (masks.isEmpty())
        masks << QStringLiteral("*");
    const QDir directory(Directory_);
    const QStringList names =
        directory.entryList(masks, QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    FileListBox1->addItems(names);
    RefreshingFileList_ = false;
}

QString BuilderWindow::SelectedFilePath() const {
    const QList<QListWidgetItem*> selected = FileListBox1->selectedItems();
    if (selected.isEmpty())
        return {};
    return QDir(Directory_).filePath(selected.first()->text());
}

void BuilderWindow::FileChosen() {
    const QString path = SelectedFilePath();
    if (path.isEmpty())
        return;
    SelectedBinName_ = QFile::encodeName(QFileInfo(path).fileName()).toStdString();
    FlashButton->setEnabled(true);
}

void BuilderWindow::ChooseFirstFile() {
    if (FileListBox1->count() == 0)
        return;
    FileListBox1->setCurrentRow(0);
    FileChosen();
}

void BuilderWindow::Press() {
    const int i = ComboBox->currentIndex();
    if (Running() || !Models_ || i < 0 || std::size_t(i) >= Models_->ModelLines.size())
        return;
    BuildRequest request;
    request.ImagePath = QFile::encodeName(SelectedFilePath()).toStdString();
    request.SelectedBinName = SelectedBinName_;
    request.Model = ModelAt(*Models_, std::size_t(i));
    request.ProfilesPath = ProfilesAt(*Models_, std::size_t(i));
    request.ModelFilePath = ModelFilePath_;
    request.OutputDirectory = QFile::encodeName(OutputDirectory_.isEmpty() ? Directory_ : OutputDirectory_).toStdString();
    request.ExecutablePath = Settings_.ExecutablePath;
    request.ProgramName = Settings_.ProgramName;
    std::copy_n(Settings_.Utility.View().KeyWord(), Layout::KeyWordSize, request.KeyWord.begin());
    Ui_->SetBusyCursor(true);
    const std::unique_ptr<TemporaryOutputGuard> removeOnSignal =
        Settings_.Process ? Settings_.Process->NewOutputGuard() : nullptr;
    request.Guard = removeOnSignal.get();
    RunOffWindowThread([&] {
        const BuildResult result = BuildFlashProgram(request, *Ui_);
        if (!result.Built)
            Ui_->Show(result.Message);
    });
    Ui_->SetBusyCursor(false);
}
