// SPDX-License-Identifier: Apache-2.0
#pragma once
// One optical drive: opened and identified through a platform by CDDrive::Open, it sends one
// 12-byte command at a time, keeps the outcome of the last one and answers identity questions.
// There is no drive that is not open: opening gives either a drive or why there is none.
//
// A drive owns everything its commands need: its handle, its command timeout, its transfer
// buffer and its identity buffer. Nothing is shared between drives but the list's sense
// reports (see DriveReports.h), so drives can be used side by side, one thread per drive (the
// platform takes commands for different handles from several threads at once; opening and
// closing stay on one thread).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "platform/Platform.h"
#include "scsi/CommandResult.h"
#include "scsi/Commands.h"
#include "scsi/DriveReports.h"

class DriveOpening;

// Why a drive could not be opened, or was opened but did not identify itself (it is closed again).
struct DriveOpenFailure {
    enum class Kind { NotOpened, Unidentified };
    Kind What = Kind::NotOpened;
    std::string DevicePath;
    int SystemError = 0;  // the system's error number of a failed open; 0 for an unidentified drive
    // In words: the system's text ("Permission denied"), or the failed INQUIRY
    // ("INQUIRY failed: sense 05/24/00").
    std::string Cause;
    // For a drive not opened, what the person is shown, in this order: the message
    // ("Error opening: 13, Drive: /dev/sg1") and the sense report of the failure.
    std::string Message;
    std::string SenseReport;
};

class CDDrive {
public:
    static constexpr uint32_t TransferBufferLength = 0x4000;  // one chunk of the image
    static constexpr uint32_t IdentityBufferLength = 256;
    static constexpr uint16_t DefaultTimeout = 60;

    // Opens the drive at address and identifies it. senseReports, when given, is where the
    // drive's sense reports go while they are on (not owned; it outlives the drive).
    static DriveOpening Open(Platform& platform, const DriveAddress& address, SenseReports* senseReports = nullptr);
    ~CDDrive();
    CDDrive(const CDDrive&) = delete;
    CDDrive& operator=(const CDDrive&) = delete;

    // Sends one command; its data moves through Buffer(). A length beyond the buffer is
    // refused unsent (EINVAL). LastResult() describes the command afterwards.
    CommandResult Execute(const Command& command);

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
    NodeDevice DeviceNow() const { return Platform_.DeviceBehind(Handle_); }

    // Outcome of the last command on this drive.
    bool SenseIs(uint8_t key, uint8_t asc, uint8_t ascq) const;
    bool SenseIs(uint8_t key, uint8_t asc) const;
    const CommandResult& LastResult() const { return Last_; }
    // The last command's sense, status and system error as the messages show them ("04 44 00. 02, 0000").
    std::string ErrorText() const;
    // The last command's failure in words: the system's text, else the sense, else the status.
    std::string FailureCause() const;

    Platform& SystemPlatform() const { return Platform_; }
    // The platform's handle of the open drive.
    PlatformHandle Handle() const { return Handle_; }
    // The device path the platform uses for this drive.
    const std::string& DevicePath() const { return DevicePath_; }
    // Whether the platform plays this drive (a virtual drive, or one replayed from a recording,
    // whatever device path it carries) rather than reaching a drive in the machine.
    bool IsVirtual() const { return IsVirtual_; }
    void MarkVirtual(bool isVirtual) { IsVirtual_ = isVirtual; }

    // Where the drive sits.
    const char DriveLetter;
    const uint8_t HostAdapter;
    const uint8_t Target;
    const uint8_t Lun;

private:
    CDDrive(Platform& platform, const DriveAddress& address, PlatformHandle handle, std::string devicePath,
            SenseReports* senseReports);
    CommandResult Send(const Command& command, uint8_t* data, uint32_t capacity);
    // Records error as the last command's and shows its sense report when the reports are on.
    void ReportSense(int error);

    Platform& Platform_;
    const PlatformHandle Handle_;
    const std::string DevicePath_;
    SenseReports* SenseReports_;
    uint16_t Timeout_ = DefaultTimeout;
    CommandResult Last_;
    std::string Identity_;
    std::string IdentityProblem_ = "not identified yet";
    uint8_t PeripheralType_ = NoPeripheralType;
    Opening Opening_;
    bool IsVirtual_ = false;
    std::array<uint8_t, TransferBufferLength> Transfer_{};
    std::array<uint8_t, IdentityBufferLength> IdentityData_{};
};

// What opening a drive gave: the open, identified drive, or why there is none.
class DriveOpening {
public:
    explicit DriveOpening(std::unique_ptr<CDDrive> drive) : Result_(std::move(drive)) {}
    explicit DriveOpening(DriveOpenFailure failure) : Result_(std::move(failure)) {}

    // Whether the drive opened (it may have been taken since).
    bool Opened() const { return std::holds_alternative<std::unique_ptr<CDDrive>>(Result_); }
    // The drive, handed over (null when opening failed or it was taken already).
    std::unique_ptr<CDDrive> Take() {
        auto* drive = std::get_if<std::unique_ptr<CDDrive>>(&Result_);
        return drive ? std::move(*drive) : nullptr;
    }
    // Why there is no drive; null when it opened.
    const DriveOpenFailure* Failure() const { return std::get_if<DriveOpenFailure>(&Result_); }

private:
    std::variant<std::unique_ptr<CDDrive>, DriveOpenFailure> Result_;
};
