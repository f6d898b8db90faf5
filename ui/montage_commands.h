// The main window's commands on a series and its montages: Load, Make Montage, smoothing, the
// comparisons, the properties view and the previews. Each hands its request to the session; the
// desktop observer puts the results in the windows.
#pragma once

#include "ui/command_context.h"

namespace orv {

class FormMontagePicture;
class FormPicture;

class MontageCommands {
public:
    explicit MontageCommands(const CommandContext& c) : c_(c) {}

    LoadOutcome load(const std::string& typedName);
    MakeOutcome make(const MontageRequest& request);
    // "Smooth Montage Image": of the main window (`window` null), or of a montage window.
    void smooth(const MontageRequest& request, FormMontagePicture* window = nullptr);
    void compareAllMethods(const MontageRequest& request, int checkedMethod);
    void evaluateIncrements(const MontageRequest& request);
    void evaluateAll(const MontageRequest& request);
    // "Properties" of a montage window: the view shown, or closed when it was.
    void properties(FormMontagePicture* window);
    // "Show Preview of this Picture" of a montage window and of a source window.
    void previewMontage(FormMontagePicture* window, const IgnoreTicks& ignored);
    void previewSource(FormPicture* window, const IgnoreTicks& ignored);

    int montagesMade() const { return made_; } // montages made since the program started

private:
    void preview(int picture, const MontageChoice& which, const IgnoreTicks& ignored);
    void comparisonEnded(const MontageRequest& request, const ComparisonResult& result);

    CommandContext c_;
    int made_ = 0;
};

} // namespace orv
