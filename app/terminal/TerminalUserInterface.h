// SPDX-License-Identifier: Apache-2.0
#pragma once
// The user interface of the terminal front ends. Message boxes are printed, questions
// become prompts, the status caption becomes one line per change and the progress bar
// a live bar on a terminal, fitted to its width at each redraw (plain lines in a log or pipe).
//
// Consent is never taken for granted: without a terminal to ask on and without --yes
// every question is answered No and Refused() tells the caller so. --yes answers Yes to
// every question but the restart question, which it answers No: a script never restarts
// the computer.
//
// Output: boxes of the error kind go to the error stream, everything else (the other
// boxes, prompts, status lines, progress) to the output stream.

#include <cstdio>
#include <functional>
#include <string>

#include "ui/UserInterface.h"

class TerminalUserInterface : public UserInterface {
public:
    struct Streams {
        std::FILE* In = stdin;
        std::FILE* Out = stdout;
        std::FILE* Err = stderr;
        bool InputIsTerminal = false;   // someone can be asked
        bool OutputIsTerminal = false;  // the bar can be redrawn in place
        std::size_t Columns = 0;        // the terminal's width; 0: asked of Out at each redraw
    };

    // Uses stdin/stdout/stderr and asks the system which of them are terminals.
    explicit TerminalUserInterface(bool assumeYes);
    TerminalUserInterface(bool assumeYes, const Streams& streams);
    ~TerminalUserInterface() override;

    // True once a question was answered No because there was no terminal and no --yes.
    bool Refused() const { return Refused_; }

    // When set and true, questions are answered No without asking (the run was interrupted).
    std::function<bool()> Interrupted;

    MessageAnswer ShowMessage(const MessageRequest& request) override;
    void SetStatus(const std::string& text) override;
    std::string Status() { return Caption_; }
    void SetProgressRange(int32_t minimum, int32_t maximum) override;
    void SetProgressStep(int32_t step) override;
    void SetProgressPosition(int32_t position) override;
    int32_t ProgressPosition() override { return Progress_.Position; }
    int32_t ProgressMaximum() override { return Progress_.Maximum; }
    void StepProgress() override;
    void SetBusyCursor(bool) override {}
    void ReplaceListEntry(int index, const std::string& text) override;
    // On a terminal the bar's line gains the seconds waited (past the limit: that the drive is
    // late); a log gets a line every ten seconds, and one when the drive is late.
    void ShowWaiting(uint32_t seconds, uint32_t limit) override;

    // Ends a live bar's line so that what follows starts on a line of its own.
    void EndProgressLine();

    // --quiet: only error boxes, and the questions someone at the terminal must answer, are
    // printed; status lines, progress, other boxes and questions answered without asking are not.
    void SetQuiet(bool quiet) { Quiet_ = quiet; }
    bool Quiet() const { return Quiet_; }

private:
    MessageAnswer Ask(const MessageRequest& request);
    void ShowProgress();
    int Percent() const;
    std::size_t LiveColumns() const;
    void DrawLive(const std::string& line);  // the live line, in place of the one before

    bool AssumeYes_;
    Streams Streams_;
    bool Quiet_ = false;
    bool Refused_ = false;
    std::string Caption_;
    ProgressModel Progress_;
    bool BarOnLine_ = false;  // a live bar is drawn and its line not yet ended
    int LastShown_ = 0;       // percent last drawn (live, -1: none) or tenth last printed (plain lines)
    bool WaitShown_ = false;  // the live line shows a wait
};
