// SPDX-License-Identifier: Apache-2.0
#include "app/gui/FormWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QStyledItemDelegate>
#include <QThread>

#include <algorithm>

#include "flash/FlashTexts.h"
#include "app/gui/FormLayout.h"
#include "app/gui/WindowAccessibility.h"
#include "ui/Translate.h"

const char* const UtilityTitle = FlashTexts::UtilityTitle;

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

// How many pixels a button's text lacks of the room its style gives it; 0 or less: none.
int ButtonShortfall(const QPushButton& button) {
    if (button.text().isEmpty())
        return 0;
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.features = button.isDefault() ? QStyleOptionButton::DefaultButton : QStyleOptionButton::None;
    const QRect room = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    return button.fontMetrics().size(Qt::TextShowMnemonic, button.text()).width() - room.width();
}

// The same for a frame's caption, which keeps as much room to the frame's right side as to its left.
int CaptionShortfall(const QGroupBox& frame) {
    if (frame.title().isEmpty())
        return 0;
    QStyleOptionGroupBox option;
    option.initFrom(&frame);
    option.text = frame.title();
    option.lineWidth = 1;
    option.textAlignment = frame.alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect label = frame.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &frame);
    return label.width() - (frame.width() - 2 * label.left());
}

// Widens control by dx: the window's other controls that lie to its right on its row move
// along, and those that hold it (the status frame holds the button) widen with it.
void Widen(QWidget& control, int dx) {
    if (dx <= 0)
        return;
    const QRect old = control.geometry();
    control.resize(old.width() + dx, old.height());
    for (QWidget* other : control.parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect place = other->geometry();
        if (other == &control || other->isWindow())
            continue;
        if (place.left() > old.right() && place.top() <= old.bottom() && place.bottom() >= old.top())
            other->move(place.x() + dx, place.y());
        else if (place.contains(old))
            other->resize(place.width() + dx, place.height());
    }
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

FormWindow::FormWindow(FlashFormSettings settings) : Settings_(std::move(settings)) {
    InstallWindowAccessibility();  // before any control exists
    setObjectName(QStringLiteral("FlashForm"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);  // the button-face colour
    setFont(WindowFont());
    move(FormLayout::Left, FormLayout::Top);
    resize(Settings_.ClientWidth, FormLayout::ClientHeight);
    CreateControls();
    Ui_ = std::make_unique<WindowUserInterface>(this, GroupBox2, ProgressBar, ComboBox);
    Ui_->SetAnswerHook(Settings_.Answer);
    // A caption too wide for the frame widens it before it is drawn.
    connect(Ui_.get(), &WindowUserInterface::StatusShown, this, &FormWindow::FitTexts);
    StretchControls();
    setWindowTitle(FromCoreText(UtilityTitle));
}

FormWindow::~FormWindow() = default;

void FormWindow::CreateControls() {
    using namespace FormLayout;

    SelectDriveLabel = new QLabel(this);
    SelectDriveLabel->setObjectName(QStringLiteral("SelectDriveLabel"));
    SelectDriveLabel->setGeometry(FormLayout::SelectDriveLabel);
    SelectDriveLabel->setFont(ControlFont(LabelFontHeight, false));
    SelectDriveLabel->setWordWrap(false);  // one line, wrapped only where it is too long (FitTexts)

    FileListBox1 = new QListWidget(this);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setGeometry(FormLayout::FileListBox1);
    FileListBox1->setFont(ControlFont(FileListFontHeight, true));
    FileListBox1->setItemDelegate(new FixedRowDelegate(FileListItemHeight, FileListBox1));
    FileListBox1->setUniformItemSizes(true);
    FileListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    FileListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    ComboBox = new QComboBox(this);
    ComboBox->setObjectName(QStringLiteral("ComboBox"));
    ComboBox->setGeometry(FormLayout::ComboBox);
    ComboBox->setFont(ControlFont(ComboBoxFontHeight, true));
    ComboBox->setEditable(false);  // selection only
    ComboBox->setItemDelegate(new FixedRowDelegate(ComboBoxItemHeight, ComboBox));
    // Only a choice of the person raises the change handler, not changes made in code.
    connect(ComboBox, &QComboBox::activated, this, [this](int) { ChoiceChanged(); });

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
    connect(FlashButton, &QPushButton::clicked, this, [this] { Press(); });

    // What a screen reader calls each control: without a name it reads a list or a bar as
    // nothing, or as its current value. The choice list holds drives here; the builder
    // names it again for its models.
    ComboBox->setAccessibleName(QString::fromUtf8(_("Drives")));
    FileListBox1->setAccessibleName(QString::fromUtf8(_("Image files")));
    ProgressBar->setAccessibleName(QString::fromUtf8(_("Progress")));
    GroupBox2->setAccessibleName(QString::fromUtf8(_("Status")));
    // The button's text is fixed and carries no mnemonic: its name says what it does, and the
    // prompt is tied to the list it asks about, so a screen reader reads them together.
    FlashButton->setAccessibleName(QString::fromUtf8(_("Flash the drive")));
    SelectDriveLabel->setBuddy(ComboBox);

    // Tab order: ComboBox, GroupBox2, FlashButton, ProgressBar, FileListBox1. The frame
    // and the bar take no focus, so the keyboard goes ComboBox, FlashButton, FileListBox1.
    GroupBox2->setFocusPolicy(Qt::NoFocus);
    ProgressBar->setFocusPolicy(Qt::NoFocus);
    SelectDriveLabel->setFocusPolicy(Qt::NoFocus);
    setTabOrder(ComboBox, FlashButton);
    setTabOrder(FlashButton, FileListBox1);
}

void FormWindow::StretchControls() {
    // An integer factor: the stretch only acts when the client area is at least twice
    // as wide as ComboBox.
    const int k = width() / ComboBox->width();
    ComboBox->resize(ComboBox->width() * k, ComboBox->height());
    GroupBox2->resize(GroupBox2->width() * k, GroupBox2->height());
    ProgressBar->resize(ProgressBar->width() * k, ProgressBar->height());
    FlashButton->setGeometry(FlashButton->x() * k, FlashButton->y(), FlashButton->width() * k,
                             FlashButton->height());
}

void FormWindow::FitTexts() {
    // The prompt: wrapped once its line is too short, as high as its lines need.
    QLabel& prompt = *SelectDriveLabel;
    if (!prompt.wordWrap() && prompt.fontMetrics().horizontalAdvance(prompt.text()) > prompt.contentsRect().width())
        prompt.setWordWrap(true);
    const QRect room = prompt.contentsRect();
    const int lines = prompt.fontMetrics()
                          .boundingRect(QRect(0, 0, room.width(), 100000), int(prompt.alignment()) | Qt::TextWordWrap, prompt.text())
                          .height();
    const int dy = prompt.wordWrap() ? std::max(lines, prompt.heightForWidth(prompt.width())) - room.height() : 0;
    if (dy > 0) {
        const int below = prompt.geometry().bottom();
        prompt.resize(prompt.width(), prompt.height() + dy);
        for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (control != &prompt && !control->isWindow() && control->y() > below)
                control->move(control->x(), control->y() + dy);
        resize(width(), height() + dy);
    }
    for (QPushButton* button : findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
        Widen(*button, ButtonShortfall(*button));
    // A caption wider than the screen (a build's, with a file name of hundreds of characters)
    // widens the window as far as the screen is wide, and is cut there.
    const int screenWidth = screen() ? screen()->availableGeometry().width() : width();
    Widen(*GroupBox2, std::min(CaptionShortfall(*GroupBox2), screenWidth - width()));
    // The window keeps to the right of its controls the margin it has to their left.
    int right = 0;
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!control->isHidden() && !control->isWindow())
            right = std::max(right, control->geometry().right() + 1);
    if (right + FormLayout::SelectDriveLabel.left() > width())
        resize(right + FormLayout::SelectDriveLabel.left(), height());
}

void FormWindow::ShiftBelowFileList() {
    const int shift = FileListBox1->height();
    for (QWidget* control : {static_cast<QWidget*>(GroupBox2), static_cast<QWidget*>(ProgressBar),
                             static_cast<QWidget*>(FlashButton)})
        control->move(control->x(), control->y() - shift);
}

void FormWindow::EndProgram(int exitCode) {
    // The window is still being created: it is never shown, and the program ends with exitCode.
    StartUpEnded_ = true;
    StartUpExitCode_ = exitCode;
    close();
}

void FormWindow::RunOffWindowThread(const std::function<void()>& job) {
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

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
    if (Running_ && IsInputEvent(event->type()) && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == this || isAncestorOf(widget))
            return true;  // the window takes no input while a run is in progress
    }
    return QWidget::eventFilter(watched, event);
}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (Running_) {
        // Closing in the middle of a run could leave the drive with half a firmware.
        event->ignore();
        return;
    }
    event->accept();
}
