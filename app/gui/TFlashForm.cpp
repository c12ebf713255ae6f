#include "app/gui/TFlashForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QThread>

#include <cstdio>

#include "flash/FlashEngine.h"
#include "flash/StartUp.h"
#include "image/Builder.h"
#include "image/ModelConfig.h"
#include "scsi/CDDrives.h"
#include "app/gui/FormLayout.h"

const char* const UtilityTitle = FlashStartUp::UtilityTitle;

namespace {

// Rows of one fixed height, as the list controls are designed with.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    FixedRowDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), Height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(Height_);
        return size;
    }

private:
    int Height_;
};

// The controls' face: Times New Roman where it exists, else its metric twin, else any serif.
QFont ControlFont(int pixelHeight, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("DejaVu Serif")});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

// The window's own font: the system face, 16 pixels, bold.
QFont WindowFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(FormLayout::WindowFontHeight);
    font.setBold(true);
    return font;
}

bool IsInputEvent(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

}  // namespace

TFlashForm::TFlashForm(FlashFormSettings settings) : Settings_(std::move(settings)) {
    setObjectName(QStringLiteral("FlashForm"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);  // the button-face colour
    setFont(WindowFont());
    move(FormLayout::Left, FormLayout::Top);
    resize(Settings_.ClientWidth, FormLayout::ClientHeight);
    CreateControls();
    Ui_ = std::make_unique<WindowUserInterface>(this, GroupBox2, ProgressBar, ComboBox);
    Ui_->SetAnswerHook(Settings_.Answer);
    FormCreate();
}

TFlashForm::~TFlashForm() {
    FormDestroy();
}

void TFlashForm::CreateControls() {
    using namespace FormLayout;

    SelectDriveLabel = new QLabel(this);
    SelectDriveLabel->setObjectName(QStringLiteral("SelectDriveLabel"));
    SelectDriveLabel->setGeometry(FormLayout::SelectDriveLabel);
    SelectDriveLabel->setFont(ControlFont(LabelFontHeight, false));
    SelectDriveLabel->setWordWrap(false);  // fixed box: a long text is clipped

    FileListBox1 = new QListWidget(this);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setGeometry(FormLayout::FileListBox1);
    FileListBox1->setFont(ControlFont(FileListFontHeight, true));
    FileListBox1->setItemDelegate(new FixedRowDelegate(FileListItemHeight, FileListBox1));
    FileListBox1->setUniformItemSizes(true);
    FileListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    FileListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(FileListBox1, &QListWidget::itemClicked, this, [this] { FileListBox1Click(); });
    connect(FileListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!RefreshingFileList_ && !FileListBox1->selectedItems().isEmpty())
            FileListBox1Click();
    });

    ComboBox = new QComboBox(this);
    ComboBox->setObjectName(QStringLiteral("ComboBox"));
    ComboBox->setGeometry(FormLayout::ComboBox);
    ComboBox->setFont(ControlFont(ComboBoxFontHeight, true));
    ComboBox->setEditable(false);  // selection only
    ComboBox->setItemDelegate(new FixedRowDelegate(ComboBoxItemHeight, ComboBox));
    // Only a choice of the person raises the change handler, not changes made in code.
    connect(ComboBox, &QComboBox::activated, this, [this](int) { ComboBoxChange(); });

    GroupBox2 = new QGroupBox(this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(FormLayout::GroupBox2);
    GroupBox2->setFont(ControlFont(GroupBoxFontHeight, false));

    ProgressBar = new QProgressBar(this);  // a sibling of GroupBox2 that lies over its frame
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(FormLayout::ProgressBar);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);  // a smooth bar with no text

    FlashButton = new QPushButton(QStringLiteral("FLASH"), this);
    FlashButton->setObjectName(QStringLiteral("FlashButton"));
    FlashButton->setGeometry(FormLayout::FlashButton);
    FlashButton->setFont(ControlFont(ButtonFontHeight, true));
    FlashButton->setAutoDefault(false);
    connect(FlashButton, &QPushButton::clicked, this, [this] { FlashButtonClick(); });

    // Tab order: ComboBox, GroupBox2, FlashButton, ProgressBar, FileListBox1. The frame
    // and the bar take no focus, so the keyboard goes ComboBox, FlashButton, FileListBox1.
    GroupBox2->setFocusPolicy(Qt::NoFocus);
    ProgressBar->setFocusPolicy(Qt::NoFocus);
    SelectDriveLabel->setFocusPolicy(Qt::NoFocus);
    setTabOrder(ComboBox, FlashButton);
    setTabOrder(FlashButton, FileListBox1);
}

