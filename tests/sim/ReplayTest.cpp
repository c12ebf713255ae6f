// SPDX-License-Identifier: Apache-2.0
// Recording with the trace's data and playing back: answers as recorded, and the first
// command that differs stops the replay.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "image/TempDirectory.h"

#include "platform/TracingPlatform.h"
#include "sim/ReplayPlatform.h"
#include "sim/VirtualDrive.h"

namespace {

const uint8_t Inquiry[12] = {0x12, 0, 0, 0, 0x60, 0, 0, 0, 0, 0, 0, 0};
const uint8_t Unknown[12] = {0xEE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const uint8_t Upload[12] = {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0x10, 0, 0, 0, 0};
const uint8_t ReadBack[12] = {0x3C, 0x01, 0x01, 0, 0, 0, 0, 0x10, 0, 0, 0, 0};

// A recording of INQUIRY, an unknown command (05/20/00), an upload of 4 KiB and its read-back,
// after the line that names the drive as it was opened.
std::string Record(uint8_t fill) {
    VirtualPlatform drives(VirtualDriveConfig{});
    std::string text;
    TracingPlatform trace(drives, [&](const std::string& line) { text += line + '\n'; });
    trace.SetRecordData(true);
    const PlatformHandle handle = trace.Open(trace.EnumerateOpticalDrives().at(0).Address).Handle;
    uint8_t buffer[4096];
    CommandOutcome outcome;
    trace.Send(handle, Inquiry, DirectionIn, buffer, 0x60, 10, outcome);
    trace.Send(handle, Unknown, DirectionIn, nullptr, 0, 10, outcome);
    std::memset(buffer, fill, sizeof buffer);
    trace.Send(handle, Upload, DirectionOut, buffer, sizeof buffer, 10, outcome);
    trace.Send(handle, ReadBack, DirectionIn, buffer, sizeof buffer, 10, outcome);
    return text;
}

ReplayPlatform Replay(const std::string& text) {
    std::string error;
    std::optional<Recording> recording = ParseRecording(text, error);
    EXPECT_TRUE(recording) << error;
    return ReplayPlatform(recording.value_or(Recording{}));
}

}  // namespace

TEST(Replay, AnswersAsRecordedWithoutTheImageInTheRecording) {
    const std::string text = Record(0x5A);
    EXPECT_EQ(text.find("5a5a5a5a"), std::string::npos) << "the upload's bytes are in the recording";
    ReplayPlatform replay = Replay(text);
    const std::vector<DriveCandidate> drives = replay.EnumerateOpticalDrives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].DevicePath, "virtual:0");
    const PlatformHandle handle = replay.Open(drives[0].Address).Handle;
    ASSERT_NE(handle, NoHandle);

    uint8_t buffer[4096] = {};
    CommandOutcome outcome;
    ASSERT_TRUE(replay.Send(handle, Inquiry, DirectionIn, buffer, 0x60, 10, outcome));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer) + 8, 24), VirtualDriveConfig{}.Inquiry);
    replay.Send(handle, Unknown, DirectionIn, nullptr, 0, 10, outcome);
    EXPECT_EQ(outcome.Status, 2);
    EXPECT_EQ(outcome.Sense[2], 0x05);
    EXPECT_EQ(outcome.Sense[12], 0x20);
    std::memset(buffer, 0x5A, sizeof buffer);
    ASSERT_TRUE(replay.Send(handle, Upload, DirectionOut, buffer, sizeof buffer, 10, outcome));
    std::memset(buffer, 0, sizeof buffer);
    ASSERT_TRUE(replay.Send(handle, ReadBack, DirectionIn, buffer, sizeof buffer, 10, outcome));
    EXPECT_EQ(buffer[0], 0x5A);
    EXPECT_EQ(buffer[4095], 0x5A);
    EXPECT_FALSE(replay.Divergence());
    EXPECT_EQ(replay.Answered(), 4u);
}

TEST(Replay, TheFirstDifferenceStopsEverything) {
    const std::string text = Record(0x5A);
    struct Case {
        const uint8_t* Cdb;
        uint8_t Direction;
        uint32_t Length;
        const char* Why;
    };
    const Case cases[] = {
        {Unknown, DirectionIn, 0x60, "the CDB differs"},
        {Inquiry, DirectionOut, 0x60, "the direction differs"},
        {Inquiry, DirectionIn, 0x24, "the length differs"},
    };
    for (const Case& c : cases) {
        ReplayPlatform replay = Replay(text);
        const PlatformHandle handle = replay.Open(replay.EnumerateOpticalDrives().at(0).Address).Handle;
        uint8_t buffer[0x60] = {};
        CommandOutcome outcome;
        EXPECT_FALSE(replay.Send(handle, c.Cdb, c.Direction, buffer, c.Length, 10, outcome));
        EXPECT_EQ(outcome.Error, ReplayPlatform::DivergenceError);
        ASSERT_TRUE(replay.Divergence());
        EXPECT_EQ(replay.Divergence()->rfind(std::string("the run left the recording at command 1: ") + c.Why, 0), 0u)
            << *replay.Divergence();
        // The recorded command is now sent as recorded: still refused, the report stays the first.
        const std::string first = *replay.Divergence();
        EXPECT_FALSE(replay.Send(handle, Inquiry, DirectionIn, buffer, 0x60, 10, outcome));
        EXPECT_EQ(outcome.Error, ReplayPlatform::DivergenceError);
        EXPECT_EQ(*replay.Divergence(), first);
        EXPECT_EQ(replay.Answered(), 0u);
    }
}

