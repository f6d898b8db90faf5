// An observer that shows a session's messages through a Prompter and nothing else: how tests,
// benchmarks and scripts drive a session without windows.
#pragma once

#include "session/session_observer.h"

namespace orv {

class PromptingObserver : public SessionObserver {
public:
    explicit PromptingObserver(Prompter& prompter) : prompter_(prompter) {}
    PromptAnswer prompt(const Prompt& p) override { return prompter_.show(p); }

private:
    Prompter& prompter_;
};

} // namespace orv
