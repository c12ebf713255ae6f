// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/SysfsDrives.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

constexpr int OpticalPeripheralType = 5;

std::string ReadTrimmed(const fs::path& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// The device's real place in the tree, as a path below the sysfs root; "" when unresolvable.
std::string PhysicalPathOf(const std::string& sysfsRoot, const fs::path& device) {
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    const fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec)
        return "";
    const fs::path below = real.lexically_relative(root);
    if (below.empty() || *below.begin() == "..")
        return "";
    return "/" + below.generic_string();
}

bool IsOptical(const fs::path& device) {
    return ReadTrimmed(device / "type") == std::to_string(OpticalPeripheralType);
}

// The SCSI address a device directory stands for: the last component of the link
// (".../host1/target1:0:0/1:0:0:0"), or of the directory itself.
bool AddressOf(const fs::path& device, SysfsDrive& drive) {
    std::error_code ec;
    fs::path target = fs::read_symlink(device, ec);
    if (ec) {
        target = fs::canonical(device, ec);
        if (ec)
            return false;
    }
    return ParseScsiAddress(target.filename().string(), drive.Host, drive.Channel, drive.Target, drive.Lun);
}

// The first name under dir that starts with prefix ("sr" under device/block).
std::string FirstEntry(const fs::path& dir, const std::string& prefix) {
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

std::string ExistingNode(const std::string& devRoot, const std::string& name) {
    if (name.empty())
        return {};
    const fs::path node = fs::path(devRoot) / name;
    std::error_code ec;
    return fs::exists(node, ec) ? node.string() : std::string();
}

}  // namespace

bool ParseScsiAddress(const std::string& text, int& host, int& channel, int& target, int& lun) {
    int values[4];
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t digits = 0;
        long value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 9) {
            value = value * 10 + (text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0)
            return false;
        values[i] = int(value);
        if (i < 3) {
            if (at >= text.size() || text[at] != ':')
                return false;
            ++at;
        }
    }
    if (at != text.size())
        return false;
    host = values[0];
    channel = values[1];
    target = values[2];
    lun = values[3];
    return true;
}

std::vector<SysfsDrive> FindOpticalDrives(const std::string& sysfsRoot, const std::string& devRoot) {
    // Keyed by address, so a drive seen as sgN and as srM is one drive.
    std::map<std::tuple<int, int, int, int>, SysfsDrive> found;
    std::error_code ec;

    const fs::path generic = fs::path(sysfsRoot) / "class" / "scsi_generic";
    for (fs::directory_iterator it(generic, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path device = it->path() / "device";
        SysfsDrive drive;
        if (!IsOptical(device) || !AddressOf(device, drive))
            continue;
        drive.GenericName = it->path().filename().string();
        drive.PhysicalPath = PhysicalPathOf(sysfsRoot, device);
        drive.BlockName = FirstEntry(device / "block", "sr");
        found.emplace(drive.Key(), drive);
    }

    ec.clear();
    const fs::path block = fs::path(sysfsRoot) / "class" / "block";
    for (fs::directory_iterator it(block, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("sr", 0) != 0)
            continue;
        const fs::path device = it->path() / "device";
        SysfsDrive drive;
        if (!IsOptical(device) || !AddressOf(device, drive))
            continue;
        drive.PhysicalPath = PhysicalPathOf(sysfsRoot, device);
        auto [slot, added] = found.emplace(drive.Key(), drive);
        if (slot->second.BlockName.empty())
            slot->second.BlockName = name;
    }

    std::vector<SysfsDrive> drives;
    for (auto& [key, drive] : found) {
        drive.GenericNode = ExistingNode(devRoot, drive.GenericName);
        drive.BlockNode = ExistingNode(devRoot, drive.BlockName);
        if (!drive.CommandNode().empty())
            drives.push_back(drive);
    }
    return drives;  // std::map keeps them in address order
}
