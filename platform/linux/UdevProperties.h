// SPDX-License-Identifier: Apache-2.0
#pragma once
// What udev's database says of a drive: its serial number and a stable link to it. Read
// from the database only; nothing is sent to the drive.

#include <optional>
#include <string>

struct UdevDriveProperties {
    std::optional<std::string> Serial;  // ID_SERIAL_SHORT, else ID_SERIAL; none when udev has neither
    std::string ById;                   // the first /dev/disk/by-id/ link, else ""
};

// By the kernel names of the drive's block device ("sr0") and generic node ("sg1"), either
// may be ""; the block device is asked first (udev's CD-ROM rules set its properties).
// Empty when udev is not running or knows neither.
UdevDriveProperties ReadUdevProperties(const std::string& blockName, const std::string& genericName);
