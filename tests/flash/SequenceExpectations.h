// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a flash run sends, command by command, and a readable trace of what it shows.

#include <cstdio>
#include <string>
#include <vector>

#include "EngineFixture.h"

enum class Role {
    Load, TestUnitReady, ReadCapacity, StopPlay, StopUnit, FlashId, WriteProfile, WriteChunk,
    EntryCritical, ReadProfile, ReadChunk, Commit, Inquiry
};

struct ExpectedCommand {
    Role What;
    Cdb12 Cdb;
    uint8_t Direction;
    uint32_t Length;
};

struct RunShape {
    ImageType Kind = ImageType::Plain;
    uint32_t ImageSize = 0x80000;
    bool Matched = false;
    uint32_t ProfileLength = 0;
    bool FlashAll = false;
    unsigned BecomingReadyPolls = 0;
};

inline std::vector<ExpectedCommand> ExpectedRun(const RunShape& s) {
    std::vector<ExpectedCommand> run;
    auto add = [&](Role r, Cdb12 cdb, uint8_t dir, uint32_t len) { run.push_back({r, cdb, dir, len}); };
    add(Role::Load, {0x1B, 0, 0, 0, 0x03}, DirectionIn, 0);
    for (unsigned i = 0; i <= s.BecomingReadyPolls; ++i)
        add(Role::TestUnitReady, {0x00}, DirectionIn, 0);
    add(Role::StopPlay, {0x4E}, DirectionIn, 0);
    add(Role::StopUnit, {0x1B}, DirectionIn, 0);
    const uint8_t lengthHigh = uint8_t(s.ProfileLength >> 8), lengthLow = uint8_t(s.ProfileLength);
    if (s.Kind != ImageType::Plain) {
        add(Role::FlashId, {0xDF, 0x11}, DirectionIn, 128);
        const uint8_t area = s.Kind == ImageType::Profile ? 0x08 : 0x00;
        add(Role::WriteProfile, {0x3B, 0x05, 0x01, area, 0, 0, 0, lengthHigh, lengthLow, 0x7F}, DirectionOut,
            s.ProfileLength);
    }
    for (uint32_t at = 0; at < s.ImageSize; at += 0x4000)
        add(Role::WriteChunk,
            {0x3B, 0x05, 0x01, uint8_t(at >> 16), uint8_t(at >> 8), uint8_t(at), 0x00, 0x40, 0x00, 0x00},
            DirectionOut, 0x4000);
    if (s.Kind == ImageType::Profile)
        add(Role::EntryCritical, {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x7F}, DirectionIn, 0);
    if (s.Kind == ImageType::Profile && s.Matched)
        add(Role::ReadProfile, {0x3C, 0x01, 0x01, 0x08, 0, 0, 0, lengthHigh, lengthLow, 0}, DirectionIn,
            s.ProfileLength);
    for (uint32_t at = 0; at < s.ImageSize; at += 0x4000)
        add(Role::ReadChunk,
            {0x3C, 0x01, 0x01, uint8_t(at >> 16), uint8_t(at >> 8), uint8_t(at), 0x00, 0x40, 0x00, 0x00},
            DirectionIn, 0x4000);
    add(Role::Commit, {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, uint8_t(s.FlashAll ? 0xA0 : 0x80)}, DirectionIn, 16);
    add(Role::Inquiry, {0x12, 0, 0, 0, 0x80}, DirectionIn, 0x80);
    return run;
}

// How a command ended, in the drive's error-text form: "key asc ascq. status, error".
inline std::string ResultText(const CommandResult& r) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X %02X %02X. %02X, %04X", r.SenseKey, r.Asc, r.Ascq, r.Status,
                  unsigned(r.SystemError));
    return text;
}

// One line per command: "cdb dir len".
inline std::vector<std::string> Lines(const std::vector<ExpectedCommand>& run) {
    std::vector<std::string> lines;
    for (const auto& c : run)
        lines.push_back(Hex(c.Cdb) + (c.Direction == DirectionIn ? "in " : "out ") + std::to_string(c.Length));
    return lines;
}

// The same for what the drive received, leaving out the first `skip` commands.
inline std::vector<std::string> Lines(const std::vector<RecordedCommand>& record, size_t skip = 1) {
    std::vector<std::string> lines;
    for (size_t i = skip; i < record.size(); ++i)
        lines.push_back(Hex(record[i].Cdb) + (record[i].Direction == DirectionIn ? "in " : "out ") +
                        std::to_string(record[i].Length));
    return lines;
}

// Everything shown, one line per event, a pass's rising positions folded into
// "positions xN ->last".
inline std::vector<std::string> Trace(const ScriptedUserInterface& ui) {
    using E = ScriptedUserInterface::Event;
    std::vector<std::string> lines;
    int run = 0;
    int32_t last = 0;
    auto flush = [&] {
        if (run == 1)
            lines.push_back("position " + std::to_string(last));
        else if (run > 1)
            lines.push_back("positions x" + std::to_string(run) + " ->" + std::to_string(last));
        run = 0;
    };
    size_t box = 0;
    for (const E& e : ui.Events) {
        if (e.What == E::ProgressPosition && e.A > 0 && (run == 0 || e.A > last)) {
            ++run;
            last = e.A;
            continue;
        }
        flush();
        switch (e.What) {
        case E::Message: {
            const MessageRequest& m = ui.Messages.at(box++);
            const char* kinds[] = {"plain", "information", "warning", "error", "confirmation"};
            lines.push_back(std::string("box ") + kinds[int(m.Kind)] +
                            (m.Buttons == MessageButtons::YesNo
                                 ? (m.Default == MessageAnswer::No ? " yes/NO" : " YES/no")
                                 : " ok") +
                            ": " + m.Text);
            break;
        }
        case E::Status: lines.push_back("status: " + e.Text); break;
        case E::ProgressRange: lines.push_back("range " + std::to_string(e.A) + ".." + std::to_string(e.B)); break;
        case E::ProgressStep: lines.push_back("step " + std::to_string(e.A)); break;
        case E::ProgressPosition: lines.push_back("position " + std::to_string(e.A)); break;
        case E::Busy: lines.push_back(e.A ? "busy" : "not busy"); break;
        case E::ListEntry: lines.push_back("entry " + std::to_string(e.A) + ": " + e.Text); break;
        default: break;
        }
    }
    flush();
    return lines;
}
