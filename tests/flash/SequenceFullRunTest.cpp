// Whole flash runs on the virtual drive for every image kind: the exact command traffic,
// the profile that reached the drive, the flash and revision afterwards, and every text,
// progress value and cursor change shown on the way.

#include "SequenceExpectations.h"
#include "flash/ProfileData.h"

namespace {

struct FullRunCase {
    const char* Name;
    ImageKind Kind;
    std::array<uint8_t, 4> Chip;
    std::string Note;
    bool Matched;
    uint32_t ProfileLength;
    std::vector<uint8_t> ProfileHeader;  // the prepared profile's header; the blob follows
    uint32_t BlobOffset;
};

class FullRun : public EngineFixture, public ::testing::WithParamInterface<FullRunCase> {};

std::vector<std::string> ExpectedTrace(ImageKind kind, const std::string& identityLine) {
    std::vector<std::string> t = {"box confirmation yes/NO: \nUpdate FW:1.00 to FW:1.06 ?\n", "range 0..524288",
                                  "step 16384", "busy"};
    if (kind != ImageKind::Plain)
        t.push_back("status: Write profile to drive's DRAM... ");
    t.insert(t.end(), {"status: Write BIN to drive's DRAM... ", "position 0", "stepit x32 ->524288"});
    if (kind == ImageKind::Profile)
        t.push_back("status: Drive entry critical... ");
    t.insert(t.end(), {"status: Read back and Verify drive's DRAM... ", "position 0", "stepit x32 ->524288",
                       "status: Don't turn off the system, Flash is in progress...", "range 0..200",
                       "position 198", "step 0", "position 200", "status: Flash Completed.",
                       "entry 0: " + identityLine,
                       "box confirmation yes/NO: The system needs to be restarted for the changes to take effect ?",
                       "not busy", "position 0"});
    return t;
}

TEST_P(FullRun, FlashesTheImageWithTheExactCommandsAndTexts) {
    const FullRunCase& c = GetParam();
    Setup.Kind = c.Kind;
    Setup.Drive.ChipId = c.Chip;
    Setup.Note = c.Note;
    Build();

    EXPECT_EQ(Flash(), FlashOutcome::Completed);

    RunShape shape;
    shape.Kind = c.Kind;
    shape.Matched = c.Matched;
    shape.ProfileLength = c.ProfileLength;
    shape.FlashAll = c.Note.rfind("FLASH-ALL", 0) == 0;
    EXPECT_EQ(Lines(Record()), Lines(ExpectedRun(shape)));

    // The profile as the drive received it.
    if (c.Kind != ImageKind::Plain) {
        std::vector<uint8_t> profile = c.ProfileHeader;
        const uint32_t blobBytes = c.ProfileLength - uint32_t(std::min<size_t>(c.ProfileLength, c.ProfileHeader.size()));
        if (c.Matched)
            profile.insert(profile.end(), ProfileData.begin() + c.BlobOffset,
                           ProfileData.begin() + c.BlobOffset + blobBytes);
        profile.resize(c.ProfileLength);
        std::vector<uint8_t> sent;
        for (const auto& r : Record())
            if (r.Opcode() == 0x3B && r.Cdb[9] == 0x7F && r.Length > 0)
                sent = r.DataOut;
        EXPECT_EQ(sent, profile);
        EXPECT_EQ(Engine->ProfileMatched, c.Matched);
    }

    EXPECT_TRUE(FlashEqualsImage());
    EXPECT_EQ(Vd().CommitCount(), 1u);
    EXPECT_EQ(Vd().Revision(), "1.06");
    // A DVD image's empty profile upload carries the same bytes as entry critical; the drive
    // tells them apart by direction (the upload is data out, entry critical data in).
    EXPECT_EQ(Vd().EntryCriticalCount(), c.Kind == ImageKind::Profile ? 1u : 0u);
    const std::string identity = "0-0-0 V: KAVENO  CDRW 5232X      1.06";
    EXPECT_EQ(Trace(Ui), ExpectedTrace(c.Kind, identity));
    ASSERT_EQ(Ui.ListEntries.size(), 1u);
    EXPECT_EQ(Ui.ListEntries[0], identity);
    EXPECT_FALSE(Ui.BusyCursor);

    // The commit alone runs under the long timeout; afterwards the normal one is back.
    const auto& timeouts = Recorder->Timeouts;
    ASSERT_EQ(timeouts.size(), Record().size());
    for (size_t i = 0; i < Record().size(); ++i)
        EXPECT_EQ(timeouts[i], Record()[i].Opcode() == 0x3B && (Record()[i].Cdb[9] & 0x80) ? 180 : 60) << i;
    EXPECT_EQ(CDDrive::GetTimeout(), 60);
    // One 30 ms poll and the 200 ms pause after the commit.
    EXPECT_EQ(Virtual->SleptMilliseconds(), 30u + 200u);
    EXPECT_EQ(Virtual->RestartRequests(), 0u);
}

const std::vector<uint8_t> NoMatch = {0xFF, 0xFF, 0x00, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Kinds, FullRun,
    ::testing::Values(
        FullRunCase{"Plain", ImageKind::Plain, {0xDA, 0xC8, 0, 0}, "", false, 0, {}, 0},
        FullRunCase{"FlashAll", ImageKind::Plain, {0xDA, 0xC8, 0, 0}, "FLASH-ALL chips", false, 0, {}, 0},
        FullRunCase{"ProfileA", ImageKind::Profile, {0xDA, 0xC8, 0, 0}, "", true, 318, {0xDA, 0xC8, 0x01, 0x3A}, 0},
        FullRunCase{"ProfileB", ImageKind::Profile, {0xBF, 0xB4, 0, 0}, "", true, 456, {0xBF, 0xB4, 0x01, 0xC4}, 314},
        FullRunCase{"ProfileC", ImageKind::Profile, {0xBF, 0xD6, 0, 1}, "", true, 1284, {0xBF, 0xD6, 0x05, 0x00}, 766},
        FullRunCase{"ProfileC2", ImageKind::Profile, {0xBF, 0xB6, 9, 9}, "", true, 1284, {0xBF, 0xB6, 0x05, 0x00},
                    766},
        FullRunCase{"ProfileD", ImageKind::Profile, {0x37, 0x8C, 0, 1}, "", true, 1284, {0x37, 0x8C, 0x05, 0x00},
                    2046},
        FullRunCase{"ProfileNoMatch", ImageKind::Profile, {0x01, 0x02, 0, 0}, "", false, 4, NoMatch, 0},
        FullRunCase{"DvdMatch", ImageKind::Dvd, {0xBF, 0xD6, 0, 1}, "", true, 1280,
                    {0xBF, 0xD6, 0x00, 0x01, 0x05, 0x00}, 766},
        FullRunCase{"DvdNoMatch", ImageKind::Dvd, {0xBF, 0xD6, 0, 0}, "", false, 0, {}, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

class RunDetails : public EngineFixture {
protected:
    void SetUp() override { Build(); }
};

TEST_F(RunDetails, FlashAllNeedsTheExactNinePrefixBytes) {
    for (const char* note : {"flash-all", "FLASH-AL", " FLASH-ALL"}) {
        Setup.Note = note;
        Build();
        ASSERT_EQ(Flash(), FlashOutcome::Completed);
        EXPECT_EQ(Vd().LastCommitCode(), 0x80) << note;
        EXPECT_FALSE(Engine->FlashAll);
    }
}

TEST_F(RunDetails, YesToTheRestartAsksTheSystemOnceWithTheDefaultCursor) {
    Ui.Answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    ASSERT_EQ(Engine->FlashButtonClick(0), FlashOutcome::Completed);
    EXPECT_EQ(Virtual->RestartRequests(), 1u);
    const auto trace = Trace(Ui);
    const auto box = std::find(trace.begin(), trace.end(),
                               "box confirmation yes/NO: The system needs to be restarted for the changes to take "
                               "effect ?");
    ASSERT_NE(box, trace.end());
    EXPECT_EQ(*(box + 1), "not busy");
}

TEST_F(RunDetails, NoToTheRestartKeepsTheCompletedStatus) {
    ASSERT_EQ(Flash(), FlashOutcome::Completed);
    EXPECT_EQ(Ui.Caption, "Flash Completed.");
    EXPECT_EQ(Virtual->RestartRequests(), 0u);
}

TEST_F(RunDetails, RefreshReplacesTheEntrySelectedAtThePress) {
    ASSERT_EQ(Flash(3), FlashOutcome::Completed);
    ASSERT_EQ(Ui.ListEntries.size(), 4u);
    EXPECT_EQ(Ui.ListEntries[3], "0-0-0 V: KAVENO  CDRW 5232X      1.06");
}

TEST_F(RunDetails, SecondRunReusesTheBuffersAndStartsAfresh) {
    Setup.Kind = ImageKind::Profile;
    Build();
    ASSERT_EQ(Flash(), FlashOutcome::Completed);
    const uint8_t* step = Engine->StepBuffer;
    const uint8_t* copy = Engine->ProfileCopy;
    ASSERT_NE(step, nullptr);
    ASSERT_NE(copy, nullptr);
    // The drive now reports the new revision; a wildcard range lets it be flashed again.
    Engine.reset();
    Block.FwRange("-    -");
    Engine = std::make_unique<FlashEngine>(Ui, Block.View());
    Engine->TargetDrive = Drive.get();
    Engine->CheckNewFormatBIN();
    ASSERT_EQ(Flash(), FlashOutcome::Completed);
    ASSERT_EQ(Flash(), FlashOutcome::Completed);
    EXPECT_EQ(Vd().CommitCount(), 3u);
    EXPECT_TRUE(Engine->ProfileMatched);
}

// An image whose length is not a whole number of chunks: the last chunk goes out whole
// from the image area, is read back whole, and the bar ends full instead of wrapping.
TEST_F(RunDetails, ShortLastChunkIsSentWholeAndCompared) {
    Setup.ImageLength = 3 * 0x4000 + 100;
    Build();
    ASSERT_EQ(Flash(), FlashOutcome::Completed);
    RunShape shape;
    shape.ImageSize = Setup.ImageLength;
    EXPECT_EQ(Lines(Record()), Lines(ExpectedRun(shape)));
    const auto& last = Record()[1 + 4 + 3];  // INQUIRY, load, TUR, stop play, stop unit, 3 full chunks
    ASSERT_EQ(last.Cdb[4], 0xC0);
    EXPECT_TRUE(std::equal(last.DataOut.begin(), last.DataOut.end(), Image() + 0xC000));
    EXPECT_TRUE(FlashEqualsImage());
    const auto trace = Trace(Ui);
    EXPECT_NE(std::find(trace.begin(), trace.end(), "stepit x3 ->49152"), trace.end());
    EXPECT_NE(std::find(trace.begin(), trace.end(), "position 49252"), trace.end());
}

TEST_F(RunDetails, ImpossibleImageLengthsAreRefusedBeforeAnythingIsSent) {
    for (uint32_t length : {0u, 0x80001u, 0xFFFFFFFFu}) {
        Setup.ImageLength = length;
        Build();
        Ui.Messages.clear();
        EXPECT_EQ(Flash(), FlashOutcome::FailedBeforeCommit);
        EXPECT_EQ(Record().size(), 1u) << length;  // only the opening's INQUIRY
        ASSERT_EQ(Ui.Messages.size(), 1u);
        EXPECT_NE(Ui.Messages[0].Text.find("nothing was sent"), std::string::npos);
    }
}

}  // namespace
