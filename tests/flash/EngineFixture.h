#pragma once
// A flash engine wired to one virtual drive and a scripted user interface, with an
// identity block and image made in memory. Sleeps are counted, not slept.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "IdentityBlockBuffer.h"
#include "flash/FlashEngine.h"
#include "scsi/CDDrive.h"
#include "sim/VirtualDrive.h"
#include "support/ScriptedUserInterface.h"

enum class ImageKind { Plain, Profile, Dvd };

// Passes everything to the virtual platform and notes the timeout each command was sent with.
class TimeoutRecordingPlatform : public Platform {
public:
    explicit TimeoutRecordingPlatform(VirtualPlatform& inner) : Inner(inner) {}
    VirtualPlatform& Inner;
    std::vector<uint16_t> Timeouts;

    std::vector<DriveCandidate> EnumerateOpticalDrives() override { return Inner.EnumerateOpticalDrives(); }
    std::string DevicePath(const DriveAddress& a) const override { return Inner.DevicePath(a); }
    PlatformHandle Open(const DriveAddress& a) override { return Inner.Open(a); }
    bool Send(PlatformHandle h, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer, uint32_t length,
              uint16_t timeoutSeconds, CommandOutcome& outcome) override {
        Timeouts.push_back(timeoutSeconds);
        return Inner.Send(h, cdb, direction, buffer, length, timeoutSeconds, outcome);
    }
    void Close(PlatformHandle h) override { Inner.Close(h); }
    int LastError() const override { return Inner.LastError(); }
    std::string ErrorText(int code) const override { return Inner.ErrorText(code); }
    void Sleep(unsigned ms) override { Inner.Sleep(ms); }
    bool RequestRestart() override { return Inner.RequestRestart(); }
};

// The image bytes every test image starts from: no two chunks alike.
inline void FillImage(std::vector<uint8_t>& bytes) {
    uint8_t* image = bytes.data() + Layout::BlockSize;
    for (uint32_t i = 0; i < Layout::ImageCapacity; ++i)
        image[i] = uint8_t((i * 7) ^ (i >> 9) ^ (i >> 14) * 31);
    // No marker unless a test places one.
    for (uint32_t at : {0x1100u, 0x4000u, 0x4008u})
        image[at] = image[at + 1] = 0;
}

inline void PlaceKind(std::vector<uint8_t>& bytes, ImageKind kind) {
    uint8_t* image = bytes.data() + Layout::BlockSize;
    if (kind == ImageKind::Profile) {
        image[0x1100] = 0x05;
        image[0x1101] = 0x80;
    } else if (kind == ImageKind::Dvd) {
        image[0x4000] = 0x05;
        image[0x4001] = 0x80;
        std::memcpy(image + 0x4010, "DVD-ROM QMR-204", 15);
    }
}

struct EngineSetup {
    ImageKind Kind = ImageKind::Plain;
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

class EngineFixture : public ::testing::Test {
protected:
    static constexpr uint32_t IoBufferSize = 0x4000;

    ~EngineFixture() override { TearDownEngine(); }

    // Builds everything anew from the setup (tests may call it again after changing Setup).
    void Build() {
        TearDownEngine();
        Block = IdentityBlockBuffer();
        Block.FwRange(Setup.FwRange).NewFwName(Setup.NewFwName).Note(Setup.Note).ImageLength(Setup.ImageLength);
        Block.Inquiry(Setup.Drive.Inquiry);
        FillImage(Block.Bytes);
        PlaceKind(Block.Bytes, Setup.Kind);

        Virtual = std::make_unique<VirtualPlatform>();
        Virtual->AddDrive(Setup.Drive);
        Virtual->SetInstantSleep(true);
        Recorder = std::make_unique<TimeoutRecordingPlatform>(*Virtual);
        CDDrive::SetPlatform(Recorder.get());
        CDDrive::SetUserInterface(&Ui);
        CDDrive::ResetClassState();
        Drive = std::make_unique<CDDrive>('V', 0, 0, 0);
        ASSERT_EQ(CDDrive::OpenStatus(), CDDrive::OpenOk);
        CDDrive::SetBuffer(IoBuffer.data(), IoBufferSize);
        Engine = std::make_unique<FlashEngine>(Ui, Block.View());
        Engine->TargetDrive = Drive.get();
        Engine->CheckNewFormatBIN();
    }

    void TearDownEngine() {
        Engine.reset();
        Drive.reset();
        CDDrive::SetBuffer(nullptr, 0);
        CDDrive::ResetClassState();
    }

    VirtualDrive& Vd() { return Virtual->Drive(0); }
    const std::vector<RecordedCommand>& Record() { return Vd().Commands(); }
    const uint8_t* Image() const { return Block.Bytes.data() + Layout::BlockSize; }

    // Runs FLASH with Yes to the confirmation and No to the restart question.
    FlashOutcome Flash(int index = 0) {
        Ui.Answers = {MessageAnswer::Yes, MessageAnswer::No};
        return Engine->FlashButtonClick(index);
    }

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

    EngineSetup Setup;
    IdentityBlockBuffer Block;
    ScriptedUserInterface Ui;
    std::unique_ptr<VirtualPlatform> Virtual;
    std::unique_ptr<TimeoutRecordingPlatform> Recorder;
    std::unique_ptr<CDDrive> Drive;
    std::vector<uint8_t> IoBuffer = std::vector<uint8_t>(IoBufferSize);
    std::unique_ptr<FlashEngine> Engine;
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
