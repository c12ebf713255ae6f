// SPDX-License-Identifier: Apache-2.0
#pragma once
// A run's events shown on a front end's status caption and progress bar: the caption
// rendered from the status, the bar moved to done of total. A front end that shows a
// caption and a bar (the window, the terminal) gives the run one of these.

#include <optional>

#include "ui/RunObserver.h"
#include "ui/UserInterface.h"

// Moves a bar to done of total. A new total sets the range (the position is clamped into it,
// as the bar control does) and the position follows when it then differs; within a pass
// the position is told when it moves, and 0 (a pass starting or ending) always. model mirrors
// the bar; total is the last total told, none at first.
template <class SetRange, class SetPosition>
void MoveBar(ProgressModel& model, std::optional<uint32_t>& total, uint32_t done, uint32_t newTotal,
             SetRange setRange, SetPosition setPosition) {
    bool reset = done == 0;
    if (total != newTotal) {
        total = newTotal;
        model.SetRange(0, int32_t(newTotal));
        setRange(int32_t(newTotal));
        reset = false;
    }
    if (reset || model.Position != int32_t(done)) {
        model.SetPosition(int32_t(done));
        setPosition(int32_t(done));
    }
}

class RunDisplay : public RunObserver {
public:
    explicit RunDisplay(ProgressObserver& display) : Display_(display) {}

    void StatusChanged(const RunStatus& status) override;
    void ProgressChanged(uint32_t done, uint32_t total) override;
    void BusyChanged(bool busy) override { Display_.SetBusyCursor(busy); }
    void Waiting(uint32_t seconds, uint32_t limit) override { Display_.ShowWaiting(seconds, limit); }
    void IdentityChanged(int listIndex, const std::string& identityLine) override {
        Display_.ReplaceListEntry(listIndex, identityLine);
    }

private:
    ProgressObserver& Display_;
    ProgressModel Bar_;
    std::optional<uint32_t> Total_;
};
