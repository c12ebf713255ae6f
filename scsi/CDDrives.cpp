#include "scsi/CDDrives.h"

CDDrives::CDDrives() {
    Count_ = 0;
    CurrentIndex_ = 0;
    for (const DriveCandidate& candidate : CDDrive::SystemPlatform()->EnumerateOpticalDrives()) {
        if (Count_ == Capacity)
            break;  // the list is full; further drives are not probed
        const DriveAddress& a = candidate.Address;
        auto* drive = new CDDrive(a.Letter, a.HostAdapter, a.Target, a.Lun);
        if (CDDrive::OpenStatus() == CDDrive::OpenOk) {
            Items_[CurrentIndex_] = drive;
            ++CurrentIndex_;
            ++Count_;
        } else {
            // Never counted as open and holds no handle: destroying it leaves OpenCount alone.
            delete drive;
        }
    }
    if (Count_ > 0)
        Select(0);
}

CDDrives::~CDDrives() {
    if (Count_ > 0) {
        CurrentIndex_ = Count_;
        while (CurrentIndex_ > 0) {
            --CurrentIndex_;
            delete Items_[CurrentIndex_];
            Items_[CurrentIndex_] = nullptr;
        }
    }
}

bool CDDrives::Select(int16_t index) {
    if (index < 0 || index >= Count_)
        return false;
    CurrentIndex_ = index;
    Current_ = Items_[index];
    return true;
}
