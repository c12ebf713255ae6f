// SPDX-License-Identifier: Apache-2.0
#pragma once
// A sysfs, /dev and /proc of our own in a temporary directory, shaped like the kernel's.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class FakeTree {
public:
    FakeTree() {
        char pattern[] = "/tmp/flashutil-sysfs-XXXXXX";
        Root = mkdtemp(pattern);
        Sys = Root + "/sys";
        Dev = Root + "/dev";
        Proc = Root + "/proc";
        for (const std::string& dir : {Sys + "/class/scsi_generic", Sys + "/class/block", Dev, Proc + "/self"})
            std::filesystem::create_directories(dir);
        Write(Proc + "/self/mountinfo", "21 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n");
    }
    ~FakeTree() {
        std::error_code ec;
        std::filesystem::remove_all(Root, ec);
    }
    FakeTree(const FakeTree&) = delete;
    FakeTree& operator=(const FakeTree&) = delete;

    // The device directory of a SCSI address, with its peripheral type.
    std::string Device(const std::string& address, int type) {
        const std::string dir = Sys + "/devices/pci0000:00/host" + address.substr(0, address.find(':')) + "/" + address;
        std::filesystem::create_directories(dir);
        Write(dir + "/type", std::to_string(type) + "\n");
        return dir;
    }
    // sgN of that device, and (when block is given) its srM; nodes in /dev when asked.
    void AddGeneric(const std::string& sg, const std::string& address, int type, const std::string& block = "",
                    bool genericNode = true, bool blockNode = true) {
        const std::string device = Device(address, type);
        const std::string entry = Sys + "/class/scsi_generic/" + sg;
        std::filesystem::create_directories(entry);
        std::filesystem::create_directory_symlink(device, entry + "/device");
        if (genericNode)
            Write(Dev + "/" + sg, "");
        if (!block.empty())
            AddBlock(block, address, type, blockNode);
    }
    void AddBlock(const std::string& sr, const std::string& address, int type, bool node = true) {
        const std::string device = Device(address, type);
        std::filesystem::create_directories(device + "/block/" + sr);
        const std::string entry = Sys + "/class/block/" + sr;
        std::filesystem::create_directories(entry);
        std::filesystem::create_directory_symlink(device, entry + "/device");
        if (node)
            Write(Dev + "/" + sr, "");
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream out(path);
        out << text;
    }

    std::string Root, Sys, Dev, Proc;
};
