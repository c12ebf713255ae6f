// SPDX-License-Identifier: Apache-2.0
// The window given a folder of utilities: each entry names the utility its drive would get,
// FLASH on an entry sends that entry's utility (the drive's memory holds its image, the
// question names its file and signer, the history its file and digest), and an ambiguous
// entry is refused with both files named and nothing sent.

#include <algorithm>
#include <filesystem>

#include <QMessageBox>
#include <QTimer>

#include "FormFixture.h"
#include "app/gui/UtilityFolder.h"
#include "base/Sha256.h"
#include "builder/Builder.h"
#include "history/HistoryFile.h"
#include "history/HistoryLog.h"
#include "image/TempDirectory.h"
#include "session/Catalogue.h"
#include "support/ScriptedUserInterface.h"

namespace {

namespace fs = std::filesystem;

const std::string Acme = "ACME    CD-RW RW5200    ";
const std::string Zentra = "ZENTRA  DVD-RW DV8      ";
const std::string Kora = "KORA    COMBO K2        ";

class FolderWindowTest : public FormTest {
protected:
    TempDirectory Dir;
    std::string Folder = Dir / "firmware";

    void SetUp() override {
        FormTest::SetUp();
        fs::create_directory(Folder);
        fs::copy_file(FLASHUTIL_BINARY, Dir / "flashutil");
    }

    // A utility for inquiry and range installing binName's revision, its image all imageByte.
    void Built(const std::string& name, const std::string& inquiry, const std::string& range,
               const std::string& binName, uint8_t imageByte) {
        const std::string out = Dir / ("out-" + name);
        fs::create_directory(out);
        WriteFile(Dir / binName, std::vector<uint8_t>(40000, imageByte));
        BuildRequest r;
        r.ImagePath = Dir / binName;
        r.SelectedBinName = binName;
        r.Model = {"M-" + name, inquiry, range, "Maker", "normal"};
        r.OutputDirectory = out;
        r.ExecutablePath = Dir / "flashutil";
        r.ProgramName = "flashutil";
        r.KeyWord = OwnKeyWord();
        ScriptedUserInterface ui;
        ASSERT_TRUE(BuildFlashProgram(r, ui).Built) << name;
        fs::rename(fs::directory_iterator(out)->path(), Folder + "/" + name);
    }

    VirtualDrive& Drive(const std::string& inquiry, const std::string& revision, const std::string& newRevision) {
        VirtualDriveConfig config;
        config.Inquiry = inquiry;
        config.Revision = revision;
        config.NewRevision = newRevision;
        return Platform.AddDrive(config);
    }

    // The window on the folder, as flashutil DIR opens it.
    FlashWindow& OpenFolder() {
        Adjust = [this](FlashFormSettings& settings) {
            auto catalogue = std::make_shared<Catalogue>();
            std::string why;
            EXPECT_TRUE(ScanCatalogue(Folder, {}, {}, *catalogue, why)) << why;
            settings.Utility = catalogue->Utilities.front().Copy;
            settings.Folder = catalogue;
        };
        return Create();
    }
};

}  // namespace

