// SPDX-License-Identifier: Apache-2.0
// The window on a folder of utilities: each entry names the utility its drive would get,
// FLASH on an entry sends that entry's utility (the drive's memory holds its image, the
// question names its file and signer, the history its file and digest), and an ambiguous
// entry is refused with both files named and nothing sent.

#include <algorithm>
#include <filesystem>

#include "FormFixture.h"
#include "app/gui/UtilityFolder.h"
#include "base/Sha256.h"
#include "builder/Builder.h"
#include "history/HistoryFile.h"
#include "history/HistoryLog.h"
#include "image/TempDirectory.h"
#include "support/ScriptedUserInterface.h"

namespace {

namespace fs = std::filesystem;
const std::string Acme = "ACME    CD-RW RW5200    ", Zentra = "ZENTRA  DVD-RW DV8      ", Kora = "KORA    COMBO K2        ";

class FolderWindowTest : public FormTest {
protected:
    TempDirectory Dir;
    std::string Folder = Dir / "firmware";

    // A utility for inquiry and range installing binName's revision, its image all imageByte.
    void Built(const std::string& name, const std::string& inquiry, const std::string& range,
               const std::string& binName, uint8_t imageByte) {
        fs::create_directories(Dir / ("out-" + name));
        WriteFile(Dir / binName, std::vector<uint8_t>(40000, imageByte));
        BuildRequest r;
        r.ImagePath = Dir / binName;
        r.SelectedBinName = binName;
        r.Model = {"M-" + name, inquiry, range, "Maker", "normal"};
        r.OutputDirectory = Dir / ("out-" + name);
        r.ExecutablePath = FLASHUTIL_BINARY;
        r.KeyWord = OwnKeyWord();
        ScriptedUserInterface ui;
        ASSERT_TRUE(BuildFlashProgram(r, ui).Built) << name;
        fs::create_directories(Folder);
        fs::rename(fs::directory_iterator(r.OutputDirectory)->path(), Folder + "/" + name);
    }
    VirtualDrive& Drive(const std::string& inquiry, const std::string& revision, const std::string& newRevision) {
        VirtualDriveConfig config;
        config.Inquiry = inquiry;
        config.Revision = revision;
        config.NewRevision = newRevision;
        return Platform.AddDrive(config);
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
    // As flashutil DIR opens it.
    Adjust = [this](FlashFormSettings& settings) {
        std::string why;
        EXPECT_TRUE(LoadUtilityFolder(Folder, false, settings.Folder, settings.Utility, why)) << why;
    };
    ASSERT_FALSE(Create().StartUpEnded());
    ASSERT_EQ(Choice().count(), 3);
    EXPECT_EQ(Text(Choice().itemText(0)), Line(0, Acme, "1.10") + "  acme.EXE FW:1.50");
    EXPECT_EQ(Text(Choice().itemText(1)), Line(1, Zentra, "Z110") + "  zentra.EXE FW:Z150");
    EXPECT_EQ(Text(Choice().itemText(2)), Line(2, Kora, "K110") + "  ambiguous");

    // The second entry: its drive gets the second model's image, and nothing goes to the first.
    Choice().setCurrentIndex(1);
    emit Choice().activated(1);
    Messages.clear();
    Button().click();
    EXPECT_EQ(Text(Status().title()), "Flash Completed.");
    EXPECT_EQ(acme.CommitCount(), 0u);
    ASSERT_EQ(zentra.CommitCount(), 1u);
    EXPECT_TRUE(std::all_of(zentra.Flash().begin(), zentra.Flash().begin() + 40000, [](uint8_t b) { return b == 0x22; }));
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages[0].Text, "\nUpdate FW:Z110 to FW:Z150\nwith zentra.EXE (not signed) ?\n");
    EXPECT_EQ(Text(Choice().itemText(1)), Line(1, Zentra, "Z150") + "  up to date");
    HistoryContents contents;
    std::string why;
    ASSERT_TRUE(ReadHistory(history.Path(), contents, why)) << why;
    ASSERT_EQ(contents.Runs.size(), 1u);
    EXPECT_EQ(contents.Runs[0].Start.Utility.File, Folder + "/zentra.EXE");
    const std::vector<uint8_t> file = ReadFile(Folder + "/zentra.EXE");
    EXPECT_EQ(contents.Runs[0].Start.Utility.FileSha256, Sha256Hex(file.data(), file.size()));

    // The ambiguous entry: refused in a box naming both files, with nothing sent and no record.
    Choice().setCurrentIndex(2);
    emit Choice().activated(2);
    Messages.clear();
    const std::size_t commands = kora.Commands().size();
    Button().click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].Text.find("kora-a.EXE and kora-b.EXE"), std::string::npos) << Messages[0].Text;
    EXPECT_EQ(kora.Commands().size(), commands);
    ASSERT_TRUE(ReadHistory(history.Path(), contents, why)) << why;
    EXPECT_EQ(contents.Runs.size(), 1u);

    // "Update drive firmware" takes the folder too, given by the desktop or chosen.
    for (const bool given : {true, false}) {
        UtilityCopy subject;
        std::shared_ptr<const Catalogue> catalogue;
        EXPECT_EQ(OpenDesktopSubject(given ? std::optional(Folder) : std::nullopt, [&](auto&, auto&) { return Folder; },
                                     false, subject, catalogue),
                  ChosenUtility::Loaded);
        EXPECT_TRUE(catalogue && catalogue->Utilities.size() == 4u);
    }
}
