#include "scsi/CDDrive.h"

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Class-wide state: one per process, shared by every drive object.
struct ClassState {
    Platform* SystemPlatform = nullptr;
    UserInterface* Ui = nullptr;
    bool IsNT = false;
    bool ShowSense = false;
    bool UseIdentityBuffer = false;
    uint16_t OpenCount = 0;
    uint16_t Timeout = CDDrive::DefaultTimeout;
    uint8_t LastOpenStatus = CDDrive::OpenFailed;
    std::string MessageText;
    uint8_t* TransferBuffer = nullptr;
    uint32_t TransferLength = 0;
    uint8_t IdentityBuffer[CDDrive::IdentityBufferLength] = {};
    uint8_t DefaultBuffer[CDDrive::DefaultBufferLength] = {};
};

ClassState& State() {
    static ClassState state;
    return state;
}

void ShowPlain(const std::string& text) {
    if (UserInterface* ui = State().Ui)
        ui->Show(text, MessageKind::Plain, MessageButtons::Ok);
}

std::string Format(const char* format, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

constexpr std::size_t IdentificationWidth = 28;

}  // namespace

CDDrive::CDDrive(char letter, uint8_t hostAdapter, uint8_t target, uint8_t lun)
    : DriveLetter(letter), HostAdapter(hostAdapter), Target(target), Lun(lun) {
    ClassState& state = State();
    if (state.OpenCount == 0) {
        // Linux has only the pass-through back-end; the platform still says so itself.
        state.IsNT = SystemPlatform()->IsPassThrough();
        state.TransferBuffer = state.DefaultBuffer;
        state.TransferLength = DefaultBufferLength;
    }
    if (OpenDevice()) {
        state.LastOpenStatus = OpenOk;
        ++state.OpenCount;
    } else {
        state.LastOpenStatus = OpenFailed;
    }
}

CDDrive::~CDDrive() {
    if (Handle != NoHandle) {
        SystemPlatform()->Close(Handle);
        Handle = NoHandle;
        --State().OpenCount;
    }
}

bool CDDrive::OpenDevice() {
    Platform* platform = SystemPlatform();
    const DriveAddress address{DriveLetter, HostAdapter, Target, Lun};
    DevicePath_ = platform->DevicePath(address);
    Handle = platform->Open(address);
    if (Handle == NoHandle) {
        ClassState& state = State();
        state.MessageText = Format("Error opening: %d, Drive: %s", platform->LastError(), DevicePath_.c_str());
        ShowPlain(state.MessageText);
        state.ShowSense = true;
        ReportSense(platform->LastError());
        return false;
    }
    if (Identify())
        return true;
    platform->Close(Handle);
    Handle = NoHandle;
    return false;
}

int32_t CDDrive::ExecCommand(uint8_t cdb0, uint8_t cdb1, uint8_t cdb2, uint8_t cdb3, uint8_t cdb4,
                             uint8_t cdb5, uint8_t cdb6, uint8_t cdb7, uint8_t cdb8, uint8_t cdb9,
                             uint8_t cdb10, uint8_t cdb11, uint8_t direction, uint32_t length) {
    ClassState& state = State();
    const uint8_t cdb[12] = {cdb0, cdb1, cdb2, cdb3, cdb4, cdb5, cdb6, cdb7, cdb8, cdb9, cdb10, cdb11};
    uint8_t* data = state.UseIdentityBuffer ? state.IdentityBuffer : state.TransferBuffer;

    // The system would move length bytes through the buffer whatever its size; a command
    // longer than the buffer in use is refused before anything is sent.
    const uint32_t capacity = state.UseIdentityBuffer ? IdentityBufferLength : state.TransferLength;
    if (length > capacity) {
        Status = SenseKey = Asc = Ascq = 0;
        Residual = length;
        ReportSense(EINVAL);
        return 0;
    }

    Platform* platform = SystemPlatform();
    CommandOutcome outcome;
    const bool sent = platform->Send(Handle, cdb, direction, data, length, state.Timeout, outcome);

    LastError = 0;
    Status = outcome.Status;
    SenseKey = outcome.Sense[2];
    Asc = outcome.Sense[12];
    Ascq = outcome.Sense[13];
    Residual = outcome.Residual;
    if (sent && SenseKey == 0)
        return 1;
    ReportSense(platform->LastError());
    return 0;
}

int32_t CDDrive::Execute(const Command& command) {
    const auto& c = command.Cdb;
    return ExecCommand(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], command.Direction,
                       command.Length);
}

