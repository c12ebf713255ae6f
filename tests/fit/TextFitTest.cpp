// SPDX-License-Identifier: Apache-2.0
// Every text the window shows, whole: the prompt, the buttons and the status caption of the
// flash window when it is ready, at every step of a run, after a completed and after failed
// runs; the builder's; and every message box on the way. The language and the scale come
// from the environment (FLASHUTIL_FIT_LANGUAGE, QT_SCALE_FACTOR): ctest runs this program
// once for English and each catalogue of po/, at the designed scale and at one and a half.

#include <libintl.h>

#include <QAbstractButton>
#include <QDir>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/FormFixture.h"
#include "app/gui/BuilderWindow.h"
#include "app/setup/UserLanguage.h"
#include "app/gui/QtLanguage.h"
#include "image/TempDirectory.h"
#include "ui/Translate.h"

namespace {

std::string Language() {
    const char* language = std::getenv("FLASHUTIL_FIT_LANGUAGE");
    return language && *language ? language : "en";
}

std::string Describe(const QWidget& control, const QString& text, const QSize& need, const QSize& room) {
    return (control.objectName().isEmpty() ? std::string(control.metaObject()->className())
                                           : control.objectName().toStdString()) +
           " \"" + text.toStdString() + "\" needs " + std::to_string(need.width()) + "x" +
           std::to_string(need.height()) + ", has " + std::to_string(room.width()) + "x" +
           std::to_string(room.height());
}

// A label's text (plain, as every label here is) against its contents rectangle: on one
// line, or wrapped at its width.
void CheckLabel(const QLabel& label, std::vector<std::string>& clipped) {
    const QString text = label.text();
    if (text.isEmpty())
        return;
    const QRect room = label.contentsRect().adjusted(label.margin(), label.margin(), -label.margin(), -label.margin());
    const int flags = int(label.alignment()) | (label.wordWrap() ? int(Qt::TextWordWrap) : 0) |
                      (label.buddy() ? int(Qt::TextShowMnemonic) : 0);
    const QSize need =
        label.fontMetrics().boundingRect(QRect(0, 0, label.wordWrap() ? room.width() : 100000, 100000), flags, text).size();
    // A text cut short on purpose (its whole in the tooltip) is still not the whole text.
    const bool elided = text.contains(QChar(0x2026)) && !label.toolTip().isEmpty() && label.toolTip() != text;
    if (elided || need.width() > room.width() || need.height() > room.height())
        clipped.push_back(Describe(label, text, need, room.size()) + (elided ? " (elided)" : ""));
}

void CheckButton(const QAbstractButton& button, std::vector<std::string>& clipped) {
    if (button.text().isEmpty())
        return;
    QRect room = button.contentsRect();
    if (const auto* push = qobject_cast<const QPushButton*>(&button)) {
        QStyleOptionButton option;
        option.initFrom(push);
        option.text = push->text();
        option.features = push->isDefault() ? QStyleOptionButton::DefaultButton : QStyleOptionButton::None;
        room = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
    }
    const QSize need = button.fontMetrics().size(Qt::TextShowMnemonic, button.text());
    if (need.width() > room.width() || need.height() > room.height())
        clipped.push_back(Describe(button, button.text(), need, room.size()));
}

// The status caption, drawn in the frame's top line: whole, with as much room to the frame's
// right side as it has to its left.
void CheckCaption(const QGroupBox& frame, std::vector<std::string>& clipped) {
    if (frame.title().isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(&frame);
    option.text = frame.title();
    option.lineWidth = 1;
    option.textAlignment = frame.alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect label = frame.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &frame);
    const int room = frame.width() - 2 * label.left();
    if (label.width() > room || label.height() > frame.height())
        clipped.push_back(Describe(frame, frame.title(), label.size(), QSize(room, frame.height())));
}

// What of the texts shown in top (a window or a box) does not show whole, one line each.
std::vector<std::string> ClippedTexts(const QWidget& top) {
    std::vector<std::string> clipped;
    for (const QWidget* control : top.findChildren<QWidget*>()) {
        if (!control->isVisibleTo(&top))
            continue;
        if (const auto* label = qobject_cast<const QLabel*>(control))
            CheckLabel(*label, clipped);
        else if (const auto* button = qobject_cast<const QAbstractButton*>(control))
            CheckButton(*button, clipped);
        else if (const auto* frame = qobject_cast<const QGroupBox*>(control))
            CheckCaption(*frame, clipped);
    }
    return clipped;
}

// Calls back at every paint of a control: the caption's frame repaints at each caption.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(std::function<void()> painted) : Painted_(std::move(painted)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            Painted_();
        return false;
    }

private:
    std::function<void()> Painted_;
};

class TextFitTest : public FormTest {
protected:
    void SetUp() override {
        const std::string language = Language();
        if (language != "en") {
            setenv("LANGUAGE", language.c_str(), 1);
            setenv("LC_ALL", "C.UTF-8", 1);  // a UTF-8 locale that every system has; LANGUAGE chooses
        } else {
            setenv("LC_ALL", "C", 1);
        }
        bindtextdomain(TextDomain, CatalogueFolder(FLASHUTIL_BINARY).c_str());
        FormTest::SetUp();  // the application, which sets the locale from the environment
        static const bool qtLanguage = LoadQtTranslations(*qApp);
        (void)qtLanguage;
        if (language != "en" && !SpeaksUserLanguage())
            GTEST_SKIP() << "no C.UTF-8 locale on this system";
        // The windows below speak the language, not English by a catalogue not found.
        ASSERT_TRUE(language == "en" || std::string(_("Flash Completed.")) != "Flash Completed.")
            << "no catalogue for " << language << " in " << CatalogueFolder(FLASHUTIL_BINARY);
        // Every box is shown as a person sees it, and checked; so is the window behind it.
        Adjust = [this](FlashFormSettings& settings) {
            settings.Answer = [this, answer = settings.Answer](const MessageRequest& request) {
                std::unique_ptr<QMessageBox> box = WindowUserInterface::MakeMessageBox(request, nullptr);
                box->show();
                Check(*box, "box \"" + request.Text + "\"");
                ++Boxes;
                if (Form && Form->isVisible())
                    Check(*Form, "window under a box");
                return answer(request);
            };
        };
    }

