// The main window's commands on a series and its montages: Load, Make Montage, smoothing, the
// comparisons, the properties view and the previews. Each reads the controls and hands the work
// to the montage session; the desktop observer puts the results in the windows.
#include "ui/form_montage.h"

#include "base/runtime_error.h"
#include "session/montage_rules.h"
#include "ui/busy_cursor.h"

#include <QAction>
#include <QCoreApplication>

namespace orv {

LoadOutcome FormMontage::loadCommand() {
    // A missing first file is not reported at start-up.
    const LoadOutcome outcome = session_->load(!state_.startupFlag);
    state_.startupFlag = false;
    return outcome;
}

void FormMontage::CommandGo_Click() {
    if (gate()) makeMontage();
}

MakeOutcome FormMontage::makeMontage() {
    RunningCommand running(running_);
    return session_->makeMontage();
}

// --- smoothing -----------------------------------------------------------------------------------

void FormMontage::mnuSmooth_Click() {
    if (!gate()) return;
    RunningCommand running(running_);
    session_->smooth(MontageChoice{}, true, windows_->montageWindow()->isVisible(), "mnuSmooth", 0);
}

void FormMontage::smoothMontageWindow(FormMontagePicture* window) {
    RunningCommand running(running_);
    if (window->windowTitle() == windows_->montageWindow()->windowTitle()) {
        session_->smooth(MontageChoice{}, true, window->isVisible(), "mnuSmooth", 0);
        return;
    }
    const std::optional<int> k = windows_->comparisonIndexOf(window);
    if (!k) return;
    // The comparison montages are read back into slots 100 to 104 first.
    try {
        ArraySurfaces s;
        for (int i = 0; i < 5; ++i)
            if (FormMontagePicture* c = windows_->comparisonWindow(i)) s.comparison[std::size_t(i)] = &c->PictureFile()->surface();
        state_.montage.arrays.loadImageArrays(ArrayFill::Comparisons, s, SizeCheck{});
        state_.montage.mainSlotStale = true;
    } catch (...) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "mnuSmooth"), kGenericErrorTitle);
        return;
    }
    session_->smooth(MontageChoice{k}, true, window->isVisible(), "mnuSmooth", 0);
}

// --- comparisons ---------------------------------------------------------------------------------

void FormMontage::mnuAllMethods_Click() {
    if (!gate()) return;
    RunningCommand running(running_);
    int checked = -1;
    for (int i = 0; i < kMethodCount && checked < 0; ++i)
        if (methodEntry(i)->isChecked()) checked = i;
    session_->compareAllMethods(checked);
}

void FormMontage::mnuEvaluate_Click() {
    if (!gate()) return;
    RunningCommand running(running_);
    session_->evaluateIncrements(montageMethod());
}

void FormMontage::mnuEvaluateAll_Click() {
    if (!gate()) return;
    RunningCommand running(running_);
    session_->evaluateAll();
}

// --- properties and previews ---------------------------------------------------------------------

void FormMontage::mnuProperties_Click(FormMontagePicture* window) {
    if (window->mnuProperties()->isChecked()) {
        windows_->closePropertiesView();
        return;
    }
    std::string text = state_.montage.propertiesText;
    if (const std::optional<int> k = windows_->comparisonIndexOf(window))
        text = state_.montage.comparisonProperties[std::size_t(*k)];
    windows_->showProperties(window, text);
}

void FormMontage::preview(int picture, bool fromComparisons) {
    MontageState& ms = state_.montage;
    RunningCommand running(running_);
    MessageList messages;
    try {
        // The arrays are read from the windows as they show the pictures now.
        ArraySurfaces s;
        if (!fromComparisons) {
            s.montage = &windows_->montageWindow()->PictureFile()->surface();
            for (int n = 1; n <= state_.series.imageCount; ++n)
                if (FormPicture* w = windows_->existingSourceWindow(n)) s.pictures.push_back(&w->PictureFile()->surface());
            const bool comparison = state_.evaluation.evaluationMode != 0 || state_.evaluation.evaluationRun;
            ms.arrays.loadImageArrays(ArrayFill::Full, s, SizeCheck{readControls().ignored, comparison, &messages});
            ms.mainSlotStale = false;
        } else {
            for (int k = 0; k < 5; ++k)
                if (FormMontagePicture* c = windows_->comparisonWindow(k)) s.comparison[std::size_t(k)] = &c->PictureFile()->surface();
            ms.arrays.loadImageArrays(ArrayFill::Comparisons, s, SizeCheck{});
            ms.mainSlotStale = true;
        }
        showRecorded(messages, prompter_);
        FormPreview* p = windows_->previewWindow();
        p->clearPreview();
        p->show();
        p->raise();
        QCoreApplication::processEvents();
        ms.arrays.loadPreviewArray(p->PicturePreview()->surface());
        scalePictureIntoPreview(ms.arrays, picture);
        ms.arrays.showPreviewArray(p->PicturePreview()->surface());
        p->PicturePreview()->pictureChanged();
        RefreshWindowMenus();
    } catch (...) {
        showRecorded(messages, prompter_);
        prompter_.ask(PromptIcon::Critical,
                      genericErrorText(currentError(), 0, picture >= 100 ? "mnuShowPreview2" : "mnushowPreview"),
                      kGenericErrorTitle);
    }
}

void FormMontage::mnuShowPreview2_Click(FormMontagePicture* window) {
    if (const std::optional<int> k = windows_->comparisonIndexOf(window)) preview(100 + *k, true);
    else preview(100, false);
}

void FormMontage::mnushowPreview_Click(FormPicture* window) {
    if (const int n = windows_->sourceSlotOf(window->windowTitle())) preview(n, false);
}

} // namespace orv
