// SPDX-License-Identifier: Apache-2.0
#include "scsi/CDDrives.h"

CDDrives::CDDrives(Platform& platform, DriveReports* reports) : Reports_(reports), SenseReports_(reports) {
    for (const DriveCandidate& candidate : platform.EnumerateOpticalDrives()) {
        if (Items_.size() == Capacity) {
            ++LeftOut_;  // the list is full; further drives are counted, not probed
            Unlisted_.push_back({candidate.DevicePath, UnlistedDrive::Reason::LeftOut,
                                 "left out: the drive list holds at most " + std::to_string(Capacity)});
            continue;
        }
        DriveOpening opening = CDDrive::Open(platform, candidate.Address, &SenseReports_);
        if (std::unique_ptr<CDDrive> drive = opening.Take()) {
            drive->MarkVirtual(candidate.IsVirtual);
            Items_.push_back(std::move(drive));
            continue;
        }
        const DriveOpenFailure& failure = *opening.Failure();
        if (failure.What == DriveOpenFailure::Kind::NotOpened) {
            // A drive that cannot be opened starts the sense reports of the whole list, its own first.
            if (Reports_)
                Reports_->Report(failure.Message);
            SenseReports_.TurnOn();
            SenseReports_.Show(failure.SenseReport);
            Unlisted_.push_back({failure.DevicePath, UnlistedDrive::Reason::NotOpened,
                                 "could not be opened: " + failure.Cause});
        } else {
            Unlisted_.push_back({failure.DevicePath, UnlistedDrive::Reason::Unidentified,
                                 "could not be identified (" + failure.Cause + ")"});
        }
    }
    if (!Items_.empty())
        Select(0);
}

CDDrives::~CDDrives() {
    // The last drive found is closed first.
    while (!Items_.empty())
        Items_.pop_back();
}

std::string CDDrives::LeftOutText() const {
    if (LeftOut_ == 0)
        return {};
    return std::to_string(LeftOut_) + (LeftOut_ == 1 ? " more optical drive was" : " more optical drives were") +
           " left out: the drive list holds at most " + std::to_string(Capacity);
}

bool CDDrives::Select(int16_t index) {
    if (index < 0 || index >= Count())
        return false;
    Current_ = Items_[std::size_t(index)].get();
    return true;
}
