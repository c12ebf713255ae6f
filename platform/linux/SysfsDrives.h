// SPDX-License-Identifier: Apache-2.0
#pragma once
// Finds the optical drives (SCSI peripheral type 5) the kernel knows of, through sysfs:
// every /sys/class/scsi_generic/sgN whose device is of type 5, and every CD-ROM block
// device srM without a generic node (when the sg driver is not loaded). Both roots can
// be moved so that tests run on a tree of their own.

#include <string>
#include <tuple>
#include <vector>

struct SysfsDrive {
    int Host = 0;
    int Channel = 0;
    int Target = 0;
    int Lun = 0;
    std::string GenericName;  // "sg1"; "" when the drive has no generic node
    std::string BlockName;    // "sr0"; "" when it has no CD-ROM block device
    std::string GenericNode;  // "/dev/sg1" when that node exists, else ""
    std::string BlockNode;    // "/dev/sr0" when that node exists, else ""
    // The SCSI device in the device tree, below the sysfs root ("/devices/pci0000:00/.../2:0:0:0"):
    // where the drive is plugged in, the same across boots and renumbered nodes.
    std::string PhysicalPath;

    // The node commands go through: the generic node where there is one.
    const std::string& CommandNode() const { return GenericNode.empty() ? BlockNode : GenericNode; }

    auto Key() const { return std::tie(Host, Channel, Target, Lun); }
};

// The drives with a node to reach them by, ordered by SCSI address (host, channel,
// target, LUN). Missing or unreadable parts of the tree mean fewer drives, never an error.
std::vector<SysfsDrive> FindOpticalDrives(const std::string& sysfsRoot = "/sys",
                                          const std::string& devRoot = "/dev");

// Parses "H:C:T:L". False when the text is not such an address.
bool ParseScsiAddress(const std::string& text, int& host, int& channel, int& target, int& lun);
