// SPDX-License-Identifier: Apache-2.0
// The virtual drive as a device: its answers, its memory and flash, its faults and its record.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "scsi/CDDrive.h"
#include "flash/ShownDriveReports.h"
#include "scsi/CDDrives.h"
#include "sim/VirtualDrive.h"
#include "support/ScriptedUserInterface.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Answer {
    bool Ok = false;
    uint8_t Status = 0, Key = 0, Asc = 0, Ascq = 0;
    int Error = 0;
    bool TransportFailed = false;
    bool SenseIs(uint8_t k, uint8_t a, uint8_t q) const { return Key == k && Asc == a && Ascq == q; }
};

// Talks to one virtual drive directly through the platform seam.
class Host {
public:
    explicit Host(VirtualPlatform& platform, std::size_t index = 0)
        : Platform_(platform), Handle_(platform.Open(platform.Drive(index).Address()).Handle) {}
    ~Host() { Platform_.Close(Handle_); }

    Answer Send(std::initializer_list<uint8_t> bytes, uint8_t direction, Bytes& data, uint16_t timeout = 60) {
        uint8_t cdb[12] = {};
        std::copy(bytes.begin(), bytes.end(), cdb);
        CommandOutcome outcome;
        Answer answer;
        answer.Ok = Platform_.Send(Handle_, cdb, direction, data.empty() ? nullptr : data.data(),
                                   uint32_t(data.size()), timeout, outcome);
        answer.TransportFailed = outcome.TransportFailed;
        answer.Status = outcome.Status;
        answer.Key = outcome.Sense[2];
        answer.Asc = outcome.Sense[12];
        answer.Ascq = outcome.Sense[13];
        answer.Error = outcome.Error;
        return answer;
    }
    Answer Send(std::initializer_list<uint8_t> bytes) {
        Bytes none;
        return Send(bytes, DirectionIn, none);
    }
    Bytes Read(std::initializer_list<uint8_t> bytes, uint32_t length, Answer* answer = nullptr) {
        Bytes data(length, 0);
        const Answer a = Send(bytes, DirectionIn, data);
        if (answer) *answer = a;
        return data;
    }
    PlatformHandle Handle() const { return Handle_; }

private:
    VirtualPlatform& Platform_;
    PlatformHandle Handle_;
};

Bytes Pattern(std::size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 31 + seed);
    return bytes;
}

const std::initializer_list<uint8_t> Load = {0x1B, 0, 0, 0, 0x03};
const std::initializer_list<uint8_t> TestUnitReady = {0x00};
const std::initializer_list<uint8_t> ReadCapacity = {0x25};
const std::initializer_list<uint8_t> Inquiry = {0x12, 0, 0, 0, 0x80};
const std::initializer_list<uint8_t> Commit80 = {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80};

Answer WriteChunk(Host& host, uint32_t offset, Bytes data, uint8_t code = 0x00) {
    const uint32_t n = uint32_t(data.size());
    return host.Send({0x3B, 0x05, 0x01, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset), uint8_t(n >> 16),
                      uint8_t(n >> 8), uint8_t(n), code},
                     DirectionOut, data);
}

Bytes ReadChunk(Host& host, uint32_t offset, uint32_t n, Answer* answer = nullptr) {
    return host.Read({0x3C, 0x01, 0x01, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset), uint8_t(n >> 16),
                      uint8_t(n >> 8), uint8_t(n)},
                     n, answer);
}

VirtualDriveConfig Config(const std::string& options) {
    std::string error;
    auto config = ParseVirtualDriveOptions(options, VirtualDriveConfig{}, error);
    EXPECT_TRUE(config) << error;
    return config.value_or(VirtualDriveConfig{});
}

}  // namespace

TEST(VirtualDriveInquiry, ReportsARemovableOpticalDriveWithItsIdentity) {
    VirtualPlatform platform(Config("inquiry=ACME    WRITER 9000,rev=QF01"));
    Host host(platform);
    Answer answer;
    const Bytes data = host.Read(Inquiry, 128, &answer);
    ASSERT_TRUE(answer.Ok);
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    EXPECT_EQ(data[0], 0x05);
    EXPECT_EQ(data[1] & 0x80, 0x80);
    EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 32), "ACME    WRITER 9000     ");
    EXPECT_EQ(std::string(data.begin() + 32, data.begin() + 36), "QF01");
    EXPECT_EQ(data[36], 0);  // the identification field ends after the revision
}

