// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a front end offers the core: the answers seam and the progress observer together.
// The Qt window, the terminal front end and the scripted test double implement it.

#include <cstdint>

#include "ui/Answers.h"
#include "ui/ProgressObserver.h"

class UserInterface : public Answers, public ProgressObserver {};

// The progress bar's rules, shared by every front end so they count alike.
struct ProgressModel {
    int32_t Minimum = 0;
    int32_t Maximum = 100;
    int32_t Step = 10;
    int32_t Position = 0;

    void SetRange(int32_t minimum, int32_t maximum) {
        Minimum = minimum;
        Maximum = maximum;
        SetPosition(Position);
    }
    void SetPosition(int32_t position) {
        Position = position < Minimum ? Minimum : position > Maximum ? Maximum : position;
    }
    void StepIt() {
        int64_t next = int64_t(Position) + Step;
        Position = next > Maximum ? Minimum : int32_t(next);
    }
};
