#include "flash/FlashEngine.h"

#include <algorithm>

FlashEngine::FlashEngine(UserInterface& ui, const IdentityBlock& block) : Ui_(ui), Block_(block) {}

FlashEngine::~FlashEngine() {
    delete[] StepBuffer;
    delete[] ProfileCopy;
}

int32_t FlashEngine::Send(const Command& command) {
    std::copy(command.Cdb.begin(), command.Cdb.end(), Cdb);
    return TargetDrive->Execute(command);
}

// A command succeeded when the drive left no sense. Two more outcomes leave the sense bytes
// at zero although the command was not carried out, and count as failures too: a platform
// call that failed before the drive answered (the drive class then reports result 0, for
// example on a timeout), and a status other than GOOD without sense (busy, reservation
// conflict). Otherwise a commit that never ran could be reported as a finished flash.
bool FlashEngine::Judge(int32_t result, const char* prefix) {
    constexpr uint8_t StatusGood = 0x00;
    if (result != 0 && TargetDrive->SenseIs(0, 0, 0) && TargetDrive->Status == StatusGood)
        return true;
    Ui_.Show(std::string(prefix) + TargetDrive->ErrorText(), MessageKind::Plain);
    return false;
}

// Every transfer moves through the drive class's one buffer; a count beyond its length
// would read or write past it, so such a command is refused before anything is sent.
bool FlashEngine::FitsTransferBuffer(uint32_t count, const char* prefix) {
    const uint32_t room = CDDrive::BufferLength();
    if (count <= room)
        return true;
    Ui_.Show(std::string(prefix) + "transfer of " + std::to_string(count) + " bytes exceeds the " +
                 std::to_string(room) + "-byte transfer buffer",
             MessageKind::Plain);
    return false;
}

void FlashEngine::Fail(const std::string& suffix) {
    Ui_.SetStatus(Ui_.Status() + suffix);
}

bool FlashEngine::StopWanted() const {
    return Control_.StopRequested && Control_.StopRequested();
}

void FlashEngine::Sleep(unsigned milliseconds) {
    CDDrive::SystemPlatform()->Sleep(milliseconds);
}