TEST(VirtualDriveInquiry, ReturnsNoMoreThanTheAllocationLengthAndRefusesVitalProductPages) {
    VirtualPlatform platform;
    platform.AddDrive({});
    Host host(platform);
    const Bytes data = host.Read({0x12, 0, 0, 0, 10}, 64);
    EXPECT_EQ(data[9], 'I');
    EXPECT_EQ(data[10], 0);  // byte 10 was not part of the allocation
    Answer answer;
    host.Read({0x12, 0x01, 0x80, 0, 0x80}, 128, &answer);
    EXPECT_TRUE(answer.SenseIs(0x05, 0x24, 0x00));
}

TEST(VirtualDriveReadiness, BecomesReadyAfterTheConfiguredPollsThenReportsNoMedium) {
    VirtualPlatform platform(Config("ready=2"));
    Host host(platform);
    EXPECT_TRUE(host.Send(TestUnitReady).SenseIs(0x02, 0x3A, 0x00));  // nothing loaded yet
    host.Send(Load);
    EXPECT_TRUE(host.Send(ReadCapacity).SenseIs(0x02, 0x04, 0x01));  // not counted as a poll
    EXPECT_TRUE(host.Send(TestUnitReady).SenseIs(0x02, 0x04, 0x01));
    EXPECT_TRUE(host.Send(TestUnitReady).SenseIs(0x02, 0x04, 0x01));
    EXPECT_TRUE(host.Send(TestUnitReady).SenseIs(0x02, 0x3A, 0x00));
    EXPECT_TRUE(host.Send(ReadCapacity).SenseIs(0x02, 0x3A, 0x00));
    // A second load starts the settling again; stop and eject do not.
    host.Send({0x1B, 0, 0, 0, 0x00});
    EXPECT_TRUE(host.Send(TestUnitReady).SenseIs(0x02, 0x3A, 0x00));
    host.Send(Load);
    EXPECT_TRUE(host.Send(TestUnitReady).SenseIs(0x02, 0x04, 0x01));
}

TEST(VirtualDriveReadiness, ADiscMakesTheDriveReadyWithACapacity) {
    VirtualPlatform platform(Config("disc=1"));
    Host host(platform);
    host.Send(Load);
    Answer answer = host.Send(TestUnitReady);
    EXPECT_TRUE(answer.Ok);
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    EXPECT_EQ(answer.Status, 0);
    const Bytes capacity = host.Read(ReadCapacity, 8, &answer);
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    EXPECT_EQ(capacity[6], 0x08);  // block length 2048
    EXPECT_NE(capacity[1] | capacity[2] | capacity[3], 0);

    platform.Drive(0).SetDisc(false);
    answer = host.Send(ReadCapacity);
    EXPECT_TRUE(answer.SenseIs(0x02, 0x3A, 0x00));
    EXPECT_EQ(answer.Status, 0x02);
}

TEST(VirtualDriveMemory, ChunksRoundTripAndStayWithinTheMemory) {
    VirtualPlatform platform;
    platform.AddDrive({});
    Host host(platform);
    const Bytes chunk = Pattern(0x4000, 7);
    EXPECT_TRUE(WriteChunk(host, 0x4000, chunk).SenseIs(0, 0, 0));
    Answer answer;
    EXPECT_EQ(ReadChunk(host, 0x4000, 0x4000, &answer), chunk);
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    EXPECT_EQ(platform.Drive(0).Memory()[0x3FFF], VirtualDrive::MemoryFill);
    EXPECT_EQ(platform.Drive(0).Memory()[0x8000], VirtualDrive::MemoryFill);

    // The last bytes of the memory are reachable; one byte more is not, and changes nothing.
    const uint32_t last = VirtualDrive::MemorySize - 16;
    EXPECT_TRUE(WriteChunk(host, last, Pattern(16, 1)).SenseIs(0, 0, 0));
    EXPECT_TRUE(WriteChunk(host, last, Pattern(17, 2)).SenseIs(0x05, 0x24, 0x00));
    EXPECT_EQ(ReadChunk(host, last, 16), Pattern(16, 1));
    ReadChunk(host, last, 17, &answer);
    EXPECT_TRUE(answer.SenseIs(0x05, 0x24, 0x00));
}

