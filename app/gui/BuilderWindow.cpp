// SPDX-License-Identifier: Apache-2.0
#include "app/gui/BuilderWindow.h"

#include "app/process/ProcessPlumbing.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>

#include "image/Builder.h"
#include "image/ModelConfig.h"
#include "image/ModelFileLookup.h"
#include "ui/Translate.h"

BuilderWindow::BuilderWindow(FlashFormSettings settings) : FormWindow(std::move(settings)) {
    connect(FileListBox1, &QListWidget::itemClicked, this, [this] { FileChosen(); });
    connect(FileListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!RefreshingFileList_ && !FileListBox1->selectedItems().isEmpty())
            FileChosen();
    });
    StartUp();
}

BuilderWindow::~BuilderWindow() = default;

void BuilderWindow::StartUp() {
    // File names are the system's bytes; Qt holds them decoded.
    Directory_ = QFile::decodeName(QFile::encodeName(QDir::currentPath()));
    ReadFileList();
    Models_ = std::make_unique<ModelLists>();
    if (Settings_.ExecutablePath.empty())
        Settings_.ExecutablePath = RunningExecutablePath();
    const ModelFileLocation modelFile =
        LocateModelFile(Settings_.ExecutablePath, Settings_.ModelFile, ConfigEnvironment::FromProcess());
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
    FlashButton->setEnabled(false);
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
    request.OutputDirectory = QFile::encodeName(Directory_).toStdString();
    request.ExecutablePath = Settings_.ExecutablePath;
    request.ProgramName = Settings_.ProgramName;
    std::copy_n(Settings_.Block.KeyWord(), Layout::KeyWordSize, request.KeyWord.begin());
    Ui_->SetBusyCursor(true);
    const std::unique_ptr<TemporaryOutputGuard> removeOnSignal =
        Settings_.Process ? Settings_.Process->NewOutputGuard() : nullptr;
    request.Guard = removeOnSignal.get();
    RunOffWindowThread([&] { NewBuildFlashProgram(request, *Ui_); });
    Ui_->SetBusyCursor(false);
}
