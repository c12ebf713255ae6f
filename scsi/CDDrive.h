#pragma once
// One optical drive: opens it, sends one 12-byte command at a time through the
// platform seam, keeps the sense outcome and answers identity questions.
//
// Some state is class-wide, one per process, shared by all drives: the platform,
// the command timeout, the transfer buffer, the open count and the sense-report
// switch. ResetClassState() puts it back to its start values (tests use it).

#include <cstdint>
#include <string>

#include "scsi/Commands.h"
#include "platform/Platform.h"
#include "ui/UserInterface.h"

class CDDrive {
public:
    // Values of OpenStatus().
    static constexpr uint8_t OpenOk = 0x00;
    static constexpr uint8_t OpenAspiSupportFailed = 0x60;
    static constexpr uint8_t OpenAspiEntryMissing = 0x61;
    static constexpr uint8_t OpenAspiLoadFailed = 0x62;
    static constexpr uint8_t OpenFailed = 0x63;

    static constexpr uint32_t DefaultBufferLength = 2352;
    static constexpr uint32_t IdentityBufferLength = 256;
    static constexpr uint16_t DefaultTimeout = 60;

    CDDrive(char letter, uint8_t hostAdapter, uint8_t target, uint8_t lun);
    ~CDDrive();
    CDDrive(const CDDrive&) = delete;
    CDDrive& operator=(const CDDrive&) = delete;

    // Outcome of the most recent construction (class-wide).
    static uint8_t OpenStatus();

    // Sends one command. direction 1 = data in, anything else = data out; length 0 = no data.
    // Data moves through the class-wide transfer buffer, or IdentityBuffer during Identify.
    // Returns 1 on success, 0 on failure; the sense fields describe the command afterwards.
    // A length beyond the buffer in use (BufferLength, or 256 during Identify) is refused:
    // result 0, LastError EINVAL, nothing sent.
    int32_t ExecCommand(uint8_t cdb0, uint8_t cdb1, uint8_t cdb2, uint8_t cdb3, uint8_t cdb4,
                        uint8_t cdb5, uint8_t cdb6, uint8_t cdb7, uint8_t cdb8, uint8_t cdb9,
                        uint8_t cdb10, uint8_t cdb11, uint8_t direction, uint32_t length);

    // ExecCommand of a command built in scsi/Commands.h.
    int32_t Execute(const Command& command);

    // Class-wide command timeout in seconds, for all drives.
    static void SetTimeout(uint16_t seconds);
    static uint16_t GetTimeout();

    // Installs a caller-owned transfer buffer; nullptr restores the 2352-byte default.
    static void SetBuffer(uint8_t* buffer, uint32_t length);
    static uint8_t* Buffer();
    static uint32_t BufferLength();

    // Identity (INQUIRY).
    bool Identify();
    std::string IdentityLine();
    std::string ProductText() const;
    std::string RevisionText() const;
    const std::string& Identity() const { return Identity_; }
    // Why the last identification failed, naming the cause ("INQUIRY failed: sense 05/20/00");
    // "" while the drive is identified.
    const std::string& IdentityProblem() const { return IdentityProblem_; }

    // Outcome of the last command on this drive.
    bool SenseIs(uint8_t key, uint8_t asc, uint8_t ascq) const;
    bool SenseIs(uint8_t key, uint8_t asc) const;
    std::string ErrorText() const;
    // The last command's failure in words: the system's text, else the sense, else the status.
    std::string FailureCause() const;

    // Fields.
    char DriveLetter;
    uint8_t HostAdapter;
    uint8_t Target;
    uint8_t Lun;
    uint8_t SenseKey = 0;
    uint8_t Asc = 0;
    uint8_t Ascq = 0;
    uint8_t Status = 0;
    PlatformHandle Handle = NoHandle;
    uint32_t Access = 0xC0000000;
    uint32_t ShareMode = 1;
    int32_t LastError = 0;
    // Bytes of the last command's data phase that the drive did not move (a short transfer).
    uint32_t Residual = 0;

    // The device path the platform uses for this drive ("" before it was opened).
    const std::string& DevicePath() const { return DevicePath_; }

    // Class-wide state.
    static Platform* SystemPlatform();            // never null once set
    static void SetPlatform(Platform* platform);  // not owned
    static UserInterface* Ui();
    static void SetUserInterface(UserInterface* ui);  // not owned; null shows nothing
    static bool ShowSense();
    static uint16_t OpenCount();
    static const std::string& MessageText();
    static uint8_t* IdentityBuffer();
    static void ResetClassState();

private:
    bool OpenDevice();
    void ReportSense(int error);  // records error as LastError and shows the report when enabled

    std::string Identity_;
    std::string IdentityProblem_ = "not identified yet";
    std::string DevicePath_;
};