TEST(VirtualDriveMemory, RefusesAnUploadWhoseDataDoesNotMatchItsCount) {
    VirtualPlatform platform;
    platform.AddDrive({});
    Host host(platform);
    Bytes data = Pattern(100, 3);
    // Count field says 0x4000 but only 100 bytes come.
    EXPECT_TRUE(host.Send({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x40, 0x00, 0x00}, DirectionOut, data).SenseIs(0x05, 0x24, 0x00));
    // Right count, but sent as data in.
    EXPECT_TRUE(host.Send({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 100, 0x00}, DirectionIn, data).SenseIs(0x05, 0x24, 0x00));
    // Another mode or buffer id.
    EXPECT_TRUE(host.Send({0x3B, 0x02, 0x01, 0, 0, 0, 0, 0, 100, 0x00}, DirectionOut, data).SenseIs(0x05, 0x24, 0x00));
    EXPECT_EQ(platform.Drive(0).Memory()[0], VirtualDrive::MemoryFill);
}

TEST(VirtualDriveProfile, ProfileFormsLandAtTheirOffsetsAndEntryCriticalIsCounted) {
    VirtualPlatform platform;
    platform.AddDrive({});
    Host host(platform);
    const Bytes profile = Pattern(318, 9);
    // Profile form: byte 3 = 08 puts it at 0x80000, where Read Profile finds it.
    EXPECT_TRUE(WriteChunk(host, 0x80000, profile, 0x7F).SenseIs(0, 0, 0));
    EXPECT_EQ(host.Read({0x3C, 0x01, 0x01, 0x08, 0, 0, 0, 0x01, 0x3E}, 318), profile);
    // DVD form: byte 3 = 00 puts it at 0.
    const Bytes dvd = Pattern(1280, 4);
    EXPECT_TRUE(WriteChunk(host, 0, dvd, 0x7F).SenseIs(0, 0, 0));
    EXPECT_EQ(Bytes(platform.Drive(0).Memory().begin(), platform.Drive(0).Memory().begin() + 1280), dvd);
    EXPECT_EQ(platform.Drive(0).LastProfile(), dvd);

    EXPECT_EQ(platform.Drive(0).EntryCriticalCount(), 0u);
    EXPECT_TRUE(host.Send({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x7F}).SenseIs(0, 0, 0));
    EXPECT_EQ(platform.Drive(0).EntryCriticalCount(), 1u);
    // The same bytes sent as data out are an empty profile upload, not entry critical.
    Bytes none;
    EXPECT_TRUE(host.Send({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x7F}, DirectionOut, none).SenseIs(0, 0, 0));
    EXPECT_EQ(platform.Drive(0).EntryCriticalCount(), 1u);
    EXPECT_TRUE(platform.Drive(0).LastProfile().empty());
    // An unknown vendor code in byte 9.
    EXPECT_TRUE(host.Send({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x55}).SenseIs(0x05, 0x24, 0x00));
}

TEST(VirtualDriveCommit, CopiesTheImageAreaIntoFlashAndReportsTheNewRevision) {
    VirtualPlatform platform(Config("rev=QF01,newrev=QFA0"));
    Host host(platform);
    const VirtualDrive& drive = platform.Drive(0);
    const Bytes chunk = Pattern(0x4000, 5);
    WriteChunk(host, 0x7C000, chunk);
    WriteChunk(host, 0x80000, Pattern(16, 8), 0x7F);  // the profile is not part of the flash
    EXPECT_EQ(drive.Flash(), Bytes(VirtualDrive::ImageAreaSize, VirtualDrive::FlashFill));
    EXPECT_EQ(drive.Revision(), "QF01");

    Bytes reply(16, 0xAA);
    const Answer answer = host.Send(Commit80, DirectionIn, reply);
    EXPECT_TRUE(answer.Ok);
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    EXPECT_EQ(reply, Bytes(16, 0));
    EXPECT_EQ(drive.Flash(), Bytes(drive.Memory().begin(), drive.Memory().begin() + VirtualDrive::ImageAreaSize));
    EXPECT_EQ(Bytes(drive.Flash().begin() + 0x7C000, drive.Flash().end()), chunk);
    EXPECT_EQ(drive.CommitCount(), 1u);
    EXPECT_EQ(drive.LastCommitCode(), 0x80);
    const Bytes inquiry = host.Read(Inquiry, 128);
    EXPECT_EQ(std::string(inquiry.begin() + 32, inquiry.begin() + 36), "QFA0");

    host.Send({0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0xA0}, DirectionIn, reply);
    EXPECT_EQ(drive.CommitCount(), 2u);
    EXPECT_EQ(drive.LastCommitCode(), 0xA0);
}

