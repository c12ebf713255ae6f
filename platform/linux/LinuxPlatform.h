// SPDX-License-Identifier: Apache-2.0
#pragma once
// The Linux back-end of the drive layer: optical drives found through sysfs, reached
// through their SCSI generic node (or their CD-ROM block node where there is none),
// one SG_IO request per command.
//
// Each drive is opened read-write, non-blocking and exclusive, so a second copy of the
// program meets "Device or resource busy" at once instead of interleaving commands
// with a running update. For an update run the caller also claims the drive's CD-ROM
// block node (ClaimForRun), which refuses a mounted disc or another holder and keeps
// the system from sleeping or shutting down until the claim goes.

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/LinuxSystemCalls.h"
#include "platform/Platform.h"
#include "platform/linux/SysfsDrives.h"

struct LinuxPlatformConfig {
    std::string SysfsRoot = "/sys";
    std::string DevRoot = "/dev";
    std::string ProcRoot = "/proc";  // mountinfo of this process, and other processes' open files
    // Restricts the drives to those with these nodes (paths ValidateDevice accepted); none = all.
    std::vector<std::string> OnlyDevices;
    LinuxSystemCalls Calls = LinuxSystemCalls::Real();
};

class LinuxPlatform : public Platform {
public:
    explicit LinuxPlatform(LinuxPlatformConfig config = {});
    ~LinuxPlatform() override;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    // Drive letters handed out in address order over all the system's drives, those left out
    // by OnlyDevices included: 'D' to 'Z', then 'A' to 'C', then blanks.
    std::vector<DriveCandidate> EnumerateOpticalDrives() override;
    std::string DevicePath(const DriveAddress& address) const override;
    OpenOutcome Open(const DriveAddress& address) override;
    bool Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer, uint32_t length,
              uint16_t timeoutSeconds, CommandOutcome& outcome) override;
    void Close(PlatformHandle handle) override;
    // The system's text, with what to do for a denied open (EACCES), a command the kernel
    // filters (EPERM) and a busy drive (EBUSY). At most 80 characters; "" for unknown codes.
    std::string ErrorText(int code) const override;
    void Sleep(unsigned milliseconds) override;
    // An orderly reboot through the service manager ("systemctl reboot"), after giving up
    // the sleep and shutdown locks of this platform's run claims.
    bool RequestRestart() override;

    // Checks a --device argument: /dev/sgN, /dev/srN or a link to one of them (/dev/cdrom)
    // of an optical drive. Returns the node the drive is driven through, or nullopt with
    // why set to a one-line reason that names the path.
    static std::optional<std::string> ValidateDevice(const std::string& path, std::string& why,
                                                     const std::string& sysfsRoot = "/sys",
                                                     const std::string& devRoot = "/dev");

    // Opens that failed, in order, since construction: which node and why (errno).
    struct OpenFailure {
        std::string DevicePath;
        int Error = 0;
        bool Busy() const;  // another program holds the drive
    };
    const std::vector<OpenFailure>& OpenFailures() const { return OpenFailures_; }

    // Before a flash run: claims the drive's CD-ROM block node exclusively (which also
    // pauses the kernel's media polling) after making sure no disc of it is mounted, and
    // takes the system's sleep and shutdown inhibitor lock. On refusal returns nullptr with
    // why naming the device and what holds it. notice gets a one-time remark when no
    // inhibitor lock is to be had (the run may go on). The claim gives both back when it
    // goes, or earlier when the drive is closed or the platform goes; a second claim of a
    // drive already claimed holds nothing.
    std::unique_ptr<RunClaim> ClaimForRun(PlatformHandle handle, std::string& why, std::string* notice) override;

    // The sysfs device the handle's node leads to now (the link under /sys/class resolved) and
    // udev's serial number of it.
    NodeDevice DeviceBehind(PlatformHandle handle) const override;

    // The drive behind an open handle (nullptr when the handle is not one of ours).
    const SysfsDrive* DriveOf(PlatformHandle handle) const;

private:
    struct Entry {
        DriveAddress Address;
        SysfsDrive Drive;
    };
    class Claim;  // a RunClaim of this platform, listed in Claims_ while it holds something

    const Entry* Find(const DriveAddress& address) const;
    std::optional<std::string> MountPointOf(dev_t device) const;
    std::vector<std::string> HoldersOf(const std::string& node, const SysfsDrive& drive) const;
    std::string GroupOf(const std::string& node) const;
    HeldProcess TakeInhibitor(std::string* notice);
    void StopInhibitor(Claim& claim);
    void GiveBack(Claim& claim);  // stops its inhibitor, closes its block node, unlists it

    LinuxPlatformConfig Config_;
    std::vector<Entry> Drives_;
    std::map<PlatformHandle, SysfsDrive> Open_;
    std::vector<Claim*> Claims_;  // the live claims, owned by their takers
    std::vector<OpenFailure> OpenFailures_;
    std::string DeniedGroup_;        // the group owning the last node an open was denied on
    std::atomic<bool> FilteredOnBlockNode_ = false;  // the last EPERM came from SG_IO on a CD-ROM block node
    bool InhibitorNoticeGiven_ = false;
};
