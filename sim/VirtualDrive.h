// SPDX-License-Identifier: Apache-2.0
#pragma once
// Optical drives that exist only in memory, reached through the same platform seam as
// real ones. People use them to try the program without risking a drive; tests use them
// to see the exact command traffic and to make any command fail.
//
// A virtual drive answers INQUIRY, TEST UNIT READY, READ CAPACITY, START STOP UNIT,
// STOP PLAY/SCAN, WRITE BUFFER mode 5 and READ BUFFER mode 1 into its memory (the image
// area at 0 and a profile at 0x80000), the 0xDF vendor commands (flash ID, zone map,
// E2/flash writes), entry critical and the commit, which copies the image area of its
// memory into its flash and from then on reports the new revision. Anything else gets
// ILLEGAL REQUEST 05/20/00; bad fields get 05/24/00.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "scsi/Commands.h"
#include "platform/Platform.h"
#include "sim/VirtualDriveOptions.h"

// One command as the drive received it and how it ended.
struct RecordedCommand {
    uint32_t Number = 0;  // counting from 1, per drive
    std::array<uint8_t, 12> Cdb{};
    uint8_t Direction = 0;
    uint32_t Length = 0;
    uint8_t Status = 0;
    uint8_t Key = 0, Asc = 0, Ascq = 0;  // sense bytes 2, 12, 13
    int Error = 0;                       // platform error, 0 when the platform call succeeded
    uint32_t Returned = 0;               // bytes the drive placed in the buffer (data in)
    std::vector<uint8_t> DataOut;        // what the host sent (data-out commands only)

    uint8_t Opcode() const { return Cdb[0]; }
};

class VirtualDrive {
public:
    static constexpr uint32_t ImageAreaSize = Layout::ImageCapacity;
    static constexpr uint32_t ProfileAreaOffset = ::ProfileAreaOffset;
    static constexpr uint32_t MemorySize = 0x81000;
    static constexpr uint32_t FlashIdLength = CommandLength::FlashInfo;
    static constexpr uint8_t MemoryFill = 0xE5;  // what the memory holds before any upload
    static constexpr uint8_t FlashFill = 0xFF;   // what the flash holds before any commit

    VirtualDrive(const VirtualDriveConfig& config, DriveAddress address, std::string devicePath);

    // Carries out one command (faults included) and records it. timeoutSeconds is the time the
    // program gives the command (0: no limit): a commit that takes longer is answered with
    // ETIMEDOUT once that time has passed, as the system does when a real drive is late; the
    // drive writes its flash all the same. An unplugged drive gets nothing: the command fails
    // with ENODEV and is not recorded.
    void Execute(const uint8_t cdb[12], uint8_t direction, uint8_t* buffer, uint32_t length,
                 CommandOutcome& outcome, uint16_t timeoutSeconds = 0);
    // Whether the drive has been unplugged (VirtualDriveConfig::UnplugAfter).
    bool Unplugged() const { return Config_.UnplugAfter != 0 && Received_ >= Config_.UnplugAfter; }
    // A wait that ends in a command's timeout passes at once (tests): the answer is the same.
    void SetInstantTimeouts(bool instant) { InstantTimeouts_ = instant; }

    const DriveAddress& Address() const { return Address_; }
    const std::string& DevicePath() const { return DevicePath_; }
    const VirtualDriveConfig& Config() const { return Config_; }

    const std::vector<RecordedCommand>& Commands() const { return Commands_; }
    const std::vector<uint8_t>& Memory() const { return Storage().Memory; }
    const std::vector<uint8_t>& Flash() const { return Storage().Flash; }
    const std::string& Revision() const { return Revision_; }  // what INQUIRY reports now
    // These two may be read from another thread while a command runs (a window test
    // watching a slow commit); everything else is read once the commands have answered.
    unsigned CommitCount() const { return CommitCount_; }
    bool CommitRunning() const { return CommitRunning_; }
    uint8_t LastCommitCode() const { return LastCommitCode_; }  // 0x80 or 0xA0; 0 before any commit
    unsigned EntryCriticalCount() const { return EntryCriticalCount_; }  // 7F without data, sent as data in
    const std::vector<uint8_t>& LastProfile() const { return LastProfile_; }  // the last 7F upload with data
    bool HasDisc() const { return Disc_; }

    // Changes at run time, for tests.
    void SetDisc(bool present) { Disc_ = present; }
    void AddFault(const VirtualFault& fault) { Config_.Faults.push_back(fault); }
    void ClearFaults() { Config_.Faults.clear(); }
    void ClearCommands() { Commands_.clear(); }