TEST(VirtualDriveCommit, TakesTheConfiguredTime) {
    VirtualPlatform platform(Config("commit-ms=60"));
    Host host(platform);
    Bytes reply(16);
    const auto start = std::chrono::steady_clock::now();
    std::thread commit([&] { host.Send(Commit80, DirectionIn, reply); });
    // Another thread sees the commit running until it has answered.
    while (!platform.Drive(0).CommitRunning() && platform.Drive(0).CommitCount() == 0)
        std::this_thread::yield();
    commit.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_FALSE(platform.Drive(0).CommitRunning());
    EXPECT_EQ(platform.Drive(0).CommitCount(), 1u);
}

// A commit longer than the time the program gives it is answered as the system answers a late
// drive: a timeout once that time has passed. The drive goes on and writes its flash.
TEST(VirtualDriveCommit, LongerThanItsTimeoutTimesOutAndTheDriveGoesOn) {
    VirtualPlatform platform(Config("commit-ms=1500,newrev=QFA0"));
    Host host(platform);
    Bytes reply(16);
    const Answer late = host.Send(Commit80, DirectionIn, reply, 1);
    EXPECT_FALSE(late.Ok);
    EXPECT_EQ(late.Error, ETIMEDOUT);
    EXPECT_TRUE(late.TransportFailed);
    EXPECT_EQ(platform.Drive(0).Commands().back().Error, ETIMEDOUT);
    EXPECT_EQ(platform.Drive(0).CommitCount(), 1u);
    EXPECT_EQ(platform.Drive(0).Revision(), "QFA0");
    EXPECT_TRUE(host.Send(Commit80, DirectionIn, reply, 2).Ok) << "within its time it answers";

    // The program's 180 s through a drive, with the waits of tests instant: the same answer at once.
    VirtualPlatform instant(Config("commit-ms=600000"));
    instant.SetInstantSleep(true);
    const std::unique_ptr<CDDrive> drive = CDDrive::Open(instant, {'V', 0, 0, 0}).Take();
    ASSERT_TRUE(drive);
    const CommandResult result = drive->Execute(Commands::Commit(false));
    EXPECT_EQ(result.Category, CommandCategory::TransportError);
    EXPECT_EQ(result.SystemError, ETIMEDOUT);
    EXPECT_EQ(instant.Drive(0).CommitCount(), 1u);
}

// An unplugged drive gets nothing: every later command fails in the system with ENODEV, and
// its node leads to no device.
TEST(VirtualDriveUnplug, AfterItsCommandTheDriveIsGone) {
    VirtualPlatform platform(Config("unplug=2"));
    Host host(platform);
    EXPECT_TRUE(host.Send(TestUnitReady).Ok);
    EXPECT_FALSE(platform.DeviceBehind(host.Handle()).Gone);
    EXPECT_TRUE(host.Send(TestUnitReady).Ok);
    EXPECT_TRUE(platform.Drive(0).Unplugged());
    const Answer gone = host.Send(Inquiry);
    EXPECT_FALSE(gone.Ok);
    EXPECT_EQ(gone.Error, ENODEV);
    EXPECT_EQ(platform.Drive(0).Commands().size(), 2u) << "a command to a device that is gone never reaches it";
    EXPECT_TRUE(platform.DeviceBehind(host.Handle()).Gone);
}

TEST(VirtualDriveVendor, AnswersFlashIdZoneMapAndFlashWritesAndRefusesTheUnknown) {
    VirtualPlatform platform(Config("chip=BFD60001"));
    Host host(platform);
    Answer answer;
    const Bytes id = host.Read({0xDF, 0x11, 0x00}, 128, &answer);
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    EXPECT_EQ(Bytes(id.begin(), id.begin() + 4), (Bytes{0xBF, 0xD6, 0x00, 0x01}));
    EXPECT_EQ(id[4], 0);
    const Bytes zones = host.Read({0xDF, 0x11, 0x01}, 128, &answer);
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    EXPECT_EQ(zones[5], 5);
    EXPECT_TRUE(host.Send({0xDF, 0x0A, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56}).SenseIs(0, 0, 0));
    Bytes one = {0x77};
    EXPECT_TRUE(host.Send({0xDF, 0x0A, 0, 0, 0, 0, 0, 0x12, 0x34, 0x77}, DirectionOut, one).SenseIs(0, 0, 0));
    EXPECT_TRUE(host.Send({0xDF, 0x11, 0x02}).SenseIs(0x05, 0x24, 0x00));
    EXPECT_TRUE(host.Send({0xDF, 0x33}).SenseIs(0x05, 0x24, 0x00));
    answer = host.Send({0x28});  // READ(10): not something this drive does
    EXPECT_TRUE(answer.Ok);
    EXPECT_EQ(answer.Status, 0x02);
    EXPECT_TRUE(answer.SenseIs(0x05, 0x20, 0x00));
    EXPECT_TRUE(host.Send({0x4E}).SenseIs(0, 0, 0));
}

