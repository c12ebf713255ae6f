// SPDX-License-Identifier: Apache-2.0
#pragma once
// The optical drives of the computer: found once at construction, at most 24,
// in a stable order, with one of them current. Drives the system names beyond a full
// list are counted, never opened.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scsi/CDDrive.h"
#include "scsi/DriveReports.h"

// A drive the system named that is not in the list, and why.
struct UnlistedDrive {
    enum class Reason { NotOpened, Unidentified, LeftOut };
    std::string DevicePath;
    Reason Why = Reason::NotOpened;
    std::string Cause;  // in words: the system's error, the failed INQUIRY, the list's capacity
};

class CDDrives {
public:
    static constexpr int Capacity = 24;

    // Finds the drives of platform. reports (not owned, may be null; it outlives the list) is
    // told each open that failed, and from then on the sense reports of every drive's failures.
    explicit CDDrives(Platform& platform, DriveReports* reports = nullptr);
    ~CDDrives();
    CDDrives(const CDDrives&) = delete;
    CDDrives& operator=(const CDDrives&) = delete;

    uint8_t Count() const { return uint8_t(Items_.size()); }
    // How many drives the system named after the list was full (not probed).
    int LeftOut() const { return LeftOut_; }
    // "N more optical drives were left out: ..." when LeftOut() is above 0, else "".
    std::string LeftOutText() const;
    // Every drive the system named that is not in the list (could not be opened, did not
    // answer its INQUIRY, or came after a full list), in the system's order.
    const std::vector<UnlistedDrive>& Unlisted() const { return Unlisted_; }
    bool Select(int16_t index);
    CDDrive* Current() const { return Current_; }
    CDDrive* Item(int index) const { return index >= 0 && index < Count() ? Items_[std::size_t(index)].get() : nullptr; }

private:
    // Shown the open failures directly; the drives' sense reports go through SenseReports_.
    DriveReports* Reports_;
    // The list's sense reports, shared by every drive of the list (declared before the drives,
    // which use it until they go).
    SenseReports SenseReports_;
    std::vector<std::unique_ptr<CDDrive>> Items_;
    CDDrive* Current_ = nullptr;
    int LeftOut_ = 0;
    std::vector<UnlistedDrive> Unlisted_;
};
