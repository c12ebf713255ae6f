// SPDX-License-Identifier: Apache-2.0
// Claiming a drive for a run: no disc of it mounted, its block node held exclusively (with
// who else holds it when that fails), and the system kept from sleeping or shutting down.
#include "platform/linux/LinuxPlatform.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/LinuxRunClaim.h"
#include "platform/linux/PathsAndErrors.h"

namespace fs = std::filesystem;

namespace {

// Mount points in mountinfo escape blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const std::string octal = text.substr(i + 1, 3);
            if (octal.find_first_not_of("01234567") == std::string::npos) {
                out += char(std::stoi(octal, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string ReadLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::optional<std::string> LinuxPlatform::MountPointOf(dev_t device) const {
    std::ifstream in(fs::path(Config_.ProcRoot) / "self" / "mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint))
            continue;
        if (numbers == wanted)
            return Unescape(mountPoint);
    }
    return std::nullopt;
}

std::vector<std::string> LinuxPlatform::HoldersOf(const std::string& node, const SysfsDrive& drive) const {
    std::vector<std::string> holders;
    std::error_code ec;
    // Kernel holders (device-mapper and the like) stacked on the block device.
    const fs::path stacked = fs::path(Config_.SysfsRoot) / "class" / "block" / drive.BlockName / "holders";
    for (fs::directory_iterator it(stacked, ec), end; !ec && it != end; it.increment(ec))
        holders.push_back(it->path().filename().string());

    // Programs with the node open, as far as /proc lets us see them.
    const std::string self = std::to_string(::getpid());
    const std::string resolved = Canonical(node);
    ec.clear();
    for (fs::directory_iterator it(Config_.ProcRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        std::error_code fdError;
        for (fs::directory_iterator fd(it->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd;
             fd.increment(fdError)) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(fd->path(), linkError);
            if (!linkError && (target.string() == node || target.string() == resolved)) {
                holders.push_back(pid + " (" + ReadLine(it->path() / "comm") + ")");
                break;
            }
        }
    }
    return holders;
}

HeldProcess LinuxPlatform::TakeInhibitor(std::string* notice) {
    HeldProcess held;
    if (Config_.Calls.StartHeld)
        held = Config_.Calls.StartHeld({"systemd-inhibit", "--what=sleep:shutdown:idle", "--who=flashutil",
                                        "--why=Drive firmware update in progress", "--mode=block", "sh", "-c",
                                        "echo ready; exec cat >/dev/null"});
    if (!held.Running() && !InhibitorNoticeGiven_) {
        InhibitorNoticeGiven_ = true;
        if (notice)
            *notice = "Sleep and shutdown cannot be blocked on this system (no login manager); "
                      "keep the computer running until the update has ended.";
    }
    return held;
}

void LinuxPlatform::StopInhibitor(Claim& claim) {
    if (claim.Inhibitor.Running() && Config_.Calls.StopHeld)
        Config_.Calls.StopHeld(claim.Inhibitor);
    claim.Inhibitor = HeldProcess{};
}

void LinuxPlatform::GiveBack(Claim& claim) {
    StopInhibitor(claim);
    if (claim.BlockFd >= 0)
        Config_.Calls.Close(claim.BlockFd);
    claim.BlockFd = -1;
    std::erase(Claims_, &claim);
    claim.Owner = nullptr;
}

std::unique_ptr<RunClaim> LinuxPlatform::ClaimForRun(PlatformHandle handle, std::string& why, std::string* notice) {
    why.clear();
    const SysfsDrive* drive = DriveOf(handle);
    if (!drive) {
        why = "the drive is not open";
        return nullptr;
    }
    for (const Claim* held : Claims_)
        if (held->Handle == handle)
            return std::make_unique<RunClaim>();

    auto claim = std::make_unique<Claim>(*this, handle);
    const std::string& node = drive->BlockNode;
    if (!node.empty()) {
        struct stat info{};
        const int statError = Config_.Calls.Stat(node, info);
        if (statError == 0 && S_ISBLK(info.st_mode)) {
            if (auto mountPoint = MountPointOf(info.st_rdev)) {
                why = node + " has a disc mounted at " + *mountPoint + "; unmount it (umount " + *mountPoint +
                      ") and try again";
                return nullptr;
            }
        }
        // Read-write exclusive pauses the kernel's media polling; a node we may only read
        // still gives the exclusive claim.
        int fd = Config_.Calls.Open(node, O_RDWR | O_NONBLOCK | O_EXCL);
        if (fd == -EACCES || fd == -EROFS)
            fd = Config_.Calls.Open(node, O_RDONLY | O_NONBLOCK | O_EXCL);
        if (fd < 0) {
            const int error = -fd;
            if (error == EBUSY) {
                const std::vector<std::string> holders = HoldersOf(node, *drive);
                why = node + " is held by another program or a mount";
                if (!holders.empty()) {
                    why += " (";
                    for (std::size_t i = 0; i < holders.size(); ++i)
                        why += (i ? ", " : "") + holders[i];
                    why += ")";
                }
                why += "; close it and try again";
            } else if (error == EACCES) {
                why = node + ": permission denied; run as root, or join the group that owns it";
                const std::string group = GroupOf(node);
                if (!group.empty() && group != "root")
                    why = node + ": permission denied; run as root, or join group " + group;
            } else {
                why = node + ": " + SystemText(error);
            }
            return nullptr;
        }
        claim->BlockFd = fd;
    }
    claim->Inhibitor = TakeInhibitor(notice);
    Claims_.push_back(claim.get());
    return claim;
}