TEST(VirtualDriveRecord, RecordsEveryCommandWithItsOutcome) {
    VirtualPlatform platform(Config("timeout=3"));
    Host host(platform);
    host.Read(Inquiry, 128);
    const Bytes chunk = Pattern(32, 1);
    WriteChunk(host, 0x10, chunk);
    host.Send(TestUnitReady);
    host.Send({0x99});

    const auto& commands = platform.Drive(0).Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].Number, 1u);
    EXPECT_EQ(commands[0].Opcode(), 0x12);
    EXPECT_EQ(commands[0].Direction, DirectionIn);
    EXPECT_EQ(commands[0].Length, 128u);
    EXPECT_TRUE(commands[0].DataOut.empty());
    EXPECT_EQ(commands[1].Cdb, (std::array<uint8_t, 12>{0x3B, 0x05, 0x01, 0, 0, 0x10, 0, 0, 0x20, 0, 0, 0}));
    EXPECT_EQ(commands[1].Direction, DirectionOut);
    EXPECT_EQ(commands[1].DataOut, chunk);
    EXPECT_EQ(commands[2].Error, ETIMEDOUT);
    EXPECT_EQ(commands[2].Key, 0);
    EXPECT_EQ(commands[3].Status, 0x02);
    EXPECT_EQ(commands[3].Key, 0x05);
    EXPECT_EQ(commands[3].Asc, 0x20);
}

// ---- Faults ---------------------------------------------------------------------------

TEST(VirtualDriveFaults, SenseFaultFailsThatCommandOnlyAndDoesNotCarryItOut) {
    VirtualPlatform platform(Config("fail=2:03/0C/00"));
    Host host(platform);
    const Bytes chunk = Pattern(64, 2);
    Answer answer = WriteChunk(host, 0, chunk);  // command 1 succeeds
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    answer = WriteChunk(host, 0x100, chunk);  // command 2 fails
    EXPECT_TRUE(answer.Ok);
    EXPECT_EQ(answer.Status, 0x02);
    EXPECT_TRUE(answer.SenseIs(0x03, 0x0C, 0x00));
    EXPECT_EQ(platform.Drive(0).Memory()[0x100], VirtualDrive::MemoryFill);
    EXPECT_TRUE(WriteChunk(host, 0x100, chunk).SenseIs(0, 0, 0));  // command 3 again succeeds
}

TEST(VirtualDriveFaults, StatusAndPlatformErrorsAndTimeoutsLeaveNoSense) {
    VirtualPlatform platform(Config("status=1:08,error=2:EIO,timeout=3"));
    Host host(platform);
    Bytes reply(16);
    Answer busy = host.Send(Commit80, DirectionIn, reply);
    EXPECT_TRUE(busy.Ok);
    EXPECT_EQ(busy.Status, 0x08);
    EXPECT_TRUE(busy.SenseIs(0, 0, 0));
    EXPECT_EQ(platform.Drive(0).CommitCount(), 0u);  // a busy drive did not commit

    Answer io = host.Send(Commit80, DirectionIn, reply);
    EXPECT_FALSE(io.Ok);
    EXPECT_EQ(io.Error, EIO);
    EXPECT_TRUE(io.SenseIs(0, 0, 0));

    Answer late = host.Send(Commit80, DirectionIn, reply);
    EXPECT_FALSE(late.Ok);
    EXPECT_EQ(late.Error, ETIMEDOUT);
    EXPECT_EQ(late.Status, 0);
    EXPECT_TRUE(late.SenseIs(0, 0, 0));
    EXPECT_EQ(platform.Drive(0).CommitCount(), 0u);
    EXPECT_EQ(platform.Drive(0).Flash()[0], VirtualDrive::FlashFill);

    EXPECT_TRUE(host.Send(Commit80, DirectionIn, reply).Ok);
    EXPECT_EQ(platform.Drive(0).CommitCount(), 1u);
}

