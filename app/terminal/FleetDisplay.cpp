// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/FleetDisplay.h"

#include <algorithm>

#include "app/terminal/TextColumns.h"
#include "flash/FlashTexts.h"
#include "flash/WaitTicker.h"
#include "platform/PrintableText.h"
#include "ui/Translate.h"

namespace {
constexpr std::size_t BarWidth = 20, ShortestBar = 8;
}

FleetDisplay::Line* FleetDisplay::Find(const std::string& device) {
    for (Line& line : Lines_)
        if (line.Device == device)
            return &line;
    return nullptr;
}

// Device paths and identities are what the system and the drives supplied: shown without
// control bytes, one byte for one, so the columns stay. Each line fits the terminal as it is
// at this redraw, one column short of it, so that no line wraps and the block is redrawn in
// place: the bar is shortened, then left out, then the status is cut (the wait kept whole).
std::string FleetDisplay::Format(const Line& line, std::size_t columns) const {
    std::string device = PrintableText(line.Device);
    device += std::string(DeviceWidth_ - std::min(DeviceWidth_, DisplayColumns(device)), ' ');
    if (!line.Outcome.empty())
        return FitColumns(device + "  " + PrintableText(line.Outcome), columns);
    const std::size_t prefix = DisplayColumns(device) + 2;
    if (prefix + 4 >= columns)
        return FitColumns(device, columns);
    return device + "  " + BarLine(line.Percent, BarWidth, ShortestBar, PrintableText(line.Status), line.Waited,
                                   columns - prefix);
}

std::size_t FleetDisplay::LiveColumns() const {
    const std::size_t columns = Columns_ != 0 ? Columns_ : TerminalColumns(Out_);
    return columns == 0 ? 79 : std::max<std::size_t>(columns, 2) - 1;
}

// The block goes out in one write, all of it fitted to one width: a terminal line-buffered
// by the C library gets no part of a block drawn for a width it no longer has.
void FleetDisplay::Redraw() {
    std::string block;
    if (Drawn_ > 0)
        block = "\x1b[" + std::to_string(Drawn_) + "A";
    const std::size_t columns = LiveColumns();
    for (const Line& line : Lines_)
        block += "\r\x1b[K" + Format(line, columns) + "\n";
    std::fwrite(block.data(), 1, block.size(), Out_);
    Drawn_ = int(Lines_.size());
    std::fflush(Out_);
}

void FleetDisplay::EraseBlock() {
    if (Drawn_ > 0)
        std::fprintf(Out_, "\x1b[%dA\r\x1b[J", Drawn_);
    Drawn_ = 0;
    std::fflush(Out_);
}

void FleetDisplay::Message(const std::string& device, MessageKind kind, const std::string& text) {
    if (device.empty() || (Quiet_ && kind != MessageKind::Error))
        return;
    const std::lock_guard<std::mutex> lock(Mutex_);
    if (Live_)
        EraseBlock();
    std::FILE* to = kind == MessageKind::Error ? Err_ : Out_;
    // Each line of a message carries the device, so lines of several drives cannot be confused.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            std::fprintf(to, "%s: %s\n", PrintableText(device).c_str(),
                         PrintableText(text.substr(start, end - start)).c_str());
        start = end + 1;
    }
    std::fflush(to);
    if (Live_)
        Redraw();
}

void FleetDisplay::Started(const IdentityTexts&, const std::string&, const std::vector<SessionDrive>& drives, bool) {
    const std::lock_guard<std::mutex> lock(Mutex_);
    Lines_.clear();
    for (const SessionDrive& drive : drives)
        if (drive.Chosen()) {
            Lines_.push_back({drive.Device, _("waiting"), 0, "", ""});
            DeviceWidth_ = std::max(DeviceWidth_, DisplayColumns(PrintableText(drive.Device)));
        }
}

