#pragma once
// The flash engine: the drive's memory and flash commands, the flash-chip profiles,
// the image kind and the flash sequence behind the FLASH button. It holds the
// flash-side members of the main window and talks to the person only through the
// user-interface seam, so the window, the terminal front end and the tests share it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "image/IdentityBlock.h"
#include "scsi/CDDrive.h"
#include "scsi/Commands.h"
#include "ui/UserInterface.h"

// How a press of FLASH ended.
enum class FlashOutcome {
    Unidentified,        // the drive's identity or revision is unknown: nothing sent
    RevisionRefused,     // drive already at or above the new revision: nothing sent
    Declined,            // the person did not answer Yes: nothing sent
    DiscPresent,         // "Remove disc, before to do the flash task."
    Interrupted,         // stopped on request during upload or read-back, before any commit
    FailedBeforeCommit,  // a command or the comparison failed; the commit was not sent
    CommitFailed,        // the commit itself failed ("Flash Fail.")
    Completed,           // "Flash Completed."
};

// Hooks a front end may give the run.
struct RunControl {
    // Polled between commands of the upload and read-back; true stops the run before any commit.
    std::function<bool()> StopRequested;
    // Called with true right before the commit is sent and with false once it has answered,
    // so a front end can hold interrupts that would otherwise break the command off.
    std::function<void(bool)> HoldInterrupts;
};

class FlashEngine {
public:
    static constexpr uint32_t ChunkSize = 0x4000;

    FlashEngine(UserInterface& ui, const IdentityBlock& block);
    ~FlashEngine();
    FlashEngine(const FlashEngine&) = delete;
    FlashEngine& operator=(const FlashEngine&) = delete;

    void SetRunControl(RunControl control) { Control_ = std::move(control); }

    // Members, as the window holds them.
    uint8_t Cdb[12] = {};
    CDDrive* TargetDrive = nullptr;  // not owned
    bool ProfileImage = false;
    bool DvdImage = false;
    bool ProfileMatched = false;
    bool FlashAll = false;
    uint32_t ImageSize = 0;
    uint32_t ProfileLength = 0;
    uint32_t ProfileOffset = 0;
    uint32_t ProfileHeaderLength = 0;
    uint8_t* StepBuffer = nullptr;   // owned, allocated at the first run
    uint8_t* ProfileCopy = nullptr;  // owned, allocated when first needed

    // Commands. Each returns true on success; on failure it shows its own message and returns false.
    bool WriteBuffer(uint32_t offset, const uint8_t* data, uint8_t code, uint32_t count);
    bool ReadBuffer(uint32_t offset, uint8_t* data, uint32_t count);
    bool WriteE2(const uint8_t* data, uint16_t address, uint8_t count);
    bool WriteFlash(uint16_t address, uint8_t value);
    bool ReadFlashZone();
    bool EntryCritical();
    bool CheckDisc();  // true: the drive holds no disc

    // Profiles.
    bool SetupFlashProfile(uint8_t* buffer);
    bool ReadVerifyProfile(const uint8_t* copy);

    // Image kind and length from the block's image; true when a marker was found.
    bool CheckNewFormatBIN();

    // The FLASH button in flash mode. selectedIndex is the drive list entry selected at the press;
    // after a successful flash that entry is replaced with the drive's new identity line.
    FlashOutcome FlashButtonClick(int selectedIndex);

    // The polls of the readiness wait after which a drive that still reports "becoming ready"
    // is given up (about a minute of 30 ms polls), so a stuck drive cannot hang the run.
    static constexpr unsigned MaxBecomingReadyPolls = 2000;

    const IdentityBlock& Block() const { return Block_; }

private:
    // Keeps the command's CDB in Cdb and sends it to the target drive.
    int32_t Send(const Command& command);
    // The success test of every command with a message: the platform call succeeded and the
    // drive left no sense. On failure shows prefix + ErrorText and returns false.
    bool Judge(int32_t result, const char* prefix);
    // Refuses a transfer that would not fit the installed transfer buffer.
    bool FitsTransferBuffer(uint32_t count, const char* prefix);
    void Fail(const std::string& suffix);
    bool StopWanted() const;
    void Sleep(unsigned milliseconds);

    // Parts of FlashButtonClick; each returns Completed when the run goes on, else how it ended.
    FlashOutcome CheckIdentified();
    FlashOutcome CheckRevision(const std::string& driveRevision, const std::string& newRevision);
    FlashOutcome WaitUntilReady();
    FlashOutcome UploadAndVerify();
    FlashOutcome Commit(int selectedIndex);

    UserInterface& Ui_;
    IdentityBlock Block_;
    RunControl Control_;
};
