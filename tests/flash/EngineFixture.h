// SPDX-License-Identifier: Apache-2.0
#pragma once
// A flash run wired to one virtual drive and a scripted user interface, with an identity
// block and image made in memory. Sleeps are counted, not slept.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IdentityBlockBuffer.h"
#include "flash/FlashRun.h"
#include "flash/RunDisplay.h"
#include "session/Consent.h"
#include "scsi/CDDrive.h"
#include "sim/VirtualDrive.h"
#include "support/ScriptedUserInterface.h"

enum class ImageType { Plain, Profile, Dvd };

// Passes everything to the virtual platform and notes the timeout each command was sent with.
// With StandsForRealDrive it keeps the seam's default for the stand-in profiles, as every
// platform that is not the virtual drive does.
class TimeoutRecordingPlatform : public Platform {
public:
    explicit TimeoutRecordingPlatform(VirtualPlatform& inner) : Inner(inner) {}
    VirtualPlatform& Inner;
    std::vector<uint16_t> Timeouts;
    bool StandsForRealDrive = false;
    // What the drive's INQUIRY answers are changed to from now on (another drive behind the
    // node), and the device the system names behind it.
    std::function<void(uint8_t* answer)> AlterInquiry;
    NodeDevice Device;

    NodeDevice DeviceBehind(PlatformHandle) const override { return Device; }

    std::span<const uint8_t> StandInProfiles() const override {
        return StandsForRealDrive ? Platform::StandInProfiles() : Inner.StandInProfiles();
    }
    std::vector<DriveCandidate> EnumerateOpticalDrives() override { return Inner.EnumerateOpticalDrives(); }
    std::string DevicePath(const DriveAddress& a) const override { return Inner.DevicePath(a); }
    OpenOutcome Open(const DriveAddress& a) override { return Inner.Open(a); }
    bool Send(PlatformHandle h, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer, uint32_t length,
              uint16_t timeoutSeconds, CommandOutcome& outcome) override {
        {
            // Drives run at once send at once, as a platform allows: the record is shared.
            const std::lock_guard<std::mutex> lock(TimeoutsMutex_);
            Timeouts.push_back(timeoutSeconds);
        }
        const bool sent = Inner.Send(h, cdb, direction, buffer, length, timeoutSeconds, outcome);
        if (cdb[0] == 0x12 && AlterInquiry && length >= 36)
            AlterInquiry(buffer);
        return sent;
    }
    void Close(PlatformHandle h) override { Inner.Close(h); }
    std::string ErrorText(int code) const override { return Inner.ErrorText(code); }
    void Sleep(unsigned ms) override { Inner.Sleep(ms); }
    bool RequestRestart() override { return Inner.RequestRestart(); }

private:
    std::mutex TimeoutsMutex_;
};

struct EngineSetup {
    ImageType Kind = ImageType::Plain;
    uint32_t ImageLength = Layout::ImageCapacity;
    std::string FwRange = "1.00-1.05";
    std::string NewFwName = "1.06";
    std::string Note = "";
    VirtualDriveConfig Drive = [] {
        VirtualDriveConfig c;
        c.Inquiry = "KAVENO  CDRW 5232X      ";
        c.Revision = "1.00";
        c.NewRevision = "1.06";
        return c;
    }();
};

// The block and image of a setup. The image bytes differ in every chunk; there is no marker
// unless the kind places one.
inline IdentityBlockBuffer MakeBlock(const EngineSetup& setup) {
    IdentityBlockBuffer block;
    block.FwRange(setup.FwRange).NewFwName(setup.NewFwName).Note(setup.Note).ImageLength(setup.ImageLength);
    block.Inquiry(setup.Drive.Inquiry);
    uint8_t* image = block.Bytes.data() + Layout::BlockSize;
    for (uint32_t i = 0; i < Layout::ImageCapacity; ++i)
        image[i] = uint8_t((i * 7) ^ (i >> 9) ^ (i >> 14) * 31);
    for (uint32_t at : {0x1100u, 0x4000u, 0x4008u})
        image[at] = image[at + 1] = 0;
    if (setup.Kind == ImageType::Profile) {
        image[0x1100] = 0x05;
        image[0x1101] = 0x80;
    } else if (setup.Kind == ImageType::Dvd) {
        image[0x4000] = 0x05;
        image[0x4001] = 0x80;
        std::memcpy(image + 0x4010, "DVD-ROM QMR-204", 15);
    }
    return block;
}