void TFlashForm::StretchControls() {
    // An integer factor: the stretch only acts when the client area is at least twice
    // as wide as ComboBox.
    const int k = width() / ComboBox->width();
    ComboBox->resize(ComboBox->width() * k, ComboBox->height());
    GroupBox2->resize(GroupBox2->width() * k, GroupBox2->height());
    ProgressBar->resize(ProgressBar->width() * k, ProgressBar->height());
    FlashButton->setGeometry(FlashButton->x() * k, FlashButton->y(), FlashButton->width() * k,
                             FlashButton->height());
}

void TFlashForm::ShiftForFlashMode() {
    const int shift = FileListBox1->height();
    for (QWidget* control : {static_cast<QWidget*>(GroupBox2), static_cast<QWidget*>(ProgressBar),
                             static_cast<QWidget*>(FlashButton)})
        control->move(control->x(), control->y() - shift);
}

void TFlashForm::FormCreate() {
    Engine = std::make_unique<FlashEngine>(*Ui_, Settings_.Block);
    Engine->ProfileImage = false;
    Engine->DvdImage = false;
    Engine->ProfileMatched = false;
    Engine->FlashAll = false;
    StretchControls();
    setWindowTitle(FromCoreText(UtilityTitle));
    BuilderMode = Settings_.Block.IsBlankCopy();
    if (BuilderMode)
        BuilderModeStartUp();
    else
        FlashModeStartUp();
}

void TFlashForm::EndProgram() {
    // The window is still being created: it is never shown, and the program ends with 0.
    StartUpEnded_ = true;
    close();
}

void TFlashForm::FlashModeStartUp() {
    ShiftForFlashMode();
    StartUp = std::make_unique<FlashStartUp>(Settings_.Block);
    StartUp->FormIdentityTexts();
    SelectDriveLabel->setText(FromCoreText(StartUp->PromptText()));
    if (!StartUp->AskWarning(*Ui_)) {
        EndProgram();
        return;
    }
    FileListBox1->hide();
    setWindowTitle(FromCoreText(StartUp->CaptionText()));
    // Detection may itself show messages (a drive that cannot be opened).
    CDDrive::SetUserInterface(Ui_.get());
    const FlashStartUp::Detection detection = StartUp->Detect(*Ui_);
    // The list holds 24 drives; the window has no place for the rest, the error stream does.
    if (StartUp->Drives && StartUp->Drives->LeftOut() > 0)
        std::fprintf(stderr, "flashutil: %s\n", StartUp->Drives->LeftOutText().c_str());
    if (detection != FlashStartUp::Detection::Ready) {
        EndProgram();
        return;
    }
    for (const std::string& entry : StartUp->Entries())
        ComboBox->addItem(FromCoreText(entry));
    ComboBox->setCurrentIndex(0);
    StartUp->FinishSelection(*Engine);
    ComboBoxChange();
}

void TFlashForm::BuilderModeStartUp() {
    // File names are the system's bytes; Qt holds them decoded.
    StartDirectory = QFile::encodeName(QDir::currentPath()).toStdString();
    FileListDirectory_ = QFile::decodeName(StartDirectory.c_str());
    ReadFileList();
    Models = std::make_unique<ModelLists>();
    if (Settings_.ExecutablePath.empty())
        Settings_.ExecutablePath = RunningExecutablePath();
    if (!RetriveINI(Settings_.ExecutablePath, *Ui_, *Models)) {
        EndProgram();
        return;
    }
    for (const std::string& line : Models->ModelLines)
        ComboBox->addItem(FromCoreText(line));
    ComboBox->setCurrentIndex(0);
    ComboBoxChange();
    FileListBox1->setVisible(true);
    SelectDriveLabel->setText(QStringLiteral("Select Model: "));
    FlashButton->setText(QStringLiteral("Build"));
    FlashButton->setEnabled(false);
}

void TFlashForm::ComboBoxChange() {
    const int i = ComboBox->currentIndex();
    if (!BuilderMode) {
        if (StartUp)
            StartUp->ComboBoxChange(i, *Engine);
        return;
    }
    if (!Models || i < 0 || std::size_t(i) >= Models->ModelLines.size())
        return;
    FileListMask_ = FromCoreText(Models->BinMaskList[std::size_t(i)]);
    ReadFileList();
    setWindowTitle(FromCoreText(UtilityTitle) + FromCoreText(Models->FwRangeList[std::size_t(i)]) +
                   QStringLiteral(" [Buiding]"));
    FlashButton->setEnabled(false);
}