TEST(VirtualDriveFaults, CorruptAltersExactlyOneByteOfTheReadDataButNotTheMemory) {
    VirtualPlatform platform(Config("corrupt=2,corrupt=3"));
    Host host(platform);
    const Bytes chunk = Pattern(0x4000, 11);
    WriteChunk(host, 0, chunk);  // command 1; corrupt=2 hits the read
    Answer answer;
    const Bytes back = ReadChunk(host, 0, 0x4000, &answer);
    EXPECT_TRUE(answer.SenseIs(0, 0, 0));
    int differences = 0;
    for (std::size_t i = 0; i < chunk.size(); ++i)
        differences += back[i] != chunk[i];
    EXPECT_EQ(differences, 1);
    EXPECT_EQ(Bytes(platform.Drive(0).Memory().begin(), platform.Drive(0).Memory().begin() + 0x4000), chunk);
    // A corrupted command without read data is simply carried out.
    EXPECT_TRUE(host.Send(TestUnitReady).SenseIs(0x02, 0x3A, 0x00));
    EXPECT_EQ(ReadChunk(host, 0, 0x4000), chunk);
}

TEST(VirtualDriveFaults, CountInquiryAsTheFirstCommand) {
    ScriptedUserInterface ui;
    VirtualPlatform platform(Config("fail=1:05/24/00,count=2"));
    platform.Drive(1).ClearFaults();
    {
        ShownDriveReports reports(ui);
        CDDrives drives(platform, &reports);
        ASSERT_EQ(drives.Count(), 1);  // drive 0 failed its INQUIRY
        EXPECT_EQ(drives.Current()->DevicePath(), "virtual:1");
        EXPECT_TRUE(ui.Messages.empty());  // no sense report before an open failure
    }
    EXPECT_EQ(platform.OpenHandles(), 0u);
}

TEST(VirtualDriveFaults, AFaultAddedAtRunTimeCountsFromTheStart) {
    VirtualPlatform platform;
    platform.AddDrive({});
    Host host(platform);
    host.Send(TestUnitReady);
    platform.Drive(0).AddFault({2, VirtualFaultKind::Sense, 0x04, 0x44, 0x00});
    EXPECT_TRUE(host.Send(TestUnitReady).SenseIs(0x04, 0x44, 0x00));
}

// ---- Platform -------------------------------------------------------------------------

TEST(VirtualPlatformDrives, SeveralDrivesHaveTheirOwnAddressesPathsAndRecords) {
    VirtualPlatform platform(Config("count=3"));
    const auto candidates = platform.EnumerateOpticalDrives();
    ASSERT_EQ(candidates.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(candidates[i].IsVirtual);
        EXPECT_EQ(candidates[i].DevicePath, "virtual:" + std::to_string(i));
        EXPECT_EQ(platform.DevicePath(candidates[i].Address), candidates[i].DevicePath);
        EXPECT_TRUE(IsVirtualDevicePath(candidates[i].DevicePath));
        EXPECT_EQ(candidates[i].ScsiAddress, "0:0:" + std::to_string(i) + ":0");
    }
    EXPECT_FALSE(candidates[0].Address == candidates[1].Address);
    Host second(platform, 1);
    second.Send(TestUnitReady);
    EXPECT_EQ(platform.Drive(0).Commands().size(), 0u);
    EXPECT_EQ(platform.Drive(1).Commands().size(), 1u);
    EXPECT_EQ(platform.DevicePath({'Q', 9, 9, 0}), "");
}

TEST(VirtualPlatformDrives, DriveListTakesAtMost24) {
    VirtualPlatform platform(Config("count=30"));
    {
        CDDrives drives(platform);
        EXPECT_EQ(drives.Count(), 24);
        EXPECT_EQ(drives.Item(23)->DevicePath(), "virtual:23");
        EXPECT_EQ(platform.Drive(24).Commands().size(), 0u);  // never probed
        EXPECT_EQ(drives.Item(1)->IdentityLine(), "0-1-0 V: VIRTUAL OPTICAL DRIVE   1.00");
    }
}