    void Check(const QWidget& top, const std::string& when) {
        for (const std::string& line : ClippedTexts(top))
            ADD_FAILURE() << Language() << ", " << when << ": " << line;
    }

    // Shows the window and checks it at every caption it shows from now on.
    void ShowAndWatchCaptions() {
        Form->show();
        Watch = std::make_unique<PaintWatch>([this] {
            if (Captions.insert(Status().title().toStdString()).second)
                Check(*Form, "caption \"" + Status().title().toStdString() + "\"");
        });
        Status().installEventFilter(Watch.get());
        Check(*Form, "ready");
    }

    std::unique_ptr<PaintWatch> Watch;
    std::set<std::string> Captions;
    int Boxes = 0;
};

TEST_F(TextFitTest, FlashWindowReadyRunningAndCompleted) {
    AddDrive(TestProduct, "1.05");
    Answers = {MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No};  // warning, update, restart
    ASSERT_FALSE(Create().StartUpEnded());
    ShowAndWatchCaptions();
    Button().click();
    Check(*Form, "completed");
    EXPECT_EQ(Status().title().toStdString(), _("Flash Completed."));
    EXPECT_GE(Captions.size(), 4u);  // the run's steps, each checked
    EXPECT_EQ(Boxes, 3);
}

TEST_F(TextFitTest, FlashWindowAfterFailedRuns) {
    VirtualDrive& drive = AddDrive(TestProduct, "1.05");
    ASSERT_FALSE(Create().StartUpEnded());
    ShowAndWatchCaptions();
    // A run sends load, TEST UNIT READY, stop play, stop unit, 32 chunks written, 32 read
    // back, then the commit: a chunk refused, a chunk read back altered, the commit refused.
    for (const auto& [command, kind] : {std::pair{7u, VirtualFaultKind::Sense}, std::pair{39u, VirtualFaultKind::Corrupt},
                                        std::pair{69u, VirtualFaultKind::Sense}}) {
        VirtualFault fault{uint32_t(drive.Commands().size()) + command, kind, 0x04, 0x44, 0x00};
        drive.AddFault(fault);
        const std::size_t before = Captions.size();
        Button().click();
        Check(*Form, "failed");
        EXPECT_GT(Captions.size(), before);
        EXPECT_NE(Status().title().toStdString(), _("Flash Completed."));
    }
    EXPECT_TRUE(Captions.count(_("Read back and Verify drive's DRAM... ") + std::string(_(", Compare BIN and DRAM Fail! "))));
    EXPECT_GE(Boxes, 4);  // the warning, and the error of each failure
}

TEST_F(TextFitTest, NoDriveBoxAndDeclinedWarning) {
    ASSERT_TRUE(Create().StartUpEnded());  // no drive: the warning, then the error box
    AddDrive(TestProduct, "1.05");
    Answers = {MessageAnswer::No};
    ASSERT_TRUE(Create().StartUpEnded());
    EXPECT_GE(Boxes, 3);
}

TEST_F(TextFitTest, BuilderReadyWithAnotherFolderAndBuilt) {
    TempDirectory dir;
    ASSERT_FALSE(dir.Path().empty());
    ExecutablePath = dir / "flashutil";
    std::filesystem::copy_file(FLASHUTIL_BINARY, ExecutablePath);
    View = std::make_unique<IdentityBlock>(IdentityBlock::Embedded());
    ModelFile = dir / "flashutil.INI";
    WriteFile(ModelFile, std::string("[MODEL00]\nModel=RW-5200\nInquiry=ACME    CD-RW RW5200\nFW-Range=1.00-1.10\n"
                                     "BINMask=RW*.BIN\nVendor=Acme\nNote=Plain\n"));
    // A folder of a short name: a path longer than its label is shortened in the middle by
    // design (the whole of it in the tooltip), which the check counts as cut.
    char pattern[] = "/tmp/fitXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::unique_ptr<const char, void (*)(const char*)> removeFolder(pattern, [](const char* path) { std::filesystem::remove_all(path); });
    for (const char* name : {"/RW12.BIN", "/RW13.BIN", "/RW14.BIN"})
        WriteFile(folder + name, std::vector<uint8_t>(0x80000, 0x5A));
    ChooseFolder = [&](const std::string&, const std::string&) { return folder; };
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(folder));  // the builder starts on the current folder
    ASSERT_FALSE(Create<BuilderWindow>().StartUpEnded());
    QDir::setCurrent(previous);
    ShowAndWatchCaptions();
    Control<QPushButton>("FolderButton").click();
    // The image list shows whole rows: none is cut by its lower edge.
    ASSERT_EQ(Files().count(), 3);
    const QRect shown = Files().viewport()->rect();
    for (int row = 0; row < Files().count(); ++row) {
        const QRect place = Files().visualRect(Files().model()->index(row, 0));
        EXPECT_TRUE(shown.contains(place) || !shown.intersects(place)) << "row " << row << " is cut";
    }
    auto& builder = static_cast<BuilderWindow&>(*Form);
    builder.ChooseFirstFile();
    Check(*Form, "a file chosen");
    Button().click();
    Check(*Form, "built");
    EXPECT_TRUE(Status().title().endsWith(QStringLiteral("complete!"))) << Status().title().toStdString();
}

}  // namespace
