// SPDX-License-Identifier: Apache-2.0
// Right before a run sends anything, the drive must still be the one the start-up qualified:
// the same device behind its node, an optical drive, the product and the revision range of the
// utility. The drive list may be stale by then; nothing is sent to a drive that is not.

#include "SequenceExpectations.h"

namespace {

class Requalification : public EngineFixture {
protected:
    // Opens the drive as it was listed, then lets change alter what it is, identifies it
    // again as the listing does, and presses FLASH.
    FlashOutcome ListChangeAndFlash(const std::function<void()>& change) {
        Build();
        Recorder->Device = {"/sys/devices/pci0000:00/host2/target2:0:0/2:0:0:0", "SERIAL-1"};
        // The opening took place before the device was set: open once more under it.
        Commands.reset();
        Drive.reset();
        Drive = CDDrive::Open(*Recorder, DriveAddress{'V', 0, 0, 0}).Take();
        if (!Drive) {
            ADD_FAILURE() << "the virtual drive did not open";
            return {};
        }
        change();
        Drive->IdentityLine();
        return Flash();
    }
    // Sets bytes of every later INQUIRY answer.
    void AnswerInquiry(std::size_t at, const std::string& bytes) {
        Recorder->AlterInquiry = [at, bytes](uint8_t* answer) { std::memcpy(answer + at, bytes.data(), bytes.size()); };
    }
    bool NothingSentAfterTheListing() {
        for (std::size_t i = 0; i < Record().size(); ++i)
            if (Record()[i].Opcode() != 0x12)
                return false;
        return true;
    }
};

TEST_F(Requalification, ADriveThatIsNoLongerWhatWasListedIsRefusedBeforeAnythingIsSent) {
    struct Case {
        std::string Name;
        std::function<void()> Change;
        std::string Why;
    };
    const std::vector<Case> cases = {
        {"another product", [this] { AnswerInquiry(8, "OTHER   DRIVE-X         "); },
         "the drive is not a \"KAVENO  CDRW 5232X      \""},
        {"a disk", [this] { AnswerInquiry(0, std::string(1, '\0')); },
         "it is not an optical drive (peripheral type 0)"},
        {"no device at the unit", [this] { AnswerInquiry(0, "\x7f"); },
         "it reports no device type"},
        {"a revision below the range", [this] { AnswerInquiry(32, "0.90"); },
         "firmware 0.90 is outside 1.00 to 1.05"},
        {"another device behind the node",
         [this] { Recorder->Device.SystemDevice = "/sys/devices/pci0000:00/host3/3:0:0:0"; },
         "its node leads to another device than when it was opened"},
        {"another serial number", [this] { Recorder->Device.Serial = "SERIAL-2"; },
         "its serial number changed from SERIAL-1 to SERIAL-2"},
    };
    for (const Case& c : cases) {
        Ui = ScriptedUserInterface();
        EXPECT_EQ(ListChangeAndFlash(c.Change), FlashOutcome::Unidentified) << c.Name;
        EXPECT_EQ(Report.Step, FlashStep::Identification) << c.Name;
        EXPECT_TRUE(NothingSentAfterTheListing()) << c.Name;
        EXPECT_TRUE(FlashUntouched()) << c.Name;
        ASSERT_EQ(Ui.Messages.size(), 1u) << c.Name;
        EXPECT_EQ(Ui.Messages[0].Kind, MessageKind::Error);
        const std::string& text = Ui.Messages[0].Text;
        EXPECT_EQ(text.rfind("The drive virtual:0 no longer qualifies for this firmware (" + c.Why + "): it qualified "
                             "as \"0-0-0 V: KAVENO  CDRW 5232X      1.00\" and is now \"",
                             0),
                  0u)
            << text;
        EXPECT_NE(text.find("; nothing was sent to it."), std::string::npos) << text;
    }
}

// The same drive, still as listed, flashes; one at or above the new revision is told so by the
// revision check, whatever its range says.
TEST_F(Requalification, TheListedDriveFlashesAndANewerOneIsLeftToTheRevisionCheck) {
    EXPECT_EQ(ListChangeAndFlash([] {}), FlashOutcome::Completed);
    Ui = ScriptedUserInterface();
    EXPECT_EQ(ListChangeAndFlash([this] { AnswerInquiry(32, "1.10"); }), FlashOutcome::RevisionRefused);
    EXPECT_EQ(Ui.MessageTexts(), std::vector<std::string>{"\nWARNING:\n\nYour drive FW:1.10 is aready the most updated ?"});
}

}  // namespace
