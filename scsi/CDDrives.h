#pragma once
// The optical drives of the computer: found once at construction, at most 24,
// in a stable order, with one of them current.

#include <array>
#include <cstdint>

#include "scsi/CDDrive.h"

class CDDrives {
public:
    static constexpr int Capacity = 24;

    CDDrives();
    ~CDDrives();
    CDDrives(const CDDrives&) = delete;
    CDDrives& operator=(const CDDrives&) = delete;

    uint8_t Count() const { return Count_; }
    bool Select(int16_t index);
    CDDrive* Current() const { return Current_; }
    CDDrive* Item(int index) const { return index >= 0 && index < Count_ ? Items_[index] : nullptr; }

private:
    uint8_t Count_ = 0;
    int32_t CurrentIndex_ = 0;
    std::array<CDDrive*, Capacity> Items_{};
    CDDrive* Current_ = nullptr;
};
