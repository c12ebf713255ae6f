#pragma once
// The user-interface seam: what the core shows a person. The Qt window, the terminal
// front end and the scripted test double implement it.

#include <cstdint>
#include <string>

enum class MessageKind { Plain, Information, Warning, Error, Confirmation };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
    std::string Text;
    MessageKind Kind = MessageKind::Plain;
    MessageButtons Buttons = MessageButtons::Ok;
    MessageAnswer Default = MessageAnswer::Ok;  // the answer Enter gives; Escape always gives No (or Ok)
    std::string Title;                           // "" lets the front end choose
};

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A modal message box. Returns the button pressed.
    virtual MessageAnswer ShowMessage(const MessageRequest& request) = 0;

    // The status caption (the caption of GroupBox2). Each change is shown at once.
    virtual void SetStatus(const std::string& text) = 0;
    virtual std::string Status() = 0;

    // The progress bar. StepProgress past the maximum starts again from the minimum.
    virtual void SetProgressRange(int32_t minimum, int32_t maximum) = 0;
    virtual void SetProgressStep(int32_t step) = 0;
    virtual void SetProgressPosition(int32_t position) = 0;
    virtual int32_t ProgressPosition() = 0;
    virtual int32_t ProgressMaximum() = 0;
    virtual void StepProgress() = 0;

    // The hourglass cursor for a whole operation.
    virtual void SetBusyCursor(bool busy) = 0;

    // Replaces entry index of the drive list (after a flash, with the drive's new identity line)
    // and selects it again.
    virtual void ReplaceListEntry(int index, const std::string& text) = 0;

    // Convenience for the common boxes.
    MessageAnswer Show(const std::string& text, MessageKind kind = MessageKind::Plain,
                       MessageButtons buttons = MessageButtons::Ok,
                       MessageAnswer defaultAnswer = MessageAnswer::Ok, const std::string& title = "") {
        return ShowMessage({text, kind, buttons, defaultAnswer, title});
    }
};

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
