// SPDX-License-Identifier: Apache-2.0
#include "flash/RunDisplay.h"

#include "flash/FlashTexts.h"

void RunDisplay::StatusChanged(const RunStatus& status) { Display_.SetStatus(FlashTexts::CaptionOf(status)); }

void RunDisplay::ProgressChanged(uint32_t done, uint32_t total) {
    MoveBar(
        Bar_, Total_, done, total, [this](int32_t maximum) { Display_.SetProgressRange(0, maximum); },
        [this](int32_t position) { Display_.SetProgressPosition(position); });
}
