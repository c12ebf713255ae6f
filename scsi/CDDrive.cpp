// SPDX-License-Identifier: Apache-2.0
#include "scsi/CDDrive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string Format(const char* format, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

constexpr std::size_t IdentificationWidth = 28;
constexpr uint8_t StatusGood = 0x00;

// The report shown for a failed command (or open) once the sense reports are on.
std::string SenseReportText(const Platform& platform, const CommandResult& result, int error) {
    const std::string systemText = platform.ErrorText(error);
    if (!systemText.empty())
        return Format("SenseCode: %02X %02X %02X, %02X, Error: %d, %s", result.SenseKey, result.Asc, result.Ascq,
                      result.Status, error, systemText.c_str());
    return Format("SenseCode: %02X %02X %02X, %02X, Error: %d, Format message failed.", result.SenseKey, result.Asc,
                  result.Ascq, result.Status, error);
}

// A system error in words: the system's text, else its number.
std::string SystemErrorInWords(const Platform& platform, int error) {
    const std::string text = platform.ErrorText(error);
    return text.empty() ? "system error " + std::to_string(error) : text;
}

}  // namespace

CDDrive::CDDrive(Platform& platform, const DriveAddress& address, PlatformHandle handle, std::string devicePath,
                 SenseReports* senseReports)
    : DriveLetter(address.Letter), HostAdapter(address.HostAdapter), Target(address.Target), Lun(address.Lun),
      Platform_(platform), Handle_(handle), DevicePath_(std::move(devicePath)), SenseReports_(senseReports) {}

CDDrive::~CDDrive() { Platform_.Close(Handle_); }

DriveOpening CDDrive::Open(Platform& platform, const DriveAddress& address, SenseReports* senseReports) {
    std::string devicePath = platform.DevicePath(address);
    const OpenOutcome opened = platform.Open(address);
    if (!opened.Opened()) {
        DriveOpenFailure failure;
        failure.What = DriveOpenFailure::Kind::NotOpened;
        failure.SystemError = opened.Error;
        failure.Cause = SystemErrorInWords(platform, opened.Error);
        failure.Message = Format("Error opening: %d, Drive: %s", opened.Error, devicePath.c_str());
        failure.SenseReport = SenseReportText(platform, CommandResult{}, opened.Error);
        failure.DevicePath = std::move(devicePath);
        return DriveOpening(std::move(failure));
    }
    std::unique_ptr<CDDrive> drive(new CDDrive(platform, address, opened.Handle, devicePath, senseReports));
    if (!drive->Identify()) {
        DriveOpenFailure failure;
        failure.What = DriveOpenFailure::Kind::Unidentified;
        failure.DevicePath = std::move(devicePath);
        failure.Cause = drive->IdentityProblem();
        return DriveOpening(std::move(failure));  // the drive closes as it goes
    }
    drive->Opening_ = {drive->Identity_, drive->PeripheralType_, drive->DeviceNow()};
    return DriveOpening(std::move(drive));
}

CommandResult CDDrive::Send(const Command& command, uint8_t* data, uint32_t capacity) {
    // The system would move length bytes through the buffer whatever its size; a command
    // longer than the buffer is refused before anything is sent.
    if (command.Length > capacity) {
        const CommandResult refused = CommandResult::Refused(EINVAL, command.Length);
        Last_ = refused;
        ReportSense(EINVAL);
        return refused;
    }
    CommandOutcome outcome;
    Platform_.Send(Handle_, command.Cdb.data(), command.Direction, data, command.Length,
                   command.Timeout != 0 ? command.Timeout : Timeout_, outcome);
    const CommandResult result = CommandResult::From(outcome);
    Last_ = result;
    if (outcome.PlatformOk && result.SenseKey == 0)
        return result;
    ReportSense(outcome.Error);
    return result;
}

CommandResult CDDrive::Execute(const Command& command) { return Send(command, Transfer_.data(), TransferBufferLength); }

void CDDrive::ReportSense(int error) {
    Last_.SystemError = error;
    if (SenseReports_ && SenseReports_->Shown())
        SenseReports_->Show(SenseReportText(Platform_, Last_, error));
}

bool CDDrive::Identify() {
    // A drive may answer with fewer bytes than asked for; what it leaves out must not be
    // an earlier identification. A bare status (busy, reservation conflict) carries no sense
    // but no answer either: the buffer would give a blank identity that looks like a drive's.
    IdentityData_.fill(0);
    const CommandResult result = Send(Commands::Inquiry(), IdentityData_.data(), IdentityBufferLength);
    if (result.Delivered() && Last_.SenseKey == 0 && Last_.Status == StatusGood) {
        // "%28.28s" of the INQUIRY data from byte 8 on: a zero byte ends it early,
        // and it is right-aligned in 28 characters.
        const char* field = reinterpret_cast<const char*>(IdentityData_.data() + 8);
        Identity_ = Format("%d-%d-%d %c: %28.28s", HostAdapter, Target, Lun, DriveLetter, field);
        IdentityProblem_.clear();
        // A qualifier other than 0 says no device of that type is connected at this unit.
        const uint8_t peripheral = IdentityData_[0];
        PeripheralType_ = (peripheral >> 5) == 0 ? uint8_t(peripheral & 0x1F) : NoPeripheralType;
        return true;
    }
    Identity_.assign(1, '0');
    PeripheralType_ = NoPeripheralType;
    IdentityProblem_ = "INQUIRY failed: " + FailureCause();
    return false;
}

std::string CDDrive::IdentityLine() { return Identify() ? Identity_ : std::string("0"); }

// The identification field is always the last 28 characters of a real identity line,
// whatever the width of the address in front of it. After a failed identification
// both texts are empty, which no real identification yields.
std::string CDDrive::ProductText() const {
    if (Identity_.size() < IdentificationWidth)
        return {};
    return Identity_.substr(Identity_.size() - IdentificationWidth, 24);
}

std::string CDDrive::RevisionText() const {
    if (Identity_.size() < IdentificationWidth)
        return {};
    return Identity_.substr(Identity_.size() - 4, 4);
}

bool CDDrive::SenseIs(uint8_t key, uint8_t asc, uint8_t ascq) const {
    return Last_.SenseKey == key && Last_.Asc == asc && Last_.Ascq == ascq;
}

bool CDDrive::SenseIs(uint8_t key, uint8_t asc) const { return Last_.SenseKey == key && Last_.Asc == asc; }

std::string CDDrive::FailureCause() const {
    if (Last_.SystemError != 0)
        return SystemErrorInWords(Platform_, Last_.SystemError);
    if (Last_.SenseKey != 0 || Last_.Asc != 0 || Last_.Ascq != 0)
        return Format("sense %02X/%02X/%02X", Last_.SenseKey, Last_.Asc, Last_.Ascq);
    return Format("status %02X", Last_.Status);
}

std::string CDDrive::ErrorText() const {
    return Format("%02X %02X %02X. %02X, %04X", Last_.SenseKey, Last_.Asc, Last_.Ascq, Last_.Status,
                  static_cast<unsigned>(Last_.SystemError));
}
