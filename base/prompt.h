// The message-box layer: every message the program shows goes through a Prompter, so the program
// shows a real box and tests record what would have been shown and script the answers.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orv {

enum class PromptIcon { None, Critical, Question, Exclamation, Information };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

struct Prompt {
    Prompt() = default;
    Prompt(PromptIcon i, PromptButtons b, std::string te, std::string ti, std::string d = {})
        : icon(i), buttons(b), text(std::move(te)), title(std::move(ti)), details(std::move(d)) {}

    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
    std::string text;
    std::string title;
    // More about the message, shown on request (the message box's details): the file a load
    // message is about.
    std::string details;
    bool operator==(const Prompt&) const = default;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual PromptAnswer show(const Prompt& prompt) = 0;

    PromptAnswer ask(PromptIcon icon, const std::string& text, const std::string& title,
                     PromptButtons buttons = PromptButtons::Ok) {
        return show(Prompt{icon, buttons, text, title});
    }
};

// Records every prompt and answers from a script (then with the first button: Ok or Yes).
class RecordingPrompter : public Prompter {
public:
    PromptAnswer show(const Prompt& prompt) override;
    void answerNext(PromptAnswer a) { script_.push_back(a); }

    std::vector<Prompt> shown;
    // Runs as each prompt is shown (a test looks at the screen the message would cover).
    std::function<void(const Prompt&)> onShow;

private:
    std::deque<PromptAnswer> script_;
};

// Writes each prompt's text as a line to standard error and answers with the first button: the
// batch front end's voice.
class StderrPrompter : public Prompter {
public:
    PromptAnswer show(const Prompt& prompt) override;
};

PromptAnswer defaultAnswer(PromptButtons buttons);

// Messages a computation records instead of showing them: the command that ran it shows them
// afterwards, in the order they arose, from its own thread.
using MessageList = std::vector<Prompt>;

inline void record(MessageList* to, PromptIcon icon, std::string text, std::string title) {
    if (to) to->push_back(Prompt{icon, PromptButtons::Ok, std::move(text), std::move(title)});
}

// Shows every recorded message through `prompter` and empties the list.
void showRecorded(MessageList& messages, Prompter& prompter);

} // namespace orv
