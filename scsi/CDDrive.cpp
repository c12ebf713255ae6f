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

}  // namespace

CDDrive::CDDrive(Platform& platform, const DriveAddress& address, UserInterface* reports,
                 SenseReportSwitch* senseReports)
    : DriveLetter(address.Letter), HostAdapter(address.HostAdapter), Target(address.Target), Lun(address.Lun),
      Platform_(platform), Reports_(reports), SenseReports_(senseReports ? *senseReports : OwnSenseReports_) {
    OpenDevice();
}

CDDrive::~CDDrive() {
    if (Handle != NoHandle) {
        Platform_.Close(Handle);
        Handle = NoHandle;
    }
}

bool CDDrive::OpenDevice() {
    const DriveAddress address{DriveLetter, HostAdapter, Target, Lun};
    DevicePath_ = Platform_.DevicePath(address);
    Handle = Platform_.Open(address);
    if (Handle == NoHandle) {
        MessageText_ = Format("Error opening: %d, Drive: %s", Platform_.LastError(), DevicePath_.c_str());
        if (Reports_)
            Reports_->Show(MessageText_, MessageKind::Plain);
        SenseReports_.On = true;
        ReportSense(Platform_.LastError());
        OpenProblem_ = FailureCause();
        return false;
    }
    if (Identify()) {
        Opening_ = {Identity_, PeripheralType_, DeviceNow()};
        return true;
    }
    Platform_.Close(Handle);
    Handle = NoHandle;
    return false;
}

CommandResult CDDrive::Send(const Command& command, uint8_t* data, uint32_t capacity) {
    // The system would move length bytes through the buffer whatever its size; a command
    // longer than the buffer is refused before anything is sent.
    if (command.Length > capacity) {
        const CommandResult refused = CommandResult::Refused(EINVAL, command.Length);
        Record(refused);
        ReportSense(EINVAL);
        return refused;
    }
    CommandOutcome outcome;
    Platform_.Send(Handle, command.Cdb.data(), command.Direction, data, command.Length,
                   command.Timeout != 0 ? command.Timeout : Timeout_, outcome);
    const CommandResult result = CommandResult::From(outcome);
    Record(result);
    if (outcome.PlatformOk && SenseKey == 0)
        return result;
    ReportSense(outcome.Error);
    return result;
}

void CDDrive::Record(const CommandResult& result) {
    Last_ = result;
    LastError = 0;
    Status = result.Status;
    SenseKey = result.SenseKey;
    Asc = result.Asc;
    Ascq = result.Ascq;
    Residual = result.Residual;
}

CommandResult CDDrive::Execute(const Command& command) { return Send(command, Transfer_.data(), TransferBufferLength); }

int32_t CDDrive::ExecCommand(uint8_t cdb0, uint8_t cdb1, uint8_t cdb2, uint8_t cdb3, uint8_t cdb4, uint8_t cdb5,
                             uint8_t cdb6, uint8_t cdb7, uint8_t cdb8, uint8_t cdb9, uint8_t cdb10, uint8_t cdb11,
                             uint8_t direction, uint32_t length) {
    Command command;
    command.Cdb = {cdb0, cdb1, cdb2, cdb3, cdb4, cdb5, cdb6, cdb7, cdb8, cdb9, cdb10, cdb11};
    command.Direction = direction;
    command.Length = length;
    const CommandResult result = Execute(command);
    return result.Delivered() && SenseKey == 0 ? 1 : 0;
}

void CDDrive::ReportSense(int error) {
    LastError = error;
    Last_.SystemError = error;
    if (!SenseReports_.On)
        return;
    const std::string systemText = Platform_.ErrorText(LastError);
    if (!systemText.empty())
        MessageText_ = Format("SenseCode: %02X %02X %02X, %02X, Error: %d, %s", SenseKey, Asc, Ascq, Status,
                              LastError, systemText.c_str());
    else
        MessageText_ = Format("SenseCode: %02X %02X %02X, %02X, Error: %d, Format message failed.", SenseKey, Asc,
                              Ascq, Status, LastError);
    if (Reports_)
        Reports_->Show(MessageText_, MessageKind::Plain);
}

bool CDDrive::Identify() {
    // A drive may answer with fewer bytes than asked for; what it leaves out must not be
    // an earlier identification. A bare status (busy, reservation conflict) carries no sense
    // but no answer either: the buffer would give a blank identity that looks like a drive's.
    IdentityData_.fill(0);
    const CommandResult result = Send(Commands::Inquiry(), IdentityData_.data(), IdentityBufferLength);
    if (result.Delivered() && SenseKey == 0 && Status == StatusGood) {
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
    return SenseKey == key && Asc == asc && Ascq == ascq;
}

bool CDDrive::SenseIs(uint8_t key, uint8_t asc) const { return SenseKey == key && Asc == asc; }

std::string CDDrive::FailureCause() const {
    if (LastError != 0) {
        const std::string text = Platform_.ErrorText(LastError);
        return text.empty() ? "system error " + std::to_string(LastError) : text;
    }
    if (SenseKey != 0 || Asc != 0 || Ascq != 0)
        return Format("sense %02X/%02X/%02X", SenseKey, Asc, Ascq);
    return Format("status %02X", Status);
}

std::string CDDrive::ErrorText() const {
    return Format("%02X %02X %02X. %02X, %04X", SenseKey, Asc, Ascq, Status, static_cast<unsigned>(LastError));
}
