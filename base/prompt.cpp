// Prompter back ends that need no window system.
#include "base/prompt.h"

#include <cstdio>

namespace orv {

void showRecorded(MessageList& messages, Prompter& prompter) {
    MessageList pending;
    pending.swap(messages);
    for (const Prompt& p : pending) prompter.show(p);
}

PromptAnswer defaultAnswer(PromptButtons buttons) {
    switch (buttons) {
    case PromptButtons::YesNo:
    case PromptButtons::YesNoCancel: return PromptAnswer::Yes;
    case PromptButtons::RetryCancel: return PromptAnswer::Retry;
    default: return PromptAnswer::Ok;
    }
}

PromptAnswer RecordingPrompter::show(const Prompt& prompt) {
    shown.push_back(prompt);
    if (onShow) onShow(prompt);
    if (script_.empty()) return defaultAnswer(prompt.buttons);
    const PromptAnswer a = script_.front();
    script_.pop_front();
    return a;
}

PromptAnswer StderrPrompter::show(const Prompt& prompt) {
    std::fprintf(stderr, "%s\n", prompt.text.c_str());
    std::fflush(stderr);
    return defaultAnswer(prompt.buttons);
}

} // namespace orv