void CDDrive::ReportSense(int error) {
    ClassState& state = State();
    Platform* platform = SystemPlatform();
    LastError = error;
    if (!state.ShowSense)
        return;
    const std::string systemText = platform->ErrorText(LastError);
    if (!systemText.empty())
        state.MessageText = Format("SenseCode: %02X %02X %02X, %02X, Error: %d, %s", SenseKey, Asc, Ascq,
                                   Status, LastError, systemText.c_str());
    else
        state.MessageText = Format("SenseCode: %02X %02X %02X, %02X, Error: %d, Format message failed.",
                                   SenseKey, Asc, Ascq, Status, LastError);
    ShowPlain(state.MessageText);
}

bool CDDrive::Identify() {
    ClassState& state = State();
    // A drive may answer with fewer bytes than asked for; what it leaves out must not be
    // an earlier drive's identification.
    std::memset(state.IdentityBuffer, 0, sizeof state.IdentityBuffer);
    state.UseIdentityBuffer = true;
    // A bare status (busy, reservation conflict) carries no sense but no answer either: the
    // buffer would give a blank identity that looks like a drive's.
    constexpr uint8_t StatusGood = 0x00;
    if (Execute(Commands::Inquiry()) != 0 && Status == StatusGood) {
        state.UseIdentityBuffer = false;
        // "%28.28s" of the INQUIRY data from byte 8 on: a zero byte ends it early,
        // and it is right-aligned in 28 characters.
        const char* field = reinterpret_cast<const char*>(state.IdentityBuffer + 8);
        Identity_ = Format("%d-%d-%d %c: %28.28s", HostAdapter, Target, Lun, DriveLetter, field);
        IdentityProblem_.clear();
        return true;
    }
    Identity_.assign(1, '0');
    IdentityProblem_ = "INQUIRY failed: " + FailureCause();
    state.UseIdentityBuffer = false;
    return false;
}

std::string CDDrive::IdentityLine() {
    return Identify() ? Identity_ : std::string("0");
}

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

bool CDDrive::SenseIs(uint8_t key, uint8_t asc) const {
    return SenseKey == key && Asc == asc;
}

std::string CDDrive::FailureCause() const {
    if (LastError != 0) {
        const std::string text = SystemPlatform()->ErrorText(LastError);
        return text.empty() ? "system error " + std::to_string(LastError) : text;
    }
    if (SenseKey != 0 || Asc != 0 || Ascq != 0)
        return Format("sense %02X/%02X/%02X", SenseKey, Asc, Ascq);
    return Format("status %02X", Status);
}

std::string CDDrive::ErrorText() const {
    return Format("%02X %02X %02X. %02X, %04X", SenseKey, Asc, Ascq, Status, static_cast<unsigned>(LastError));
}

uint8_t CDDrive::OpenStatus() { return State().LastOpenStatus; }
void CDDrive::SetTimeout(uint16_t seconds) { State().Timeout = seconds; }
uint16_t CDDrive::GetTimeout() { return State().Timeout; }

void CDDrive::SetBuffer(uint8_t* buffer, uint32_t length) {
    ClassState& state = State();
    if (buffer == nullptr) {
        state.TransferBuffer = state.DefaultBuffer;
        state.TransferLength = DefaultBufferLength;
    } else {
        state.TransferBuffer = buffer;
        state.TransferLength = length;
    }
}

uint8_t* CDDrive::Buffer() { return State().TransferBuffer; }
uint32_t CDDrive::BufferLength() { return State().TransferLength; }

Platform* CDDrive::SystemPlatform() {
    assert(State().SystemPlatform != nullptr && "CDDrive::SetPlatform was not called");
    return State().SystemPlatform;
}
void CDDrive::SetPlatform(Platform* platform) { State().SystemPlatform = platform; }
UserInterface* CDDrive::Ui() { return State().Ui; }
void CDDrive::SetUserInterface(UserInterface* ui) { State().Ui = ui; }
bool CDDrive::ShowSense() { return State().ShowSense; }
uint16_t CDDrive::OpenCount() { return State().OpenCount; }
const std::string& CDDrive::MessageText() { return State().MessageText; }
uint8_t* CDDrive::IdentityBuffer() { return State().IdentityBuffer; }

void CDDrive::ResetClassState() {
    ClassState& state = State();
    Platform* platform = state.SystemPlatform;
    UserInterface* ui = state.Ui;
    state.~ClassState();
    new (&state) ClassState();
    state.SystemPlatform = platform;
    state.Ui = ui;
}