TEST(Replay, OtherDataSentAndCommandsBeyondTheEndDiverge) {
    ReplayPlatform replay = Replay(Record(0x5A));
    const PlatformHandle handle = replay.Open(replay.EnumerateOpticalDrives().at(0).Address).Handle;
    uint8_t buffer[4096] = {};
    CommandOutcome outcome;
    replay.Send(handle, Inquiry, DirectionIn, buffer, 0x60, 10, outcome);
    replay.Send(handle, Unknown, DirectionIn, nullptr, 0, 10, outcome);
    std::memset(buffer, 0x5B, sizeof buffer);
    EXPECT_FALSE(replay.Send(handle, Upload, DirectionOut, buffer, sizeof buffer, 10, outcome));
    ASSERT_TRUE(replay.Divergence());
    EXPECT_NE(replay.Divergence()->find("command 3: the data sent differs (SHA-256)"), std::string::npos);
    // The file's line: the commands follow the drive's line.
    EXPECT_NE(replay.Divergence()->find("recorded (line 4): CDB 3b0501"), std::string::npos);

    const std::string text = Record(0x5A);
    ReplayPlatform shortOne = Replay(text.substr(0, text.find('\n', text.find('\n') + 1) + 1));
    const PlatformHandle h = shortOne.Open(shortOne.EnumerateOpticalDrives().at(0).Address).Handle;
    EXPECT_TRUE(shortOne.Send(h, Inquiry, DirectionIn, buffer, 0x60, 10, outcome));
    EXPECT_FALSE(shortOne.Send(h, Inquiry, DirectionIn, buffer, 0x60, 10, outcome));
    ASSERT_TRUE(shortOne.Divergence());
    EXPECT_NE(shortOne.Divergence()->find("command 2: the recording ends after 1 commands"), std::string::npos);
}

TEST(Recording, RefusesWhatItCannotReplayNamingTheLine) {
    const std::string good = Record(0x5A);
    const std::string drive = good.substr(0, good.find('\n') + 1);
    // A recording made before drives were named in it starts with its first command.
    const std::string first = good.substr(drive.size(), good.find('\n', drive.size()) + 1 - drive.size());
    std::string unknownRecord = drive;
    unknownRecord.replace(unknownRecord.find("\"drive\""), 7, "\"other\"");
    std::string other = first;
    other.replace(other.find("virtual:0"), 9, "/dev/sg3");
    std::string badDirection = first;
    badDirection.replace(badDirection.find("\"in\""), 4, "\"up\"");
    std::string shortData = first;
    shortData.erase(shortData.find("\"data\": \"") + 9, 2);
    const std::pair<std::string, std::string> cases[] = {
        {"", "holds no command"},
        {drive, "holds no command"},
        {unknownRecord + first, "line 1: a record of an unknown kind"},
        {drive + first + badDirection, "line 3: \"dir\" is neither"},
        {"\n", "line 1: not valid JSON"},
        {first + "[1, 2]\n", "line 2: not a JSON object"},
        {first + other, "line 2: a command for /dev/sg3, but the recording began with virtual:0"},
        {first + badDirection, "line 2: \"dir\" is neither"},
        {shortData, "line 1: \"data\" holds 95 bytes, not 96"},
        {first + first.substr(0, 40), "line 2: the recording ends in the middle of a line"},
    };
    for (const auto& [text, why] : cases) {
        std::string error;
        EXPECT_FALSE(ParseRecording(text, error));
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

// Only a regular file of bounded length is read, and nothing else is opened: a FIFO would
// wait for a writer for ever, and /dev/zero or a huge sparse file would be read until
// memory runs out. Each refusal names the file and the cause; a link to a recording is
// followed.
TEST(Recording, ReadsOnlyARegularFileOfBoundedLength) {
    TempDirectory temp;
    WriteFile(temp / "good.json", Record(0x5A));
    ASSERT_EQ(::symlink((temp / "good.json").c_str(), (temp / "link.json").c_str()), 0);
    ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((temp / "fifo").c_str(), (temp / "fifo-link").c_str()), 0);
    ASSERT_EQ(::mkdir((temp / "dir").c_str(), 0700), 0);
    WriteFile(temp / "huge.json", "");
    ASSERT_EQ(::truncate((temp / "huge.json").c_str(), off_t(MaxRecordingBytes) + 1), 0);  // sparse

    std::string error;
    EXPECT_TRUE(ReadRecording(temp / "link.json", error)) << error;
    const std::pair<std::string, std::string> cases[] = {
        {temp / "fifo", "it is a FIFO, not a regular file"},
        {temp / "fifo-link", "it is a FIFO, not a regular file"},
        {"/dev/zero", "it is a character device, not a regular file"},
        {temp / "dir", "it is a directory"},
        {temp / "huge.json", "is longer than the 64 MiB a recording may hold"},
        {temp / "missing.json", "No such file or directory"},
    };
    for (const auto& [path, why] : cases) {
        error.clear();
        EXPECT_FALSE(ReadRecording(path, error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}
