// SPDX-License-Identifier: Apache-2.0
// Whole flash runs on the virtual drive for every image kind: the exact command traffic,
// the profile that reached the drive, the flash and revision afterwards, and every text,
// progress value and cursor change shown on the way.

#include <barrier>
#include <thread>

#include "SequenceExpectations.h"
#include "flash/ProfileData.h"
#include "flash/RunDisplay.h"
#include "sim/StandInProfiles.h"

namespace {

struct FullRunCase {
    const char* Name;
    ImageType Kind;
    std::array<uint8_t, 4> Chip;
    std::string Note;
    bool Matched;
    uint32_t ProfileLength;
    std::vector<uint8_t> ProfileHeader;  // the prepared profile's header; the blob follows
    uint32_t BlobOffset;
};

class FullRun : public EngineFixture, public ::testing::WithParamInterface<FullRunCase> {};

std::vector<std::string> ExpectedTrace(ImageType kind, const std::string& identityLine) {
    std::vector<std::string> t = {"box confirmation yes/NO: \nUpdate FW:1.00 to FW:1.06 ?\n", "range 0..524288",
                                  "busy"};
    if (kind != ImageType::Plain)
        t.push_back("status: Write profile to drive's DRAM... ");
    t.insert(t.end(), {"status: Write BIN to drive's DRAM... ", "position 0", "positions x32 ->524288"});
    if (kind == ImageType::Profile)
        t.push_back("status: Drive entry critical... ");
    t.insert(t.end(), {"status: Read back and Verify drive's DRAM... ", "position 0", "positions x32 ->524288",
                       "status: Don't turn off the system, Flash is in progress...", "range 0..200",
                       "positions x2 ->200", "status: Flash Completed.",
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
    if (c.Kind != ImageType::Plain) {
        std::vector<uint8_t> profile = c.ProfileHeader;
        const uint32_t blobBytes = c.ProfileLength - uint32_t(std::min<size_t>(c.ProfileLength, c.ProfileHeader.size()));
        if (c.Matched)
            profile.insert(profile.end(), StandInProfiles().begin() + c.BlobOffset,
                           StandInProfiles().begin() + c.BlobOffset + blobBytes);
        profile.resize(c.ProfileLength);
        std::vector<uint8_t> sent;
        for (const auto& r : Record())
            if (r.Opcode() == 0x3B && r.Cdb[9] == 0x7F && r.Length > 0)
                sent = r.DataOut;
        EXPECT_EQ(sent, profile);
    }

    EXPECT_TRUE(FlashEqualsImage());
    EXPECT_EQ(Vd().CommitCount(), 1u);
    EXPECT_EQ(Vd().Revision(), "1.06");
    // A DVD image's empty profile upload carries the same bytes as entry critical; the drive
    // tells them apart by direction (the upload is data out, entry critical data in).
    EXPECT_EQ(Vd().EntryCriticalCount(), c.Kind == ImageType::Profile ? 1u : 0u);
    const std::string identity = "0-0-0 V: KAVENO  CDRW 5232X      1.06";
    EXPECT_EQ(Trace(Ui), ExpectedTrace(c.Kind, identity));
    ASSERT_EQ(Ui.ListEntries.size(), 1u);
    EXPECT_EQ(Ui.ListEntries[0], identity);
    EXPECT_FALSE(Ui.BusyCursor);

    // The commit alone runs under the long timeout; afterwards the normal one is back.
    ExpectTimeouts();
    EXPECT_EQ(Report.Step, FlashStep::Restart);
    EXPECT_FALSE(Report.Failure);
    EXPECT_EQ(Report.NewIdentity, identity);
    // One 30 ms poll and the 200 ms pause after the commit.
    EXPECT_EQ(Virtual->SleptMilliseconds(), 30u + 200u);
    EXPECT_EQ(Virtual->RestartRequests(), 0u);
}

const std::vector<uint8_t> NoMatch = {0xFF, 0xFF, 0x00, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Kinds, FullRun,
    ::testing::Values(
        FullRunCase{"Plain", ImageType::Plain, {0xDA, 0xC8, 0, 0}, "", false, 0, {}, 0},
        FullRunCase{"FlashAll", ImageType::Plain, {0xDA, 0xC8, 0, 0}, "FLASH-ALL chips", false, 0, {}, 0},
        FullRunCase{"ProfileA", ImageType::Profile, {0xDA, 0xC8, 0, 0}, "", true, 318, {0xDA, 0xC8, 0x01, 0x3A}, 0},
        FullRunCase{"ProfileB", ImageType::Profile, {0xBF, 0xB4, 0, 0}, "", true, 456, {0xBF, 0xB4, 0x01, 0xC4}, 314},
        FullRunCase{"ProfileC", ImageType::Profile, {0xBF, 0xD6, 0, 1}, "", true, 1284, {0xBF, 0xD6, 0x05, 0x00}, 766},
        FullRunCase{"ProfileC2", ImageType::Profile, {0xBF, 0xB6, 9, 9}, "", true, 1284, {0xBF, 0xB6, 0x05, 0x00},
                    766},
        FullRunCase{"ProfileD", ImageType::Profile, {0x37, 0x8C, 0, 1}, "", true, 1284, {0x37, 0x8C, 0x05, 0x00},
                    2046},
        FullRunCase{"ProfileNoMatch", ImageType::Profile, {0x01, 0x02, 0, 0}, "", false, 4, NoMatch, 0},
        FullRunCase{"DvdMatch", ImageType::Dvd, {0xBF, 0xD6, 0, 1}, "", true, 1280,
                    {0xBF, 0xD6, 0x00, 0x01, 0x05, 0x00}, 766},
        FullRunCase{"DvdNoMatch", ImageType::Dvd, {0xBF, 0xD6, 0, 0}, "", false, 0, {}, 0}),
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
    }
}

TEST_F(RunDetails, YesToTheRestartAsksTheSystemOnceWithTheDefaultCursor) {
    ASSERT_EQ(RunWith({MessageAnswer::Yes, MessageAnswer::Yes}), FlashOutcome::Completed);
    EXPECT_EQ(Virtual->RestartRequests(), 1u);
    EXPECT_TRUE(Report.RestartRequested);
    EXPECT_EQ(Ui.Messages.back().Asks, Question::Restart);
    const auto trace = Trace(Ui);
    const auto box = std::find(trace.begin(), trace.end(),
                               "box confirmation yes/NO: The system needs to be restarted for the changes to take "
                               "effect ?");
    ASSERT_NE(box, trace.end());
    EXPECT_EQ(*(box + 1), "not busy");
}

TEST_F(RunDetails, RefreshReplacesTheEntrySelectedAtThePress) {
    ASSERT_EQ(Flash(3), FlashOutcome::Completed);
    ASSERT_EQ(Ui.ListEntries.size(), 4u);
    EXPECT_EQ(Ui.ListEntries[3], "0-0-0 V: KAVENO  CDRW 5232X      1.06");
}

// A run keeps nothing from the one before: after a failed run, the same run object flashes
// the drive twice with the same commands, and its reports name no failure.
TEST_F(RunDetails, SecondRunStartsAfresh) {
    Setup.Kind = ImageType::Profile;
    Setup.FwRange = "-    -";  // the drive may be flashed again at the new revision
    Build();
    Vd().AddFault({8, VirtualFaultKind::Sense, 0x04, 0x40, 0x81});  // the first run's first chunk write
    RunDisplay display(Ui);
    FlashRun run(*Drive, Block.View(), Ui, display);
    const RunShape shape{.Kind = ImageType::Profile, .Matched = true, .ProfileLength = 318};
    for (int i = 0; i < 3; ++i) {
        const size_t before = Record().size();
        Ui.Answers = {MessageAnswer::Yes, MessageAnswer::No};
        const FlashReport report = run.Run(0);
        EXPECT_EQ(report.Outcome, i == 0 ? FlashOutcome::FailedBeforeCommit : FlashOutcome::Completed) << i;
        EXPECT_EQ(report.Failure.has_value(), i == 0) << i;
        if (i > 0) {
            EXPECT_EQ(Lines(Record(), before), Lines(ExpectedRun(shape))) << i;
        }
    }
    EXPECT_EQ(Vd().CommitCount(), 2u);
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
    EXPECT_NE(std::find(trace.begin(), trace.end(), "positions x4 ->49252"), trace.end());
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

// The stand-in profiles never reach a drive behind a platform that is not the virtual drive:
// without the maker's profiles a profile or DVD image is refused before anything is sent
// and before any question; with them, the maker's bytes are what the drive receives.
TEST_F(RunDetails, ProfileImagesOnARealDriveNeedTheMakersProfiles) {
    for (ImageType kind : {ImageType::Profile, ImageType::Dvd}) {
        Setup.Kind = kind;
        Setup.Drive.ChipId = {0xBF, 0xD6, 0, 1};
        Build();
        Recorder->StandsForRealDrive = true;
        Ui.Messages.clear();
        EXPECT_EQ(RunWith({}), FlashOutcome::FailedBeforeCommit);
        EXPECT_EQ(Record().size(), 1u);  // only the opening's INQUIRY: not even the flash ID
        ASSERT_EQ(Ui.Messages.size(), 1u);
        EXPECT_NE(Ui.Messages[0].Text.find("virtual:0"), std::string::npos);
        EXPECT_NE(Ui.Messages[0].Text.find("--profiles"), std::string::npos);

        std::vector<uint8_t> maker(Profiles::DataSize);
        for (std::size_t i = 0; i < maker.size(); ++i)
            maker[i] = uint8_t(i * 13 + 5);
        Control.MakerProfiles = maker;
        Build();
        Recorder->StandsForRealDrive = true;
        ASSERT_EQ(Flash(), FlashOutcome::Completed);
        std::vector<uint8_t> sent;
        for (const auto& r : Record())
            if (r.Opcode() == 0x3B && r.Cdb[9] == 0x7F && r.Length > 0)
                sent = r.DataOut;
        const std::size_t header = kind == ImageType::Dvd ? 6 : 4;  // blob C follows its header
        ASSERT_EQ(sent.size(), 1284u - (kind == ImageType::Dvd ? 4 : 0));
        EXPECT_TRUE(std::equal(sent.begin() + header, sent.end(), maker.begin() + 766)) << int(kind);
        Control.MakerProfiles = {};
    }
}

// A rehearsal sends everything a full run sends up to the read-back, but neither entry
// critical nor the commit: the flash stays as it was and no restart is asked about.
TEST_F(RunDetails, RehearsalStopsAfterTheComparison) {
    Setup.Kind = ImageType::Profile;
    Setup.Drive.ChipId = {0xBF, 0xD6, 0, 1};
    Build();
    Control.NoCommit = true;
    EXPECT_EQ(RunWith({MessageAnswer::Yes}), FlashOutcome::Rehearsed);
    RunShape shape;
    shape.Kind = ImageType::Profile;
    shape.Matched = true;
    shape.ProfileLength = 1284;
    std::vector<ExpectedCommand> expected = ExpectedRun(shape);
    std::erase_if(expected, [](const ExpectedCommand& c) {
        return c.What == Role::EntryCritical || c.What == Role::Commit || c.What == Role::Inquiry;
    });
    EXPECT_EQ(Lines(Record()), Lines(expected));
    EXPECT_TRUE(FlashUntouched());
    EXPECT_EQ(Vd().CommitCount(), 0u);
    EXPECT_EQ(Vd().EntryCriticalCount(), 0u);
    EXPECT_TRUE(Ui.Answers.empty());  // the confirmation only
    ASSERT_FALSE(Ui.Messages.empty());
    EXPECT_NE(Ui.Messages.back().Text.find("flash was not changed"), std::string::npos);
    EXPECT_EQ(Ui.Caption, "Rehearsal complete, flash not changed.");
}

// Two runs at once in one process, each with its own drive, front end and run, share nothing:
// in lock-step from poll to poll, each drive gets its own image and exactly one commit.
TEST(ConcurrentRuns, TwoDrivesAreFlashedAtOnceEachByItsOwnRun) {
    struct Side {
        EngineSetup Setup;
        IdentityBlockBuffer Block = MakeBlock(Setup);
        VirtualPlatform Platform{Setup.Drive};
        ScriptedUserInterface Ui;
        FlashReport Report;
    } sides[2];
    for (uint32_t i = 0; i < Layout::ImageCapacity; ++i)
        sides[1].Block.Bytes[Layout::BlockSize + i] ^= 0xFF;  // the images differ in every byte
    std::barrier lockStep(2);
    std::vector<std::thread> threads;
    for (Side& side : sides)
        threads.emplace_back([&side, &lockStep] {
            side.Platform.SetInstantSleep(true);
            side.Ui.Answers = {MessageAnswer::Yes, MessageAnswer::No};
            const std::unique_ptr<CDDrive> drive = CDDrive::Open(side.Platform, DriveAddress{'V', 0, 0, 0}).Take();
            if (!drive) {
                ADD_FAILURE() << "the virtual drive did not open";
                lockStep.arrive_and_drop();
                return;
            }
            RunControl control;
            control.StopRequested = [&] {
                lockStep.arrive_and_wait();
                return false;
            };
            RunDisplay display(side.Ui);
            side.Report = FlashRun(*drive, side.Block.View(), side.Ui, display, control).Run(0);
            lockStep.arrive_and_drop();
        });
    for (std::thread& thread : threads)
        thread.join();
    for (Side& side : sides) {
        EXPECT_EQ(side.Report.Outcome, FlashOutcome::Completed);
        const VirtualDrive& drive = side.Platform.Drive(0);
        EXPECT_EQ(drive.CommitCount(), 1u);
        EXPECT_TRUE(std::equal(drive.Flash().begin(), drive.Flash().begin() + Layout::ImageCapacity,
                               side.Block.Bytes.begin() + Layout::BlockSize));
    }
}

}  // namespace