    // The same drive as new, from its configuration (faults added since included): nothing
    // received, memory and flash as before any upload, the first revision. It takes over the
    // memory this one holds rather than allocating it again; this one is left without.
    std::unique_ptr<VirtualDrive> Renewed();

private:
    struct Reply {
        uint8_t Key = 0, Asc = 0, Ascq = 0;
        uint32_t Returned = 0;  // bytes placed in the buffer
        bool Late = false;      // carried out, but after the command's timeout: the host saw none of it
    };
    Reply Carry(const uint8_t* cdb, uint8_t direction, uint8_t* buffer, uint32_t length);
    Reply Inquiry(const uint8_t* cdb, uint8_t* buffer, uint32_t length);
    Reply TestUnitReady();
    Reply ReadCapacity(uint8_t* buffer, uint32_t length);
    Reply WriteBuffer(const uint8_t* cdb, uint8_t direction, uint8_t* buffer, uint32_t length);
    Reply ReadBuffer(const uint8_t* cdb, uint8_t direction, uint8_t* buffer, uint32_t length);
    Reply Vendor(const uint8_t* cdb, uint8_t direction, uint8_t* buffer, uint32_t length);
    const VirtualFault* FaultFor(uint32_t number) const;

    // Memory and flash come into being at first use: a list of many drives stays cheap.
    struct Store {
        std::vector<uint8_t> Memory;
        std::vector<uint8_t> Flash;
    };
    Store& Storage() const;

    VirtualDriveConfig Config_;
    DriveAddress Address_;
    std::string DevicePath_;
    mutable std::unique_ptr<Store> Store_;
    std::string Revision_;
    bool Disc_ = false;
    unsigned BecomingReady_ = 0;
    uint32_t Received_ = 0;
    uint16_t CommandTimeout_ = 0;  // the timeout of the command being carried out, in seconds
    bool InstantTimeouts_ = false;
    std::atomic<unsigned> CommitCount_ = 0;
    std::atomic<bool> CommitRunning_ = false;
    uint8_t LastCommitCode_ = 0;
    unsigned EntryCriticalCount_ = 0;
    std::vector<uint8_t> LastProfile_;
    std::vector<RecordedCommand> Commands_;
};

// The platform back-end that holds the virtual drives. Addresses are host adapter 0,
// target = index, LUN 0, letter 'V'; device paths are "virtual:0", "virtual:1", ...
class VirtualPlatform : public Platform {
public:
    VirtualPlatform() = default;
    explicit VirtualPlatform(const VirtualDriveConfig& config);  // config.Count identical drives

    // Adds one more drive; returns it.
    VirtualDrive& AddDrive(const VirtualDriveConfig& config);
    // Every drive as new (VirtualDrive::Renewed), at its address: a fuzzer gives each input
    // fresh drives without their memory's cost. None may be open (std::logic_error).
    void RenewDrives();

    std::size_t DriveCount() const { return Drives_.size(); }
    VirtualDrive& Drive(std::size_t index) { return *Drives_.at(index); }
    const VirtualDrive& Drive(std::size_t index) const { return *Drives_.at(index); }

    // Sleep() pauses for real unless instant (tests); either way the total is counted. Instant,
    // a commit that outlasts its command's timeout also ends at once (a shorter one still takes
    // its time, for tests that watch it).
    void SetInstantSleep(bool instant);
    uint64_t SleptMilliseconds() const { return Slept_; }
    unsigned RestartRequests() const { return RestartRequests_; }
    unsigned OpenHandles() const { return unsigned(Open_.size()); }

    std::vector<DriveCandidate> EnumerateOpticalDrives() override;
    std::string DevicePath(const DriveAddress& address) const override;
    OpenOutcome Open(const DriveAddress& address) override;
    bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
              uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) override;
    void Close(PlatformHandle handle) override;
    std::string ErrorText(int code) const override;
    void Sleep(unsigned milliseconds) override;
    // Never restarts anything: a virtual drive needs no restart. Counted for tests.
    bool RequestRestart() override;
    bool VirtualDrives() const override { return true; }
    // The stand-in profiles (sim/StandInProfiles.h).
    std::span<const uint8_t> StandInProfiles() const override;
    // Nothing for a drive that is there (its node never leads elsewhere); none for one unplugged.
    NodeDevice DeviceBehind(PlatformHandle handle) const override;
    // Refused, as another holder or a missing permission refuses a real drive's, for a drive
    // whose configuration has a ClaimError.
    std::unique_ptr<RunClaim> ClaimForRun(PlatformHandle handle, std::string& why, std::string* notice) override;

private:
    VirtualDrive* Find(const DriveAddress& address) const;

    std::vector<std::unique_ptr<VirtualDrive>> Drives_;
    std::unordered_map<PlatformHandle, VirtualDrive*> Open_;
    PlatformHandle NextHandle_ = 100;
    bool InstantSleep_ = false;
    std::atomic<uint64_t> Slept_ = 0;
    unsigned RestartRequests_ = 0;
};

// Whether a device path names a virtual drive.
bool IsVirtualDevicePath(const std::string& path);
