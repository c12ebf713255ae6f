// SPDX-License-Identifier: Apache-2.0
#include "app/terminal/TerminalUserInterface.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include <algorithm>
#include <cctype>

#include "app/terminal/TextColumns.h"
#include "flash/FlashTexts.h"
#include "flash/WaitTicker.h"
#include "platform/PrintableText.h"
#include "ui/Translate.h"

namespace {

const char* KindName(MessageKind kind) {
    switch (kind) {
    case MessageKind::Information: return _("Information");
    case MessageKind::Warning: return _("Warning");
    case MessageKind::Error: return _("Error");
    case MessageKind::Confirmation: return _("Confirm");
    case MessageKind::Plain: break;
    }
    return "";
}

std::string Lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// One line of input without its line end; false at end of input or when interrupted. A
// signal that came between the last look for it and a blocking read would leave the read
// waiting for a key, so the wait is in short slices with a look between them. A terminal
// hands over one line per read, so nothing already read waits in the stream's buffer.
bool ReadLine(std::FILE* in, std::string& line, const std::function<bool()>& interrupted) {
    line.clear();
    if (interrupted) {
        pollfd input{::fileno(in), POLLIN, 0};
        for (;;) {
            if (interrupted())
                return false;
            const int ready = ::poll(&input, 1, 200);
            if (ready > 0 || (ready < 0 && errno != EINTR))
                break;
        }
    }
    int c;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF) {
        any = true;
        if (c == '\n')
            return true;
        line.push_back(static_cast<char>(c));
    }
    return any;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

constexpr std::size_t BarWidth = 30, ShortestBar = 10;

}  // namespace

TerminalUserInterface::TerminalUserInterface(bool assumeYes)
    : TerminalUserInterface(assumeYes, Streams{stdin, stdout, stderr, isatty(STDIN_FILENO) == 1,
                                               isatty(STDOUT_FILENO) == 1}) {}

TerminalUserInterface::TerminalUserInterface(bool assumeYes, const Streams& streams)
    : AssumeYes_(assumeYes), Streams_(streams) {}

TerminalUserInterface::~TerminalUserInterface() { EndProgressLine(); }

void TerminalUserInterface::EndProgressLine() {
    if (BarOnLine_) {
        std::fputc('\n', Streams_.Out);
        std::fflush(Streams_.Out);
        BarOnLine_ = false;
    }
}

MessageAnswer TerminalUserInterface::ShowMessage(const MessageRequest& request) {
    EndProgressLine();
    const bool question = request.Buttons == MessageButtons::YesNo;
    const bool error = request.Kind == MessageKind::Error && !question;
    std::FILE* out = error ? Streams_.Err : Streams_.Out;
    const bool someoneAsked = question && !AssumeYes_ && Streams_.InputIsTerminal && !(Interrupted && Interrupted());
    if (Quiet_ && !error && !someoneAsked)
        return question ? Ask(request) : MessageAnswer::Ok;
    std::fflush(Streams_.Out);

    // Messages carry drive-supplied texts (identities, device paths): no control byte but the
    // line end reaches the terminal.
    const std::string heading = request.Title.empty() ? KindName(request.Kind) : request.Title;
    if (!heading.empty())
        std::fprintf(out, "[%s]\n", PrintableText(heading).c_str());
    std::fputs(PrintableLines(request.Text).c_str(), out);
    if (request.Text.empty() || request.Text.back() != '\n')
        std::fputc('\n', out);
    std::fflush(out);
    if (!question)
        return MessageAnswer::Ok;
    return Ask(request);
}

MessageAnswer TerminalUserInterface::Ask(const MessageRequest& request) {
    const bool yesByDefault = request.Default == MessageAnswer::Yes;
    const char* prompt = yesByDefault ? _("[Y/n] ") : _("[y/N] ");
    std::FILE* out = Streams_.Out;
    const bool restart = request.Asks == Question::Restart;

    if (Interrupted && Interrupted()) {
        if (!Quiet_)
            std::fprintf(out, _("%sno (interrupted)\n"), prompt);
        std::fflush(out);
        return MessageAnswer::No;
    }
    if (AssumeYes_) {
        const MessageAnswer answer = restart ? MessageAnswer::No : MessageAnswer::Yes;
        if (!Quiet_)
            std::fprintf(out, _("%s%s (--yes)\n"), prompt, answer == MessageAnswer::Yes ? _("yes") : _("no"));
        std::fflush(out);
        return answer;
    }
    if (!Streams_.InputIsTerminal) {
        if (!Quiet_)
            std::fprintf(out, _("%sno (no terminal to ask on; --yes answers Yes)\n"), prompt);
        std::fflush(out);
        if (!restart)
            Refused_ = true;
        return MessageAnswer::No;
    }
    for (;;) {
        std::fputs(prompt, out);
        std::fflush(out);
        std::string line;
        if (!ReadLine(Streams_.In, line, Interrupted)) {
            // End of input, or a signal ended the wait: both count as Escape.
            std::clearerr(Streams_.In);
            std::fputc('\n', out);
            return MessageAnswer::No;
        }
        const std::string answer = Lowered(Trimmed(line));
        if (answer.empty())
            return yesByDefault ? MessageAnswer::Yes : MessageAnswer::No;
        // The English answers are understood in every language. A word that is yes in one
        // language and no in the other (a translated "y" that reads "n") is neither: it is
        // asked again.
        const bool yes = answer == "y" || answer == "yes" || answer == Lowered(_("y")) || answer == Lowered(_("yes"));
        const bool no = answer == "n" || answer == "no" || answer == Lowered(_("n")) || answer == Lowered(_("no"));
        if (yes != no)
            return yes ? MessageAnswer::Yes : MessageAnswer::No;
        std::fputs(_("Please answer y or n.\n"), out);
    }
}

