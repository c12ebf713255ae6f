// SPDX-License-Identifier: Apache-2.0
#pragma once
// The operating-system seam of the drive layer. Everything the drive classes need
// from the system goes through one Platform object: the Linux SCSI generic back-end
// in production, the virtual drive for users without a drive and for tests.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

using PlatformHandle = int;
constexpr PlatformHandle NoHandle = -1;

// Where a drive sits. On Linux the letter has no meaning to the system; the
// enumeration hands one out per drive so that identity lines tell drives apart.
struct DriveAddress {
    char Letter = ' ';
    uint8_t HostAdapter = 0;
    uint8_t Target = 0;
    uint8_t Lun = 0;

    friend bool operator==(const DriveAddress&, const DriveAddress&) = default;
};

// One optical drive the system knows of, before it is opened.
struct DriveCandidate {
    DriveAddress Address;
    std::string DevicePath;  // "/dev/sg1", or "virtual:0" for a virtual drive
    bool IsVirtual = false;
    std::string ScsiAddress;  // host:channel:target:lun as the system numbers the drive ("2:0:0:0")
    // What the system knows of the drive without sending it anything, for listings.
    std::string GenericNode;            // "/dev/sg1"; "" when none
    std::string BlockNode;              // "/dev/sr0"; "" when none
    std::optional<std::string> Serial;  // the serial number where known (udev; virtual drives have their own)
    std::string ById;                   // a link that names the drive stably ("/dev/disk/by-id/..."); "" when none
    // Where the drive sits in the machine, the same across boots ("/devices/pci.../2:0:0:0" on
    // Linux, "virtual:0" for a virtual drive); "" when unknown. Its digest is the drive's id.
    std::string PhysicalPath;
};

// Which device an open node leads to, as the system tells it now, without sending the drive
// anything. A drive keeps its listing only while this stays the same: a node renumbered to
// another drive, or another drive plugged in under it, shows as a difference.
struct NodeDevice {
    std::string SystemDevice;           // the device in the system's tree (Linux: its sysfs path); "" when unknown
    std::optional<std::string> Serial;  // its serial number where the system knows it
    // The node leads to no device any more: the device was unplugged or switched off, and the
    // system took it away. SystemDevice then names where the device was looked for.
    bool Gone = false;

    friend bool operator==(const NodeDevice&, const NodeDevice&) = default;
};

constexpr std::size_t SenseSize = 32;

// What one command brought back from the system.
struct CommandOutcome {
    bool PlatformOk = false;       // the platform call itself succeeded
    uint8_t Status = 0;            // SCSI status byte
    uint8_t Sense[SenseSize] = {}; // fixed-format sense (byte 2 key, 12 ASC, 13 ASCQ), zero when none
    int Error = 0;                 // errno-style code when PlatformOk is false, else 0
    uint32_t Residual = 0;         // bytes of the data phase that were not moved (short transfer)
    bool TransportFailed = false;  // the command never completed (timeout, reset, device gone)
};

// How opening a drive ended: its handle, or NoHandle and the system's reason.
struct OpenOutcome {
    PlatformHandle Handle = NoHandle;
    int Error = 0;  // errno-style code when Handle is NoHandle, else 0

    bool Opened() const { return Handle != NoHandle; }
};

// Direction values of a command: 1 is data in, anything else data out.
constexpr uint8_t DirectionIn = 1;
constexpr uint8_t DirectionOut = 0;

// What a platform holds for the length of one flash run (on Linux: the drive's block node
// exclusively, and the sleep and shutdown lock). Given back when the object goes; one
// that holds nothing is a valid claim.
class RunClaim {
public:
    RunClaim() = default;
    RunClaim(const RunClaim&) = delete;
    RunClaim& operator=(const RunClaim&) = delete;
    virtual ~RunClaim() = default;
};

// Threads: Send, Sleep, ErrorText and StandInProfiles may be called from several threads at
// once, each thread on handles of its own (one thread per drive during a run of many drives).
// Everything else (enumeration, Open, Close, ClaimForRun, RequestRestart) is called from one
// thread while no command runs. Every call brings back its own error; there is no error shared
// between calls.
class Platform {
public:
    virtual ~Platform() = default;

    // The optical drives of the system, in a stable order.
    virtual std::vector<DriveCandidate> EnumerateOpticalDrives() = 0;

    // The device path of an address from the last enumeration ("" when unknown).
    virtual std::string DevicePath(const DriveAddress& address) const = 0;

    // Opens the drive for read-write access; on failure the outcome says why.
    virtual OpenOutcome Open(const DriveAddress& address) = 0;

    // Sends one 12-byte CDB. Data moves through buffer (length bytes; none when length is 0).
    // Returns outcome.PlatformOk; outcome.Error says why it failed.
    virtual bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction,
                      uint8_t* buffer, uint32_t length, uint16_t timeoutSeconds,
                      CommandOutcome& outcome) = 0;

    virtual void Close(PlatformHandle handle) = 0;

    // The system's text for an error code, at most 80 characters; "" when there is none.
    virtual std::string ErrorText(int code) const = 0;

    // Pauses the calling thread (the readiness wait polls every 30 ms).
    virtual void Sleep(unsigned milliseconds) = 0;

    // Asks the system for an orderly restart. False when the request could not be made.
    virtual bool RequestRestart() = 0;
    // The drives are the built-in virtual drive (or a recording of one played back): nothing
    // sent reaches a real drive, and RequestRestart restarts nothing, which the window and the
    // terminal say.
    virtual bool VirtualDrives() const { return false; }

    // Before a flash run: takes what the run needs to hold on the open drive until the
    // claim goes. nullptr when refused, why then names the device and the cause. notice
    // (when given) gets a one-time remark about something the run goes on without. A
    // platform with nothing to claim returns a claim that holds nothing.
    virtual std::unique_ptr<RunClaim> ClaimForRun(PlatformHandle handle, std::string& why, std::string* notice) {
        (void)handle;
        (void)notice;
        why.clear();
        return std::make_unique<RunClaim>();
    }

    // The device behind an open handle's node, read anew at each call. A platform that cannot
    // tell gives an empty one (which then always compares equal).
    virtual NodeDevice DeviceBehind(PlatformHandle handle) const {
        (void)handle;
        return {};
    }

    // Stand-ins for the maker's flash-chip profiles, used by a run whose utility carries
    // none. Only the virtual drive has them; every platform that reaches real drives has
    // none, so invented profile data can never be sent to one.
    virtual std::span<const uint8_t> StandInProfiles() const { return {}; }
};
