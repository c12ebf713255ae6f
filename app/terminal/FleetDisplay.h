// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a person sees of a run of several drives: one line per drive while they run, redrawn
// in place on a terminal (a block of lines, one bar each, each fitted to the terminal's width
// so that none wraps), or plain lines tagged with the
// device name in a log or pipe; each drive's messages tagged likewise; at the end a table of
// every drive, its identity, its revision before and after and how it ended.
//
// Questions and the messages of the whole run are the terminal user interface's to show; this
// shows only what concerns one drive.

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/terminal/FleetEvents.h"

class FleetDisplay : public FleetEvents {
public:
    // live: out is a terminal, lines are redrawn, fitted to its width (columns, or when 0 the
    // width out's terminal has at each redraw). Error messages go to err. quiet (--quiet):
    // nothing but the error messages.
    FleetDisplay(std::FILE* out, std::FILE* err, bool live, bool quiet = false, std::size_t columns = 0)
        : Out_(out), Err_(err), Live_(live && !quiet), Quiet_(quiet), Columns_(columns) {}

    void Answered(Question, const std::string&, bool, const std::string&) override {}
    void Message(const std::string& device, MessageKind kind, const std::string& text) override;
    void Started(const IdentityTexts& utility, const std::string& newRevision, const std::vector<SessionDrive>& drives,
                 bool rehearsal) override;
    void Step(const std::string& device, const RunStatus& status) override;
    void Progress(const std::string& device, int percent) override;
    void Waiting(const std::string& device, uint32_t seconds, uint32_t limit) override;
    void Finished(const SessionDrive& drive) override;
    void Summary(const std::vector<SessionDrive>& drives, int exitCode) override;

private:
    struct Line {
        std::string Device;
        std::string Status;
        int Percent = 0;
        std::string Outcome;  // once finished
        std::string Waited;   // while the commit is waited for: how long so far
    };
    Line* Find(const std::string& device);
    std::string Format(const Line& line, std::size_t columns) const;
    std::size_t LiveColumns() const;
    void Redraw();      // the whole block, in place (live)
    void EraseBlock();  // takes the block off the screen, the cursor where it began (live)

    std::mutex Mutex_;
    std::FILE* Out_;
    std::FILE* Err_;
    bool Live_;
    bool Quiet_;
    std::size_t Columns_;
    std::vector<Line> Lines_;
    std::size_t DeviceWidth_ = 0;
    int Drawn_ = 0;  // lines of the block on the screen
};