void FleetDisplay::Step(const std::string& device, const RunStatus& status) {
    const std::lock_guard<std::mutex> lock(Mutex_);
    Line* line = Find(device);
    if (line == nullptr || Quiet_)
        return;
    line->Status = FlashTexts::CaptionInLanguage(status);
    if (Live_)
        Redraw();
    else {
        std::fprintf(Out_, "%s: %s\n", PrintableText(device).c_str(), PrintableText(line->Status).c_str());
        std::fflush(Out_);
    }
}

// Plain lines come at each tenth, as for a single drive.
void FleetDisplay::Progress(const std::string& device, int percent) {
    const std::lock_guard<std::mutex> lock(Mutex_);
    Line* line = Find(device);
    if (line == nullptr || line->Percent == percent || Quiet_)
        return;
    const bool newTenth = percent / 10 > line->Percent / 10;
    line->Percent = percent;
    if (Live_)
        Redraw();
    else if (newTenth) {
        std::fprintf(Out_, _("%s: Progress: %d%%\n"), PrintableText(device).c_str(), percent);
        std::fflush(Out_);
    }
}

// A commit may take minutes: the drive's line says how long it has been waited for, or past
// the limit that the drive is late; a log gets a line every ten seconds, and one when it is late.
void FleetDisplay::Waiting(const std::string& device, uint32_t seconds, uint32_t limit) {
    const std::lock_guard<std::mutex> lock(Mutex_);
    Line* line = Find(device);
    if (line == nullptr || Quiet_ || (limit == 0 && line->Waited.empty()))
        return;
    const std::string waited = limit == 0 ? std::string() : WaitWords(seconds, limit);
    line->Waited = waited;
    if (Live_) {
        Redraw();
    } else if (limit != 0 && (WaitIsLate(seconds, limit) ? seconds == limit + 1 : seconds % 10 == 0)) {
        std::fprintf(Out_, "%s: %s\n", PrintableText(device).c_str(), waited.c_str());
        std::fflush(Out_);
    }
}

void FleetDisplay::Finished(const SessionDrive& drive) {
    const std::lock_guard<std::mutex> lock(Mutex_);
    Line* line = Find(drive.Device);
    if (line == nullptr || Quiet_)
        return;
    line->Outcome = EndingWords(drive);
    if (Live_)
        Redraw();
    else {
        std::fprintf(Out_, "%s: %s\n", PrintableText(drive.Device).c_str(), PrintableText(line->Outcome).c_str());
        std::fflush(Out_);
    }
}

void FleetDisplay::Summary(const std::vector<SessionDrive>& drives, int) {
    // Only after runs: a run that ended at a question or before finding drives has no table.
    bool ran = false;
    for (const SessionDrive& drive : drives)
        ran = ran || !drive.Refusal.empty() || drive.Unreached ||
              (drive.Report && drive.Report->Outcome != FlashOutcome::Declined);
    if (!ran || Quiet_)
        return;
    const std::lock_guard<std::mutex> lock(Mutex_);
    std::size_t deviceWidth = 6, identityWidth = 8;
    for (const SessionDrive& drive : drives) {
        deviceWidth = std::max(deviceWidth, drive.Device.size());
        identityWidth = std::max(identityWidth, drive.Identity.size());
    }
    const int dw = int(deviceWidth), iw = int(identityWidth);
    std::fprintf(Out_, "\n%-*s  %-*s  %-14s  %s\n", dw, "DEVICE", iw, "IDENTITY", "REVISION", "OUTCOME");
    for (const SessionDrive& drive : drives) {
        const std::string after = drive.RevisionAfter.empty() ? "?" : drive.RevisionAfter;
        const std::string revision = drive.Chosen() ? drive.Revision + " -> " + after : drive.Revision;
        // From a folder, the utility each drive was given: the table says what was flashed with what.
        const std::string with = drive.Utility && drive.Chosen() ? "  with " + drive.Utility->Name : "";
        std::fprintf(Out_, "%-*s  %-*s  %-14s  %s\n", dw, PrintableText(drive.Device).c_str(), iw,
                     PrintableText(drive.Identity).c_str(), PrintableText(revision).c_str(),
                     PrintableText(EndingWords(drive) + with).c_str());
    }
    std::fflush(Out_);
}