TEST(VirtualPlatformDrives, OpenFailureAndClosedHandlesGiveSystemErrors) {
    VirtualPlatform platform(Config("open-error=EACCES"));
    const OpenOutcome denied = platform.Open(platform.Drive(0).Address());
    EXPECT_EQ(denied.Handle, NoHandle);
    EXPECT_EQ(denied.Error, EACCES);
    EXPECT_EQ(platform.Open({'Q', 9, 9, 0}).Error, ENOENT);

    VirtualPlatform plain;
    plain.AddDrive({});
    const OpenOutcome opened = plain.Open(plain.Drive(0).Address());
    EXPECT_EQ(opened.Error, 0);
    const PlatformHandle handle = opened.Handle;
    plain.Close(handle);
    const uint8_t cdb[12] = {};
    CommandOutcome outcome;
    EXPECT_FALSE(plain.Send(handle, cdb, DirectionIn, nullptr, 0, 60, outcome));
    EXPECT_EQ(outcome.Error, EBADF);
    EXPECT_EQ(plain.ErrorText(EBADF), std::strerror(EBADF));
    EXPECT_EQ(plain.ErrorText(99999), "");
}

TEST(VirtualPlatformDrives, SleepIsCountedRestartIsOnlyRecordedAndARunClaimsNothing) {
    VirtualPlatform platform;
    platform.SetInstantSleep(true);
    platform.Sleep(30);
    platform.Sleep(200);
    EXPECT_EQ(platform.SleptMilliseconds(), 230u);
    EXPECT_TRUE(platform.RequestRestart());
    EXPECT_EQ(platform.RestartRequests(), 1u);

    platform.AddDrive({});
    const PlatformHandle handle = platform.Open(platform.Drive(0).Address()).Handle;
    std::string why = "stale", notice;
    EXPECT_NE(platform.ClaimForRun(handle, why, &notice), nullptr);
    EXPECT_EQ(why, "");
    EXPECT_EQ(notice, "");
    platform.Close(handle);
}

TEST(VirtualDriveWithCDDrive, IdentityLineShowsTheNewRevisionAfterACommit) {
    VirtualPlatform platform(Config("inquiry=KAVENO  QRW-70514S,rev=QF01,newrev=QFA0"));
    {
        const std::unique_ptr<CDDrive> drive = CDDrive::Open(platform, {'V', 0, 0, 0}).Take();
        ASSERT_TRUE(drive);
        EXPECT_EQ(drive->IdentityLine(), "0-0-0 V: KAVENO  QRW-70514S      QF01");
        EXPECT_EQ(drive->ProductText(), "KAVENO  QRW-70514S      ");
        EXPECT_EQ(drive->RevisionText(), "QF01");
        EXPECT_TRUE(drive->Execute(Commands::Commit(false)).Good());
        EXPECT_EQ(drive->IdentityLine(), "0-0-0 V: KAVENO  QRW-70514S      QFA0");
        EXPECT_EQ(drive->RevisionText(), "QFA0");
    }
}

// A renewed drive is a new one (for the fuzzer, which renews per input): what was uploaded,
// committed and received is gone, the configuration stays; an open drive is not renewed.
TEST(VirtualPlatformDrives, RenewedDrivesAreAsNewAtTheirAddresses) {
    VirtualPlatform platform(Config("rev=QF01,newrev=QFA0"));
    const DriveAddress address = platform.Drive(0).Address();
    {
        Host host(platform);
        WriteChunk(host, 0, Pattern(0x4000, 5));
        Bytes reply(16);
        host.Send(Commit80, DirectionIn, reply);
        EXPECT_THROW(platform.RenewDrives(), std::logic_error);
    }
    ASSERT_EQ(platform.Drive(0).Revision(), "QFA0");
    platform.RenewDrives();
    const VirtualDrive& drive = platform.Drive(0);
    EXPECT_EQ(drive.Address(), address);
    EXPECT_EQ(drive.Revision(), "QF01");
    EXPECT_EQ(drive.CommitCount(), 0u);
    EXPECT_TRUE(drive.Commands().empty());
    EXPECT_EQ(drive.Memory(), Bytes(VirtualDrive::MemorySize, VirtualDrive::MemoryFill));
    EXPECT_EQ(drive.Flash(), Bytes(VirtualDrive::ImageAreaSize, VirtualDrive::FlashFill));
    Host host(platform);
    const Bytes inquiry = host.Read(Inquiry, 128);
    EXPECT_EQ(std::string(inquiry.begin() + 32, inquiry.begin() + 36), "QF01");
}
