// SPDX-License-Identifier: Apache-2.0
#pragma once
// One optical drive: opened through a platform at construction, it sends one 12-byte
// command at a time, keeps the outcome of the last one and answers identity questions.
//
// A drive owns everything its commands need: its handle, its command timeout, its transfer
// buffer and its identity buffer. Nothing is shared between drives but the run's switch of
// sense reports (an atomic), so drives can be used
// side by side, one thread per drive (the platform takes commands for different handles from
// several threads at once; opening and closing stay on one thread).

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "scsi/CommandResult.h"
#include "scsi/Commands.h"
#include "ui/UserInterface.h"

// Whether sense reports are shown: off until a drive fails to open, then on for every later
// failure of every drive that shares the switch. The drives of one run share the run's switch
// (drives of a tower report from their threads at once, hence atomic).
struct SenseReportSwitch {
    std::atomic<bool> On = false;
};

class CDDrive {
public:
    static constexpr uint32_t TransferBufferLength = 0x4000;  // one chunk of the image
    static constexpr uint32_t IdentityBufferLength = 256;
    static constexpr uint16_t DefaultTimeout = 60;

    // Opens the drive at address and identifies it. reports, when given, is shown the open
    // failure ("Error opening: ...") and this drive's sense reports; it is not owned.
    // senseReports is the run's switch this drive turns on when it fails to open and obeys
    // afterwards (not owned); without one the drive has a switch of its own.
    CDDrive(Platform& platform, const DriveAddress& address, UserInterface* reports = nullptr,
            SenseReportSwitch* senseReports = nullptr);
    ~CDDrive();
    CDDrive(const CDDrive&) = delete;
    CDDrive& operator=(const CDDrive&) = delete;

    // Whether opening and identification succeeded; a drive that is not open takes no commands.
    bool IsOpen() const { return Handle != NoHandle; }
    // Why the drive could not be opened ("Device or resource busy"); "" when it was opened.
    const std::string& OpenProblem() const { return OpenProblem_; }

    // Sends one command; its data moves through Buffer(). A length beyond the buffer is
    // refused unsent (EINVAL). The fields below describe the command afterwards.
    CommandResult Execute(const Command& command);
    // The same from the twelve CDB bytes: 1 when the platform call succeeded and the drive
    // left no sense key, else 0 (a bare status such as busy still gives 1).
    int32_t ExecCommand(uint8_t cdb0, uint8_t cdb1, uint8_t cdb2, uint8_t cdb3, uint8_t cdb4,
                        uint8_t cdb5, uint8_t cdb6, uint8_t cdb7, uint8_t cdb8, uint8_t cdb9,
                        uint8_t cdb10, uint8_t cdb11, uint8_t direction, uint32_t length);

    // The timeout of every command that names none of its own, in seconds.
    void SetTimeout(uint16_t seconds) { Timeout_ = seconds; }
    uint16_t Timeout() const { return Timeout_; }

    uint8_t* Buffer() { return Transfer_.data(); }
    static constexpr uint32_t BufferLength() { return TransferBufferLength; }

    // Identity (INQUIRY).
    bool Identify();
    std::string IdentityLine();
    std::string ProductText() const;
    std::string RevisionText() const;
    const std::string& Identity() const { return Identity_; }
    // Why the last identification failed, naming the cause ("INQUIRY failed: sense 05/20/00");
    // "" while the drive is identified.
    const std::string& IdentityProblem() const { return IdentityProblem_; }
    // The peripheral device type of the last identification (INQUIRY byte 0, low five bits;
    // 5 is an optical drive); NoPeripheralType when it failed or the drive said no device is there.
    static constexpr uint8_t NoPeripheralType = 0x1F;
    uint8_t PeripheralType() const { return PeripheralType_; }

    // The drive as it was opened: its first identification and the device behind its node.
    // What the start-up qualified; a run checks the drive is still that drive.
    struct Opening {
        std::string Identity;
        uint8_t PeripheralType = NoPeripheralType;
        NodeDevice Device;
    };
    const Opening& AtOpening() const { return Opening_; }
    // The device behind the drive's node now (asked of the system; nothing is sent to the drive).
    NodeDevice DeviceNow() const { return Platform_.DeviceBehind(Handle); }

    // Outcome of the last command on this drive.
    bool SenseIs(uint8_t key, uint8_t asc, uint8_t ascq) const;
    bool SenseIs(uint8_t key, uint8_t asc) const;
    const CommandResult& LastResult() const { return Last_; }
    std::string ErrorText() const;
    // The last command's failure in words: the system's text, else the sense, else the status.
    std::string FailureCause() const;

    Platform& SystemPlatform() const { return Platform_; }
    // The device path the platform uses for this drive.
    const std::string& DevicePath() const { return DevicePath_; }
    // Whether the platform plays this drive (a virtual drive, or one replayed from a recording,
    // whatever device path it carries) rather than reaching a drive in the machine.
    bool IsVirtual() const { return IsVirtual_; }
    void MarkVirtual(bool isVirtual) { IsVirtual_ = isVirtual; }
    // The text of the last message this drive built (an open failure or a sense report).
    const std::string& MessageText() const { return MessageText_; }

    // Fields.
    const char DriveLetter;
    const uint8_t HostAdapter;
    const uint8_t Target;
    const uint8_t Lun;
    uint8_t SenseKey = 0;
    uint8_t Asc = 0;
    uint8_t Ascq = 0;
    uint8_t Status = 0;
    PlatformHandle Handle = NoHandle;
    int32_t LastError = 0;
    uint32_t Residual = 0;

private:
    bool OpenDevice();
    CommandResult Send(const Command& command, uint8_t* data, uint32_t capacity);
    void Record(const CommandResult& result);
    void ReportSense(int error);  // records error as LastError and shows the report when enabled

    Platform& Platform_;
    UserInterface* Reports_;
    uint16_t Timeout_ = DefaultTimeout;
    // Once any drive of the run could not be opened, every later failure shows its sense report.
    SenseReportSwitch OwnSenseReports_;
    SenseReportSwitch& SenseReports_;
    CommandResult Last_;
    std::string Identity_;
    std::string IdentityProblem_ = "not identified yet";
    uint8_t PeripheralType_ = NoPeripheralType;
    Opening Opening_;
    std::string OpenProblem_;
    std::string DevicePath_;
    bool IsVirtual_ = false;
    std::string MessageText_;
    std::array<uint8_t, TransferBufferLength> Transfer_{};
    std::array<uint8_t, IdentityBufferLength> IdentityData_{};
};
