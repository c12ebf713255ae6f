// SPDX-License-Identifier: Apache-2.0
#pragma once
// The seam through which the core tells a person something and asks the questions it
// needs answered: a message box in the window, a printed message and a prompt in the
// terminal, a script in tests.

#include <string>

enum class MessageKind { Plain, Information, Warning, Error, Confirmation };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// Every question the core asks is one of these, so a front end decides how to answer by
// what is asked, never by the wording.
enum class Question {
    None,                // a message with an OK button, no question
    StartUpWarning,      // go on with a flash utility at all
    UpdateConfirmation,  // replace the drive's firmware revision with the new one
    Restart,             // restart the computer now, after a completed flash
};

struct MessageRequest {
    std::string Text;
    MessageKind Kind = MessageKind::Plain;
    MessageButtons Buttons = MessageButtons::Ok;
    MessageAnswer Default = MessageAnswer::Ok;  // the answer Enter gives; Escape always gives No (or Ok)
    std::string Title;                           // "" lets the front end choose
    Question Asks = Question::None;
};

class Answers {
public:
    virtual ~Answers() = default;

    // A modal message box. Returns the button pressed.
    virtual MessageAnswer ShowMessage(const MessageRequest& request) = 0;

    // A message with one OK button.
    void Show(const std::string& text, MessageKind kind = MessageKind::Plain, const std::string& title = "") {
        ShowMessage({text, kind, MessageButtons::Ok, MessageAnswer::Ok, title});
    }
    // A Yes/No question; true only for Yes.
    bool Ask(Question question, const std::string& text, MessageKind kind, MessageAnswer defaultAnswer,
             const std::string& title = "") {
        return ShowMessage({text, kind, MessageButtons::YesNo, defaultAnswer, title, question}) == MessageAnswer::Yes;
    }
};
