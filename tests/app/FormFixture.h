// SPDX-License-Identifier: Apache-2.0
#pragma once
// A window test: the Qt application (offscreen), virtual drives, an in-memory identity
// block and message boxes answered by the test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "flash/IdentityBlockBuffer.h"
#include "scsi/CDDrive.h"
#include "sim/VirtualDrive.h"
#include "app/gui/FlashWindow.h"
#include "app/gui/WindowApp.h"

inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// The product the test block names, as a drive reports it (24 characters).
inline const std::string TestProduct = "ACME    CD-RW RW5200    ";

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        Platform.SetInstantSleep(true);
        Block.Vendor("Acme").Model("RW-5200").Inquiry("ACME    CD-RW RW5200").FwRange("1.00-1.10");
        Block.NewFwName("1.20").ImageLength(0x80000);
        for (std::size_t i = 0; i < Layout::ImageCapacity; ++i)
            Block.Bytes[Layout::BlockSize + i] = uint8_t(i * 7 + (i >> 9));
    }
    void TearDown() override {
        Form.reset();
    }

    VirtualDrive& AddDrive(const std::string& inquiry, const std::string& revision,
                           unsigned commitMilliseconds = 0) {
        VirtualDriveConfig config;
        config.Inquiry = inquiry;
        config.Revision = revision;
        config.NewRevision = "1.20";
        config.CommitMilliseconds = commitMilliseconds;
        return Platform.AddDrive(config);
    }

    // Creates the program's window, which must be a W; YesNo boxes take Answers in order, then Yes.
    template <class W = FlashWindow>
    W& Create(int clientWidth = 368) {
        FlashFormSettings settings;
        settings.Utility.Areas.Block = (View ? *View : Block.View()).Raw();
        settings.ClientWidth = clientWidth;
        settings.ExecutablePath = ExecutablePath;
        settings.ModelFile = ModelFile;
        settings.System = &Platform;
        settings.NoCommit = NoCommit;
        settings.History = History;
        // A built copy's seal, as the builder would have written it for the block (unless a
        // test gives one of its own).
        if (Seal.empty()) {
            const IdentityBlock block = settings.Utility.View();
            Seal = MakeSeal(OwnSealKeyWord(), {block.Raw() + Layout::KeyWordSize, Layout::FieldBytes},
                            {block.Image(), block.SentImageLength()}, {});
        }
        settings.Utility.Areas.Seal = Seal.data();
        if (!Signature.empty())
            settings.Utility.Areas.Signature = Signature.data();
        settings.Answer = [this](const MessageRequest& request) {
            Messages.push_back(request);
            if (request.Buttons == MessageButtons::Ok)
                return MessageAnswer::Ok;
            if (Answers.empty())
                return MessageAnswer::Yes;
            const MessageAnswer answer = Answers.front();
            Answers.pop_front();
            return answer;
        };
        settings.ChooseModelFile = ChooseModelFile;
        settings.ChooseFolder = ChooseFolder;
        settings.ChoicesFile = ChoicesFile;
        if (Adjust)
            Adjust(settings);
        Form = MakeMainWindow(settings);
        W* window = qobject_cast<W*>(Form.get());
        if (!window)
            throw std::logic_error("the copy opened another kind of window");
        return *window;
    }

    // The window's controls, found by their names.
    template <class T>
    T& Control(const char* name) const {
        T* control = Form ? Form->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        if (!control)
            throw std::logic_error(std::string("no control ") + name);
        return *control;
    }
    QLabel& Prompt() const { return Control<QLabel>("SelectDriveLabel"); }
    QListWidget& Files() const { return Control<QListWidget>("FileListBox1"); }
    QComboBox& Choice() const { return Control<QComboBox>("ComboBox"); }
    QGroupBox& Status() const { return Control<QGroupBox>("GroupBox2"); }
    QProgressBar& Bar() const { return Control<QProgressBar>("ProgressBar"); }
    QPushButton& Button() const { return Control<QPushButton>("FlashButton"); }

    // The lists, the bar and the status caption have names a screen reader can say, and
    // none is merely what the control shows at the moment.
    void ExpectAccessibleNames() const {
        const QListWidgetItem* file = Files().currentItem();
        const std::pair<const QWidget*, QString> controls[] = {
            {&Choice(), Choice().currentText()},
            {&Files(), file ? file->text() : QString()},
            {&Bar(), QString::number(Bar().value())},
            {&Status(), Status().title()},
            {&Button(), Button().text()},
        };
        for (const auto& [control, shown] : controls) {
            EXPECT_FALSE(control->accessibleName().trimmed().isEmpty()) << control->objectName().toStdString();
            EXPECT_NE(control->accessibleName(), shown) << control->objectName().toStdString();
        }
        EXPECT_EQ(Prompt().buddy(), &Choice());  // the prompt names the choice list
    }

    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const MessageRequest& m : Messages)
            texts.push_back(m.Text);
        return texts;
    }

    // The identity line of virtual drive n.
    static std::string Line(int n, const std::string& inquiry, const std::string& revision) {
        return "0-" + std::to_string(n) + "-0 V: " + inquiry + revision;
    }

    VirtualPlatform Platform;
    IdentityBlockBuffer Block;
    std::unique_ptr<IdentityBlock> View;  // when set, used in place of Block
    std::string ExecutablePath;
    std::string ModelFile;  // the builder's --ini; empty: looked for
    std::vector<uint8_t> Seal;  // the copy's seal area; empty: made for the block at the first Create
    std::vector<uint8_t> Signature;  // the copy's signature area; empty: the program's own (unsigned)
    bool NoCommit = false;
    HistoryLog* History = nullptr;  // where the window records its runs; null: nowhere
    // The builder's file and folder choosers, answered by the test, and where its choices are kept.
    std::function<std::string(const std::string&, const std::string&)> ChooseModelFile, ChooseFolder;
    std::string ChoicesFile;
    std::function<void(FlashFormSettings&)> Adjust;  // the last word on the settings
    std::deque<MessageAnswer> Answers;
    std::vector<MessageRequest> Messages;
    std::unique_ptr<FormWindow> Form;
};

inline std::string Text(const QString& text) { return ToCoreText(text); }
