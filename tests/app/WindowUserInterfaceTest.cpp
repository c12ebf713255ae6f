// SPDX-License-Identifier: Apache-2.0
// The window's user-interface seam: real message boxes answered from the keyboard, the
// progress bar's rules, and calls made from a worker thread.

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "FormFixture.h"

namespace {

class SeamTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        Window = std::make_unique<QWidget>();
        Status = new QGroupBox(Window.get());
        Bar = new QProgressBar(Window.get());
        List = new QComboBox(Window.get());
        Ui = std::make_unique<WindowUserInterface>(Window.get(), Status, Bar, List);
    }

    // Shows a real box and presses key in it once it is up; returns the answer and the box's title.
    MessageAnswer AnswerWithKey(const MessageRequest& request, int key, QString* title = nullptr) {
        QTimer::singleShot(50, [key, title] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            if (title)
                *title = box->windowTitle();
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(box, &press);
        });
        return Ui->ShowMessage(request);
    }

    std::unique_ptr<QWidget> Window;
    QGroupBox* Status = nullptr;
    QProgressBar* Bar = nullptr;
    QComboBox* List = nullptr;
    std::unique_ptr<WindowUserInterface> Ui;
};

}  // namespace

TEST_F(SeamTest, WarningBoxDefaultsToYesAndEscapeAnswersNo) {
    const MessageRequest warning{"\nWARNING:\n", MessageKind::Warning, MessageButtons::YesNo, MessageAnswer::Yes, "Warning"};
    QString title;
    EXPECT_EQ(AnswerWithKey(warning, Qt::Key_Escape, &title), MessageAnswer::No);
    EXPECT_EQ(title, "Warning");
    EXPECT_EQ(AnswerWithKey(warning, Qt::Key_Return), MessageAnswer::Yes);
}

TEST_F(SeamTest, ErrorBoxIsTitledErrorAndAnswersOk) {
    QString title;
    EXPECT_EQ(AnswerWithKey({"\nERROR:\n", MessageKind::Error, MessageButtons::Ok, MessageAnswer::Ok, ""}, Qt::Key_Escape, &title),
              MessageAnswer::Ok);
    EXPECT_EQ(title, "Error");
    // The box shows the text as it is, with no markup read into it.
    auto box = WindowUserInterface::MakeMessageBox({"<b>Write Buffer> 02 3A 00</b>", MessageKind::Error, MessageButtons::Ok, MessageAnswer::Ok, ""}, nullptr);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    // A plain box carries the application's title.
    EXPECT_EQ(WindowUserInterface::DefaultTitle(MessageKind::Plain), "KAVENO Windows Flash utility");
}

TEST_F(SeamTest, StepPastTheMaximumStartsAgainFromTheMinimum) {
    Ui->SetProgressRange(0, 0x10000);
    Ui->SetProgressStep(0x4000);
    Ui->SetProgressPosition(0);
    for (int i = 0; i < 4; ++i)
        Ui->StepProgress();
    EXPECT_EQ(Bar->value(), 0x10000);
    Ui->StepProgress();
    EXPECT_EQ(Ui->ProgressPosition(), 0);
    EXPECT_EQ(Bar->value(), 0);
    // The commit's bar: maximum 200, position 198, no stepping.
    Ui->SetProgressRange(0, 200);
    Ui->SetProgressPosition(198);
    Ui->SetProgressStep(0);
    Ui->StepProgress();
    EXPECT_EQ(Bar->value(), 198);
    EXPECT_EQ(Ui->ProgressMaximum(), 200);
}

TEST_F(SeamTest, StatusFailSuffixAndEntryReplacement) {
    Ui->SetStatus("Write BIN to drive's DRAM... ");
    Ui->SetStatus(Ui->Status() + ", Fail! ");
    EXPECT_EQ(Text(Status->title()), "Write BIN to drive's DRAM... , Fail! ");
    // Texts are the system's (UTF-8): every ASCII byte comes back as it went in, and so does
    // a name outside Latin-1.
    std::string bytes = "Build \xCE\xA9\xE5\x88\xBB.EXE complete! ";
    for (int c = 1; c < 128; ++c)
        bytes += char(c);
    Ui->SetStatus(bytes);
    EXPECT_EQ(Status->title(), QString::fromUtf8(bytes.c_str()));
    EXPECT_EQ(Ui->Status(), bytes);

    List->addItems({"a", "b", "c"});
    List->setCurrentIndex(2);
    Ui->ReplaceListEntry(1, "B");
    EXPECT_EQ(List->count(), 3);
    EXPECT_EQ(List->itemText(1), "B");
    EXPECT_EQ(List->itemText(2), "c");
    EXPECT_EQ(List->currentIndex(), 1);
}

TEST_F(SeamTest, CallsFromAWorkerRunOnTheWindowThreadInOrder) {
    std::vector<std::string> seen;
    std::vector<bool> onWindowThread;
    Ui->SetAnswerHook([&](const MessageRequest& request) {
        seen.push_back(request.Text);
        onWindowThread.push_back(QThread::currentThread() == qApp->thread());
        return MessageAnswer::Yes;
    });
    MessageAnswer answer = MessageAnswer::No;
    std::string statusSeenByWorker;
    QThread* worker = QThread::create([&] {
        Ui->SetStatus("one");
        answer = Ui->ShowMessage({"box", MessageKind::Confirmation, MessageButtons::YesNo, MessageAnswer::Ok, "", Question::None});
        Ui->SetStatus(Ui->Status() + " two");
        statusSeenByWorker = Ui->Status();
        Ui->SetBusyCursor(true);
    });
    QEventLoop loop;
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    delete worker;

    EXPECT_EQ(answer, MessageAnswer::Yes);
    EXPECT_EQ(seen, std::vector<std::string>{"box"});
    EXPECT_EQ(onWindowThread, std::vector<bool>{true});
    EXPECT_EQ(statusSeenByWorker, "one two");
    EXPECT_EQ(Text(Status->title()), "one two");
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Ui->SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
