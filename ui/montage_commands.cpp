// The main window's commands on a series and its montages.
#include "ui/montage_commands.h"

#include "base/error_sites.h"
#include "base/runtime_error.h"
#include "ui/montage_windows.h"
#include "session/montage_rules.h"

#include <QCoreApplication>

namespace orv {

void CommandContext::reportError(const char* routine, int line) const {
    // A command the user stopped (Cancel, Esc) ends without a message.
    const RuntimeError e = currentError();
    if (e.stoppedByUser()) return;
    prompter.ask(PromptIcon::Critical, genericErrorText(e, line, routine), kGenericErrorTitle);
}

LoadOutcome MontageCommands::load(const std::string& typedName) {
    // A missing first file is not reported at start-up.
    const LoadOutcome outcome = c_.session.load(typedName, !c_.state.startupFlag);
    c_.state.startupFlag = false;
    return outcome;
}

MakeOutcome MontageCommands::make(const MontageRequest& request) {
    const MakeOutcome made = c_.session.makeMontage(request);
    made_ += made.made;
    return made;
}

void MontageCommands::smooth(const MontageRequest& request, FormMontagePicture* window) {
    const MontageChoice which{window ? window->comparison() : std::nullopt};
    if (!window) window = c_.windows.montageWindow();
    c_.session.smooth(which, request, true, window->isVisible(), kSmoothRoutine, 0);
}

namespace {

// Before a comparison that will run with Pyramid Focus ticked: what its score can and cannot say.
// Comparisons of increments need a montage already made (they refuse, or try nothing, without one).
void notePyramid(const CommandContext& c, const MontageRequest& request, const char* text, bool needsMontage) {
    if (request.method != FocusMethod::Pyramid) return;
    if (needsMontage && incrementLimit(c.state.montage.geometry.W) < 10) return;
    c.prompter.ask(PromptIcon::Information, text, kPyramidCompareTitle);
}

} // namespace

void MontageCommands::compareAllMethods(const MontageRequest& request, int checkedMethod) {
    notePyramid(c_, request, kPyramidMethodsText, false);
    comparisonEnded(request, c_.session.compareAllMethods(request, checkedMethod));
}

void MontageCommands::evaluateIncrements(const MontageRequest& request) {
    notePyramid(c_, request, kPyramidIncrementsText, true);
    comparisonEnded(request, c_.session.evaluateIncrements(request));
}

void MontageCommands::evaluateAll(const MontageRequest& request) {
    notePyramid(c_, request, kPyramidMethodsText, true);
    comparisonEnded(request, c_.session.evaluateAll(request));
}

void MontageCommands::comparisonEnded(const MontageRequest& request, const ComparisonResult& result) {
    if (result.ran && !result.candidates.empty()) return;
    // A comparison that was stopped, failed part way or could make none of its montages (a picture
    // of the series no longer readable) recommends nothing: the method and the increment it was
    // trying go back to the user's, so the next Make Montage is made as asked, and the comparison
    // windows it kept are listed in the "Window" menu.
    c_.view.showMethod(int(request.method));
    c_.view.showIncrement(request.incrementText);
    c_.view.refreshWindowMenus();
}

void MontageCommands::properties(FormMontagePicture* window) {
    if (window->mnuProperties()->isChecked()) {
        c_.windows.closePropertiesView();
        return;
    }
    c_.windows.showProperties(window, c_.session.record(MontageChoice{window->comparison()}).properties);
}

void MontageCommands::preview(int picture, const MontageChoice& which, const IgnoreTicks& ignored) {
    MessageList messages;
    try {
        // The preview reads its picture into arrays of its own: the session's stack stays as the
        // montage's run left it (an aligned series aligned), since the smoothing pass and
        // retouching take their blocks from it. The montage comes from its record, a source picture
        // from its window.
        PixelArrays arrays;
        ArraySurfaces s;
        int shown = int(MontageSlot::Main);
        int width = 0, height = 0;
        if (picture >= 100) {
            const MemorySurface& montage = c_.session.record(which).picture;
            s.montage = &montage;
            width = montage.pictureWidth();
            height = montage.pictureHeight();
        } else {
            FormPicture* w = c_.windows.existingSourceWindow(picture);
            if (!w) return;
            s.pictures.push_back(&w->PictureFile()->surface());
            shown = 1;
        }
        if (!which.comparison) {
            // Source pictures of another size than the first are said, as a fill of the arrays says them.
            ArraySurfaces all;
            for (int n = 1; n <= c_.state.series.imageCount; ++n)
                if (FormPicture* w = c_.windows.existingSourceWindow(n)) all.pictures.push_back(&w->PictureFile()->surface());
            const bool comparison = c_.state.evaluation.evaluationMode != 0 || c_.state.evaluation.evaluationRun;
            checkSameSize(all, SizeCheck{ignored, comparison, &messages});
        }
        arrays.loadImageArrays(ArrayFill::Full, s, SizeCheck{});
        showRecorded(messages, c_.prompter);
        FormPreview* p = c_.windows.previewWindow();
        p->clearPreview();
        p->show();
        p->raise();
        QCoreApplication::processEvents();
        arrays.loadPreviewArray(p->PicturePreview()->surface());
        scalePictureIntoPreview(arrays, shown, width, height);
        arrays.showPreviewArray(p->PicturePreview()->surface());
        p->PicturePreview()->pictureChanged();
        c_.view.refreshWindowMenus();
    } catch (...) {
        showRecorded(messages, c_.prompter);
        c_.reportError(picture >= 100 ? "mnuShowPreview2" : "mnushowPreview");
    }
}

void MontageCommands::previewMontage(FormMontagePicture* window, const IgnoreTicks& ignored) {
    const std::optional<int> k = window->comparison();
    preview(k ? comparisonSlot(*k) : int(MontageSlot::Main), MontageChoice{k}, ignored);
}

void MontageCommands::previewSource(FormPicture* window, const IgnoreTicks& ignored) {
    preview(window->slot(), MontageChoice{}, ignored);
}

} // namespace orv