void TerminalUserInterface::SetStatus(const std::string& text) {
    Caption_ = text;
    if (text.empty() || Quiet_)
        return;
    EndProgressLine();
    std::fprintf(Streams_.Out, "%s\n", PrintableText(FlashTexts::StatusInLanguage(text)).c_str());
    std::fflush(Streams_.Out);
}

void TerminalUserInterface::SetProgressRange(int32_t minimum, int32_t maximum) {
    Progress_.SetRange(minimum, maximum);
    LastShown_ = Streams_.OutputIsTerminal ? -1 : 0;
    ShowProgress();
}

void TerminalUserInterface::SetProgressStep(int32_t step) { Progress_.Step = step; }

void TerminalUserInterface::SetProgressPosition(int32_t position) {
    Progress_.SetPosition(position);
    ShowProgress();
}

void TerminalUserInterface::StepProgress() {
    Progress_.StepIt();
    ShowProgress();
}

int TerminalUserInterface::Percent() const {
    const int64_t span = int64_t(Progress_.Maximum) - Progress_.Minimum;
    if (span <= 0)
        return 0;
    return static_cast<int>((int64_t(Progress_.Position) - Progress_.Minimum) * 100 / span);
}

// A bar at its minimum is an empty bar: it is not drawn, and it ends a drawn bar's line.
// Plain lines come at each tenth, so a log gets at most ten lines per pass.
void TerminalUserInterface::ShowProgress() {
    if (Quiet_)
        return;
    const int percent = Percent();
    if (Progress_.Position <= Progress_.Minimum) {
        EndProgressLine();
        LastShown_ = Streams_.OutputIsTerminal ? -1 : 0;  // plain lines start at the first tenth
        return;
    }
    std::FILE* out = Streams_.Out;
    if (Streams_.OutputIsTerminal) {
        if (percent == LastShown_ && BarOnLine_)
            return;
        DrawLive(BarLine(percent, BarWidth, ShortestBar, "", "", LiveColumns()));
        LastShown_ = percent;
        return;
    }
    const int tenth = percent / 10;
    if (tenth <= LastShown_)
        return;
    std::fprintf(out, _("Progress: %d%%\n"), percent);
    std::fflush(out);
    LastShown_ = tenth;
}

// The live line is fitted to the terminal's width as it is now, one column short of it, so
// it never wraps and each redraw lands on the same line.
std::size_t TerminalUserInterface::LiveColumns() const {
    const std::size_t columns = Streams_.Columns != 0 ? Streams_.Columns : TerminalColumns(Streams_.Out);
    return columns == 0 ? 79 : std::max<std::size_t>(columns, 2) - 1;
}

void TerminalUserInterface::DrawLive(const std::string& line) {
    std::fprintf(Streams_.Out, "\r%s\x1b[K", line.c_str());
    std::fflush(Streams_.Out);
    BarOnLine_ = true;
}

void TerminalUserInterface::ShowWaiting(uint32_t seconds, uint32_t limit) {
    if (Quiet_)
        return;
    std::FILE* out = Streams_.Out;
    if (limit == 0) {
        // The answer came: the bar is drawn again without the wait.
        if (WaitShown_ && BarOnLine_) {
            LastShown_ = -1;
            ShowProgress();
        }
        WaitShown_ = false;
        return;
    }
    const std::string waited = WaitWords(seconds, limit);
    if (!Streams_.OutputIsTerminal) {
        // Every ten seconds; past the limit once, that the drive is late.
        if (WaitIsLate(seconds, limit) ? seconds == limit + 1 : seconds % 10 == 0)
            std::fprintf(out, "%s\n", waited.c_str());
        std::fflush(out);
        return;
    }
    DrawLive(BarLine(Percent(), BarWidth, ShortestBar, waited, "", LiveColumns()));
    WaitShown_ = true;
}

void TerminalUserInterface::ReplaceListEntry(int, const std::string& text) {
    if (Quiet_)
        return;
    EndProgressLine();
    std::fprintf(Streams_.Out, _("Drive: %s\n"), PrintableText(text).c_str());
    std::fflush(Streams_.Out);
}