class EngineFixture : public ::testing::Test {
protected:
    // Builds everything anew from the setup (tests may call it again after changing Setup).
    void Build() {
        Commands.reset();
        Drive.reset();
        Block = MakeBlock(Setup);
        Virtual = std::make_unique<VirtualPlatform>();
        Virtual->AddDrive(Setup.Drive);
        Virtual->SetInstantSleep(true);
        Recorder = std::make_unique<TimeoutRecordingPlatform>(*Virtual);
        Drive = CDDrive::Open(*Recorder, DriveAddress{'V', 0, 0, 0}).Take();
        ASSERT_TRUE(Drive);
        Commands = std::make_unique<DriveCommands>(*Drive, Ui);
        Kind = ImageKindOf(Block.View());
    }

    VirtualDrive& Vd() { return Virtual->Drive(0); }
    const std::vector<RecordedCommand>& Record() { return Vd().Commands(); }
    const uint8_t* Image() const { return Block.Bytes.data() + Layout::BlockSize; }

    // Runs FLASH on the drive with the given answers, keeping the report.
    FlashOutcome RunWith(std::deque<MessageAnswer> answers, int index = 0) {
        Ui.Answers = std::move(answers);
        RunDisplay display(Ui);
        // As a person's single drive is flashed: checked, confirmed, run, the restart asked after the commit.
        Report = FlashWithConsent(*Drive, Block.View(), Ui, display, Control, [&](RunControl control) {
            return FlashRun(*Drive, Block.View(), Ui, display, std::move(control)).Run(index);
        });
        return Report.Outcome;
    }
    // Runs FLASH with Yes to the confirmation and No to the restart question.
    FlashOutcome Flash(int index = 0) { return RunWith({MessageAnswer::Yes, MessageAnswer::No}, index); }

    bool FlashEqualsImage() const {
        const auto& flash = Virtual->Drive(0).Flash();
        return std::memcmp(flash.data(), Image(), Setup.ImageLength) == 0;
    }
    bool FlashUntouched() const {
        for (uint8_t b : Virtual->Drive(0).Flash())
            if (b != VirtualDrive::FlashFill)
                return false;
        return true;
    }
    // Every command from `from` on went out with the normal 60 s, the commit alone with 180 s.
    void ExpectTimeouts(size_t from = 0) {
        ASSERT_EQ(Recorder->Timeouts.size(), Record().size());
        for (size_t i = from; i < Record().size(); ++i)
            EXPECT_EQ(Recorder->Timeouts[i], Record()[i].Opcode() == 0x3B && (Record()[i].Cdb[9] & 0x80) ? 180 : 60)
                << i;
    }

    EngineSetup Setup;
    IdentityBlockBuffer Block;
    ScriptedUserInterface Ui;
    RunControl Control;
    FlashReport Report;
    ImageKind Kind;
    std::unique_ptr<VirtualPlatform> Virtual;
    std::unique_ptr<TimeoutRecordingPlatform> Recorder;
    std::unique_ptr<CDDrive> Drive;
    std::unique_ptr<DriveCommands> Commands;
};

using Cdb12 = std::array<uint8_t, 12>;

inline std::string Hex(const std::array<uint8_t, 12>& cdb) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (uint8_t b : cdb) {
        text += digits[b >> 4];
        text += digits[b & 15];
        text += ' ';
    }
    return text;
}
