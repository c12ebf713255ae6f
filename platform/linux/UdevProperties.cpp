// SPDX-License-Identifier: Apache-2.0
#include "platform/linux/UdevProperties.h"

#include <libudev.h>

#include <cstring>

namespace {

constexpr const char* ByIdPrefix = "/dev/disk/by-id/";

// Fills what is still missing from one device's properties.
void ReadDevice(udev* context, const char* subsystem, const std::string& name, UdevDriveProperties& found) {
    if (name.empty())
        return;
    udev_device* device = udev_device_new_from_subsystem_sysname(context, subsystem, name.c_str());
    if (device == nullptr)
        return;
    if (!found.Serial) {
        const char* serial = udev_device_get_property_value(device, "ID_SERIAL_SHORT");
        if (serial == nullptr || *serial == '\0')
            serial = udev_device_get_property_value(device, "ID_SERIAL");
        if (serial != nullptr && *serial != '\0')
            found.Serial = serial;
    }
    if (found.ById.empty()) {
        for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device); link != nullptr;
             link = udev_list_entry_get_next(link)) {
            const char* path = udev_list_entry_get_name(link);
            if (path != nullptr && std::strncmp(path, ByIdPrefix, std::strlen(ByIdPrefix)) == 0) {
                found.ById = path;
                break;
            }
        }
    }
    udev_device_unref(device);
}

}  // namespace

UdevDriveProperties ReadUdevProperties(const std::string& blockName, const std::string& genericName) {
    UdevDriveProperties found;
    udev* context = udev_new();
    if (context == nullptr)
        return found;
    ReadDevice(context, "block", blockName, found);
    ReadDevice(context, "scsi_generic", genericName, found);
    udev_unref(context);
    return found;
}
