// SPDX-License-Identifier: Apache-2.0
#include "scsi/CDDrives.h"

CDDrives::CDDrives(Platform& platform, UserInterface* reports) {
    Count_ = 0;
    CurrentIndex_ = 0;
    for (const DriveCandidate& candidate : platform.EnumerateOpticalDrives()) {
        if (Count_ == Capacity) {
            ++LeftOut_;  // the list is full; further drives are counted, not probed
            Unlisted_.push_back({candidate.DevicePath, UnlistedDrive::Reason::LeftOut,
                                 "left out: the drive list holds at most " + std::to_string(Capacity)});
            continue;
        }
        auto* drive = new CDDrive(platform, candidate.Address, reports, &SenseReports_);
        drive->MarkVirtual(candidate.IsVirtual);
        if (drive->IsOpen()) {
            Items_[CurrentIndex_] = drive;
            ++CurrentIndex_;
            ++Count_;
        } else {
            if (!drive->OpenProblem().empty())
                Unlisted_.push_back({drive->DevicePath(), UnlistedDrive::Reason::NotOpened,
                                     "could not be opened: " + drive->OpenProblem()});
            else
                Unlisted_.push_back({drive->DevicePath(), UnlistedDrive::Reason::Unidentified,
                                     "could not be identified (" + drive->IdentityProblem() + ")"});
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

std::string CDDrives::LeftOutText() const {
    if (LeftOut_ == 0)
        return {};
    return std::to_string(LeftOut_) + (LeftOut_ == 1 ? " more optical drive was" : " more optical drives were") +
           " left out: the drive list holds at most " + std::to_string(Capacity);
}

bool CDDrives::Select(int16_t index) {
    if (index < 0 || index >= Count_)
        return false;
    CurrentIndex_ = index;
    Current_ = Items_[index];
    return true;
}
