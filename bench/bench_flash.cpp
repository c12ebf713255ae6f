// SPDX-License-Identifier: Apache-2.0
// Time of a whole flash run on the virtual drive with the real waits (30 ms polls of the
// readiness wait, the 200 ms pause after the commit), split into the waits, the time the
// (virtual) drive spends on its commands, and the program's own work. The program's own
// work should stay well under 5% of a run.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "flash/FlashRun.h"
#include "flash/RunDisplay.h"
#include "scsi/CDDrive.h"
#include "ui/SilentUserInterface.h"
#include "sim/VirtualDrive.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Passes everything on and measures the time spent sleeping and inside the drive.
class TimingPlatform : public Platform {
public:
    explicit TimingPlatform(VirtualPlatform& inner) : Inner(inner) {}
    VirtualPlatform& Inner;
    Clock::duration Slept{}, InDrive{};
    unsigned Sleeps = 0, Commands = 0;

    std::vector<DriveCandidate> EnumerateOpticalDrives() override { return Inner.EnumerateOpticalDrives(); }
    std::string DevicePath(const DriveAddress& a) const override { return Inner.DevicePath(a); }
    OpenOutcome Open(const DriveAddress& a) override { return Inner.Open(a); }
    bool Send(PlatformHandle h, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer, uint32_t length,
              uint16_t timeout, CommandOutcome& outcome) override {
        const auto start = Clock::now();
        const bool ok = Inner.Send(h, cdb, direction, buffer, length, timeout, outcome);
        InDrive += Clock::now() - start;
        ++Commands;
        return ok;
    }
    void Close(PlatformHandle h) override { Inner.Close(h); }
    std::string ErrorText(int code) const override { return Inner.ErrorText(code); }
    void Sleep(unsigned ms) override {
        const auto start = Clock::now();
        Inner.Sleep(ms);
        Slept += Clock::now() - start;
        ++Sleeps;
    }
    bool RequestRestart() override { return true; }
};

// Answers Yes to the confirmation and No to the restart question; shows nothing.
struct QuietUi : SilentUserInterface {
    QuietUi() {
        Answer = [](const MessageRequest& r) {
            if (r.Buttons == MessageButtons::Ok)
                return MessageAnswer::Ok;
            return r.Asks == Question::Restart ? MessageAnswer::No : MessageAnswer::Yes;
        };
    }
};

std::vector<uint8_t> MakeBlock(bool profileImage) {
    std::vector<uint8_t> block(Layout::TotalSize, 0);
    std::memcpy(block.data() + Layout::FwRangeOffset, "1.00-1.05", 9);
    std::memcpy(block.data() + Layout::NewFwNameOffset, "1.06", 4);
    const uint32_t length = Layout::ImageCapacity;
    for (int i = 0; i < 4; ++i)
        block[Layout::ImageLengthOffset + i] = uint8_t(length >> (8 * i));
    uint8_t* image = block.data() + Layout::BlockSize;
    for (uint32_t i = 0; i < length; ++i)
        image[i] = uint8_t(i * 7 + (i >> 11));
    image[0x1100] = profileImage ? 0x05 : 0;
    image[0x1101] = profileImage ? 0x80 : 0;
    image[0x4000] = image[0x4008] = 0;
    return block;
}

struct Figures {
    double Total, Slept, Drive, Own;
    unsigned Sleeps, Commands;
};

Figures RunOnce(bool profileImage, unsigned readyPolls) {
    VirtualDriveConfig config;
    config.Revision = "1.00";
    config.NewRevision = "1.06";
    config.ReadyPolls = readyPolls;
    VirtualPlatform virtualPlatform;
    virtualPlatform.AddDrive(config);
    virtualPlatform.SetInstantSleep(false);  // the real waits
    TimingPlatform platform(virtualPlatform);
    QuietUi ui;

    const std::vector<uint8_t> block = MakeBlock(profileImage);
    Figures f{};
    {
        const std::unique_ptr<CDDrive> drive = CDDrive::Open(platform, virtualPlatform.Drive(0).Address()).Take();
        if (!drive) {
            std::fprintf(stderr, "the virtual drive could not be opened\n");
            return f;
        }
        RunDisplay display(ui);
        FlashRun run(*drive, IdentityBlock(block.data()), ui, display);
        platform.Slept = platform.InDrive = {};
        platform.Sleeps = platform.Commands = 0;

        const auto start = Clock::now();
        const FlashReport report = run.Run(0);
        f.Total = Ms(Clock::now() - start);
        if (report.Outcome != FlashOutcome::Completed)
            std::fprintf(stderr, "run did not complete: %s\n", report.Status.c_str());
    }
    f.Slept = Ms(platform.Slept);
    f.Drive = Ms(platform.InDrive);
    f.Own = f.Total - f.Slept - f.Drive;
    f.Sleeps = platform.Sleeps;
    f.Commands = platform.Commands;
    return f;
}

void Report(const char* name, bool profileImage, unsigned readyPolls) {
    constexpr int Runs = 5;
    std::vector<Figures> runs;
    for (int i = 0; i < Runs; ++i)
        runs.push_back(RunOnce(profileImage, readyPolls));
    std::sort(runs.begin(), runs.end(), [](const Figures& a, const Figures& b) { return a.Own < b.Own; });
    const Figures& m = runs[Runs / 2];
    std::printf("%-34s total %8.2f ms | waits %8.2f ms in %3u sleeps | drive %6.2f ms in %3u commands | "
                "own work %6.2f ms = %5.2f%% of the run (target < 5%%)\n",
                name, m.Total, m.Slept, m.Sleeps, m.Drive, m.Commands, m.Own, 100.0 * m.Own / m.Total);
}

}  // namespace

int main() {
    std::printf("Full flash runs of a 524,288-byte image on the virtual drive, median of 5:\n");
    Report("plain image, drive settled", false, 0);
    Report("profile image, drive settled", true, 0);
    Report("plain image, 20 polls to settle", false, 20);
    return 0;
}
