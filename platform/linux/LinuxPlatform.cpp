// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/UdevProperties.h"

#include <fcntl.h>
#include <grp.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>

#include "platform/linux/LinuxRunClaim.h"
#include "platform/linux/PathsAndErrors.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t ErrorTextLimit = 80;

// Letters in the order drives are found; the usual first optical drive letter comes first.
char LetterFor(std::size_t index) {
    static const char letters[] = "DEFGHIJKLMNOPQRSTUVWXYZABC";
    return index < sizeof letters - 1 ? letters[index] : ' ';
}

}  // namespace

bool LinuxPlatform::OpenFailure::Busy() const { return Error == EBUSY; }

LinuxPlatform::LinuxPlatform(LinuxPlatformConfig config) : Config_(std::move(config)) {
    for (std::string& only : Config_.OnlyDevices)
        only = Canonical(only);
}

LinuxPlatform::~LinuxPlatform() {
    while (!Claims_.empty())
        GiveBack(*Claims_.front());
    for (auto& [fd, drive] : Open_)
        Config_.Calls.Close(fd);
}

std::vector<DriveCandidate> LinuxPlatform::EnumerateOpticalDrives() {
    Drives_.clear();
    std::vector<DriveCandidate> candidates;
    // A drive's letter is its place among all the system's drives, so that it is the same
    // with and without --device, in every listing and every menu.
    std::size_t place = 0;
    for (const SysfsDrive& drive : FindOpticalDrives(Config_.SysfsRoot, Config_.DevRoot)) {
        const char letter = LetterFor(place++);
        if (!Config_.OnlyDevices.empty()) {
            const auto chosen = [&](const std::string& node) {
                return !node.empty() && std::find(Config_.OnlyDevices.begin(), Config_.OnlyDevices.end(),
                                                  Canonical(node)) != Config_.OnlyDevices.end();
            };
            if (!chosen(drive.GenericNode) && !chosen(drive.BlockNode))
                continue;
        }
        Entry entry;
        entry.Drive = drive;
        // The kernel's host numbers grow past 255 as adapters come and go; the letter and
        // the device path still tell such drives apart.
        entry.Address = DriveAddress{letter, uint8_t(drive.Host), uint8_t(drive.Target), uint8_t(drive.Lun)};
        Drives_.push_back(entry);
        DriveCandidate candidate;
        candidate.Address = entry.Address;
        candidate.DevicePath = drive.CommandNode();
        candidate.ScsiAddress = std::to_string(drive.Host) + ":" + std::to_string(drive.Channel) + ":" +
                                std::to_string(drive.Target) + ":" + std::to_string(drive.Lun);
        candidate.GenericNode = drive.GenericNode;
        candidate.BlockNode = drive.BlockNode;
        candidate.PhysicalPath = drive.PhysicalPath;
        // udev describes the machine's own devices; a moved sysfs tree (tests) has other names.
        if (Config_.SysfsRoot == "/sys") {
            UdevDriveProperties udev = ReadUdevProperties(drive.BlockName, drive.GenericName);
            candidate.Serial = std::move(udev.Serial);
            candidate.ById = std::move(udev.ById);
        }
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

const LinuxPlatform::Entry* LinuxPlatform::Find(const DriveAddress& address) const {
    for (const Entry& entry : Drives_)
        if (entry.Address == address)
            return &entry;
    return nullptr;
}

std::string LinuxPlatform::DevicePath(const DriveAddress& address) const {
    const Entry* entry = Find(address);
    return entry ? entry->Drive.CommandNode() : std::string();
}

OpenOutcome LinuxPlatform::Open(const DriveAddress& address) {
    const Entry* entry = Find(address);
    if (!entry)
        return {NoHandle, ENODEV};
    const std::string& node = entry->Drive.CommandNode();
    const bool generic = !entry->Drive.GenericNode.empty();
    // The generic node is held exclusively: a second copy of the program gets EBUSY at
    // once. The block node is only shared-opened here (so a mounted disc still lists);
    // a run claims it exclusively.
    const int flags = generic ? (O_RDWR | O_NONBLOCK | O_EXCL) : (O_RDWR | O_NONBLOCK);
    const int fd = Config_.Calls.Open(node, flags);
    if (fd < 0) {
        if (-fd == EACCES)
            DeniedGroup_ = GroupOf(node);
        OpenFailures_.push_back({node, -fd});
        return {NoHandle, -fd};
    }
    Open_[fd] = entry->Drive;
    return {fd, 0};
}

bool LinuxPlatform::Send(PlatformHandle handle, const uint8_t cdb[12], uint8_t direction, uint8_t* buffer,
                         uint32_t length, uint16_t timeoutSeconds, CommandOutcome& outcome) {
    auto it = Open_.find(handle);
    if (it == Open_.end()) {
        outcome = CommandOutcome{};
        outcome.Error = EBADF;
        return false;
    }
    const bool ok = SendSgIo(handle, Config_.Calls.SgIoctl, cdb, direction, buffer, length, timeoutSeconds, outcome);
    if (outcome.Error == EPERM)
        FilteredOnBlockNode_ = it->second.GenericNode.empty();
    return ok;
}

void LinuxPlatform::Close(PlatformHandle handle) {
    for (std::size_t i = Claims_.size(); i-- > 0;)
        if (Claims_[i]->Handle == handle)
            GiveBack(*Claims_[i]);
    auto it = Open_.find(handle);
    if (it == Open_.end())
        return;
    Config_.Calls.Close(handle);
    Open_.erase(it);
}

NodeDevice LinuxPlatform::DeviceBehind(PlatformHandle handle) const {
    const SysfsDrive* drive = DriveOf(handle);
    if (drive == nullptr)
        return {};
    // The class link of the node's kernel name: it follows the name to whatever device holds it now.
    const std::string link = drive->GenericName.empty()
                                 ? Config_.SysfsRoot + "/class/block/" + drive->BlockName + "/device"
                                 : Config_.SysfsRoot + "/class/scsi_generic/" + drive->GenericName + "/device";
    NodeDevice device;
    std::error_code error;
    const fs::path resolved = fs::canonical(link, error);
    // A node whose device is gone leads nowhere: a text no device has, so it never matches.
    device.SystemDevice = error ? "(none: " + link + ")" : resolved.string();
    device.Gone = bool(error);
    if (Config_.SysfsRoot == "/sys")
        device.Serial = ReadUdevProperties(drive->BlockName, drive->GenericName).Serial;
    return device;
}

const SysfsDrive* LinuxPlatform::DriveOf(PlatformHandle handle) const {
    auto it = Open_.find(handle);
    return it == Open_.end() ? nullptr : &it->second;
}

std::string LinuxPlatform::GroupOf(const std::string& node) const {
    struct stat info{};
    if (Config_.Calls.Stat(node, info) != 0)
        return {};
    struct group entry{};
    struct group* result = nullptr;
    char buffer[4096];
    if (getgrgid_r(info.st_gid, &entry, buffer, sizeof buffer, &result) != 0 || result == nullptr)
        return {};
    return result->gr_name;
}

std::string LinuxPlatform::ErrorText(int code) const {
    std::string text = SystemText(code);
    if (text.empty() || text.rfind("Unknown error", 0) == 0)
        return {};
    std::string hint;
    if (code == EACCES) {
        // No access to the node: not on the active local seat, not in the node's group.
        hint = DeniedGroup_.empty() || DeniedGroup_ == "root"
                   ? " (run as root, or log in at the local seat)"
                   : " (run as root, or join group " + DeniedGroup_ + ")";
    } else if (code == EPERM && FilteredOnBlockNode_) {
        hint = " (kernel filters commands on sr nodes: load sg, or root)";
    } else if (code == EBUSY) {
        hint = " (another program is using the drive)";
    }
    if (text.size() + hint.size() <= ErrorTextLimit)
        text += hint;
    if (text.size() > ErrorTextLimit)
        text.resize(ErrorTextLimit);
    return text;
}

void LinuxPlatform::Sleep(unsigned milliseconds) {
    timespec remaining{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

bool LinuxPlatform::RequestRestart() {
    // The run's own sleep and shutdown lock would stand in the way of its own reboot: newer
    // service managers refuse a reboot that an inhibitor blocks, whoever holds it. The flash
    // has ended by now, so the lock has done its job; the drive's exclusive claim stays.
    for (Claim* claim : Claims_)
        StopInhibitor(*claim);
    return Config_.Calls.Run({"systemctl", "reboot"}) == 0;
}

std::optional<std::string> LinuxPlatform::ValidateDevice(const std::string& path, std::string& why,
                                                         const std::string& sysfsRoot, const std::string& devRoot) {
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0) {
        why = path + ": " + SystemText(errno);
        return std::nullopt;
    }
    const std::string resolved = Canonical(path);
    const bool isDevice = S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode);
    for (const SysfsDrive& drive : FindOpticalDrives(sysfsRoot, devRoot)) {
        for (const std::string* node : {&drive.GenericNode, &drive.BlockNode}) {
            if (node->empty())
                continue;
            if (Canonical(*node) == resolved)
                return drive.CommandNode();
            // A node of the same device made elsewhere (another name, another directory).
            struct stat other{};
            if (isDevice && ::stat(node->c_str(), &other) == 0 && (other.st_mode & S_IFMT) == (info.st_mode & S_IFMT) &&
                other.st_rdev == info.st_rdev)
                return drive.CommandNode();
        }
    }
    std::string kind;
    if (S_ISREG(info.st_mode))
        kind = "a regular file";
    else if (S_ISDIR(info.st_mode))
        kind = "a directory";
    else if (S_ISBLK(info.st_mode))
        kind = "a block device that is not a CD/DVD drive";
    else if (S_ISCHR(info.st_mode))
        kind = "a character device that is not a CD/DVD drive";
    else
        kind = "not a device node";
    why = path + " is not an optical drive's SCSI generic or CD-ROM node (" + kind + ")";
    return std::nullopt;
}