TEST_F(FolderWindowTest, EachEntryIsFlashedWithItsOwnUtility) {
    Built("acme.EXE", Acme, "1.00-1.90", "1.50.BIN", 0x11);
    Built("zentra.EXE", Zentra, "Z100-Z199", "Z150.BIN", 0x22);
    Built("kora-a.EXE", Kora, "K100-K199", "K130.BIN", 0x33);
    Built("kora-b.EXE", Kora, "K100-K199", "K130.BIN", 0x44);
    VirtualDrive& acme = Drive(Acme, "1.10", "1.50");
    VirtualDrive& zentra = Drive(Zentra, "Z110", "Z150");
    VirtualDrive& kora = Drive(Kora, "K110", "K130");
    HistoryLog history(Dir / "history.jsonl", nullptr, nullptr);
    History = &history;
    Answers = {MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No};  // warning, update, restart

    FlashWindow& form = OpenFolder();
    ASSERT_FALSE(form.StartUpEnded());
    ASSERT_EQ(Choice().count(), 3);
    EXPECT_EQ(Text(Choice().itemText(0)), Line(0, Acme, "1.10") + "  acme.EXE FW:1.50");
    EXPECT_EQ(Text(Choice().itemText(1)), Line(1, Zentra, "Z110") + "  zentra.EXE FW:Z150");
    EXPECT_EQ(Text(Choice().itemText(2)), Line(2, Kora, "K110") + "  ambiguous");
    EXPECT_NE(Text(Choice().itemData(2, Qt::ToolTipRole).toString()).find("kora-a.EXE and kora-b.EXE"),
              std::string::npos);

    // The second entry: its drive gets the second model's image and nothing goes to the first.
    Choice().setCurrentIndex(1);
    emit Choice().activated(1);
    Messages.clear();
    Button().click();
    EXPECT_EQ(Text(Status().title()), "Flash Completed.");
    EXPECT_EQ(zentra.CommitCount(), 1u);
    EXPECT_EQ(acme.CommitCount(), 0u);
    const std::vector<uint8_t>& sent = zentra.Flash();
    ASSERT_GE(sent.size(), 40000u);
    EXPECT_TRUE(std::all_of(sent.begin(), sent.begin() + 40000, [](uint8_t b) { return b == 0x22; }));
    ASSERT_GE(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "\nUpdate FW:Z110 to FW:Z150\nwith zentra.EXE (not signed) ?\n");
    // The entry shows the new revision, and that nothing more is to be had for it.
    EXPECT_EQ(Text(Choice().itemText(1)), Line(1, Zentra, "Z150") + "  up to date");
    HistoryContents contents;
    std::string why;
    ASSERT_TRUE(ReadHistory(history.Path(), contents, why)) << why;
    ASSERT_EQ(contents.Runs.size(), 1u);
    EXPECT_EQ(contents.Runs[0].Start.Utility.File, fs::absolute(Folder + "/zentra.EXE").string());
    const std::vector<uint8_t> file = ReadFile(Folder + "/zentra.EXE");
    EXPECT_EQ(contents.Runs[0].Start.Utility.FileSha256, Sha256Hex(file.data(), file.size()));

    // The ambiguous entry: refused in a box naming both files, nothing sent, no record.
    Choice().setCurrentIndex(2);
    emit Choice().activated(2);
    Messages.clear();
    const std::size_t commands = kora.Commands().size();
    Button().click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, MessageKind::Error);
    EXPECT_NE(Messages[0].Text.find("kora-a.EXE and kora-b.EXE"), std::string::npos) << Messages[0].Text;
    EXPECT_EQ(kora.Commands().size(), commands);
    ASSERT_TRUE(ReadHistory(history.Path(), contents, why)) << why;
    EXPECT_EQ(contents.Runs.size(), 1u);
}

// "Update drive firmware" takes a folder as well as a file: the one the desktop gives or the
// one chosen. The chooser first asks which of the two is meant.
TEST_F(FolderWindowTest, TheMenuTakesAFolderAsWellAsAFile) {
    Built("acme.EXE", Acme, "1.00-1.90", "1.50.BIN", 0x11);
    for (const bool given : {true, false}) {
        UtilityCopy subject;
        std::shared_ptr<const Catalogue> catalogue;
        const auto chooser = [&](const std::string&, const std::string&) { return Folder; };
        ASSERT_EQ(OpenDesktopSubject(given ? std::optional<std::string>(Folder) : std::nullopt, chooser, false, subject,
                                     catalogue),
                  ChosenUtility::Loaded);
        ASSERT_TRUE(catalogue);
        ASSERT_EQ(catalogue->Utilities.size(), 1u);
        EXPECT_EQ(subject.FullPath, catalogue->Utilities[0].Copy.FullPath);
    }

    // The question: the file button goes on to the file chooser, Cancel to nothing.
    for (const char* button : {"&Utility file...", ""}) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton* b : box->buttons())
                if (*button ? b->text() == QString::fromUtf8(button) : box->buttonRole(b) == QMessageBox::RejectRole) {
                    b->click();
                    return;
                }
        });
        poll.start(20);
        int asked = 0;
        const std::string chosen = ChooseUtilityOrFolder("title", "/", [&](const std::string&, const std::string&) {
            ++asked;
            return std::string("/some/utility.EXE");
        });
        poll.stop();
        EXPECT_EQ(chosen, *button ? "/some/utility.EXE" : "") << button;
        EXPECT_EQ(asked, *button ? 1 : 0) << button;
    }
}