void TFlashForm::ReadFileList() {
    // Plain files of the directory that match the mask ('*' and '?', several masks
    // separated by ';'), letter case ignored as on the system the masks come from.
    RefreshingFileList_ = true;
    FileListBox1->clear();
    QStringList masks;
    for (const QString& mask : FileListMask_.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        masks << (mask.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : mask.trimmed());
    if (masks.isEmpty())
        masks << QStringLiteral("*");
    const QDir directory(FileListDirectory_);
    const QStringList names =
        directory.entryList(masks, QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    FileListBox1->addItems(names);
    RefreshingFileList_ = false;
}

QString TFlashForm::SelectedFilePath() const {
    const QList<QListWidgetItem*> selected = FileListBox1->selectedItems();
    if (selected.isEmpty())
        return {};
    return QDir(FileListDirectory_).filePath(selected.first()->text());
}

void TFlashForm::FileListBox1Click() {
    const QString path = SelectedFilePath();
    if (path.isEmpty())
        return;
    SelectedBinName = QFile::encodeName(QFileInfo(path).fileName()).toStdString();
    FlashButton->setEnabled(true);
}

void TFlashForm::FlashButtonClick() {
    if (Running_)
        return;
    if (BuilderMode) {
        const int i = ComboBox->currentIndex();
        if (!Models || i < 0 || std::size_t(i) >= Models->ModelLines.size())
            return;
        BuildRequest request;
        request.ImagePath = QFile::encodeName(SelectedFilePath()).toStdString();
        request.SelectedBinName = SelectedBinName;
        request.Model = ModelAt(*Models, std::size_t(i));
        request.OutputDirectory = QFile::encodeName(FileListDirectory_).toStdString();
        request.ExecutablePath = Settings_.ExecutablePath;
        request.ProgramName = Settings_.ProgramName;
        std::copy_n(Settings_.Block.KeyWord(), Layout::KeyWordSize, request.KeyWord.begin());
        Ui_->SetBusyCursor(true);
        RunOffWindowThread([&] { NewBuildFlashProgram(request, *Ui_); });
        Ui_->SetBusyCursor(false);
        return;
    }
    if (!Engine || !Engine->TargetDrive)
        return;
    const int selected = ComboBox->currentIndex();
    CDDrive& drive = *Engine->TargetDrive;
    std::string why;
    std::unique_ptr<RunClaim> claim;
    if (Settings_.ClaimDrive && !(claim = Settings_.ClaimDrive(drive, why))) {
        Ui_->Show(why, MessageKind::Error);
        return;
    }
    RunOffWindowThread([&] { Engine->FlashButtonClick(selected); });
}

void TFlashForm::RunOffWindowThread(const std::function<void()>& job) {
    Running_ = true;
    qApp->installEventFilter(this);
    QEventLoop loop;
    QThread* worker = QThread::create(job);
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    // Serve the window's events (repaints, the desktop's pings, the run's own message
    // boxes) until the run ends. Input to this window is swallowed by eventFilter.
    loop.exec();
    worker->wait();
    delete worker;
    qApp->removeEventFilter(this);
    Running_ = false;
}

bool TFlashForm::eventFilter(QObject* watched, QEvent* event) {
    if (Running_ && IsInputEvent(event->type()) && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == this || isAncestorOf(widget))
            return true;  // the window takes no input while a run is in progress
    }
    return QWidget::eventFilter(watched, event);
}

void TFlashForm::closeEvent(QCloseEvent* event) {
    if (Running_) {
        // Closing in the middle of a run could leave the drive with half a firmware.
        event->ignore();
        return;
    }
    event->accept();
}

void TFlashForm::FormDestroy() {
    if (Destroyed_)
        return;
    Destroyed_ = true;
    // The configuration lists, then the drives (last to first) and IoBuffer, then the
    // engine's StepBuffer and ProfileCopy.
    Models.reset();
    StartUp.reset();
    Engine.reset();
    if (CDDrive::Ui() == Ui_.get())
        CDDrive::SetUserInterface(nullptr);
}

CDDrive* TFlashForm::TargetDrive() const { return Engine ? Engine->TargetDrive : nullptr; }
CDDrives* TFlashForm::Drives() const { return StartUp ? StartUp->Drives.get() : nullptr; }
int TFlashForm::DriveIndex(int entry) const {
    return StartUp && entry >= 0 && entry < int(StartUp->DriveIndex.size()) ? StartUp->DriveIndex[std::size_t(entry)] : -1;
}
