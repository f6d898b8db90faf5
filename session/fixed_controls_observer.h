// An observer whose controls are fixed values and whose messages go to a Prompter: how tests,
// benchmarks and scripts drive a session without windows.
#pragma once

#include "session/montage_session.h"

namespace orv {

class FixedControlsObserver : public SessionObserver {
public:
    FixedControlsObserver(Prompter& prompter, MontageControls controls)
        : controls_(std::move(controls)), prompter_(prompter) {}

    PromptAnswer prompt(const Prompt& p) override { return prompter_.show(p); }
    MontageControls controls() override { return controls_; }
    void incrementReplaced(const std::string& text) override { controls_.incrementText = text; }
    void comparisonSettings(std::optional<int> increment, int method) override {
        if (increment) controls_.incrementText = std::to_string(*increment);
        controls_.method = FocusMethod(method);
    }
    void readTargetOffsets(OffsetTable& offsets, const MontageControls&, int) override {
        if (offsets_) offsets = *offsets_;
    }

    MontageControls& editControls() { return controls_; }
    // The offsets the pictures' targets give, when offsets are used.
    void setTargetOffsets(const OffsetTable& offsets) { offsets_ = offsets; }

private:
    MontageControls controls_;
    Prompter& prompter_;
    std::optional<OffsetTable> offsets_;
};

} // namespace orv
