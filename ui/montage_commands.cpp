// The commands on a finished montage: smoothing, the method and increment comparisons, the
// properties view and the preview, with the montage windows they work in.
#include "ui/form_montage.h"

#include "base/runtime_error.h"
#include "smoothing/quality_score.h"
#include "ui/busy_cursor.h"
#include "ui/montage_rules.h"
#include "ui/smoothing_bridge.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QLineEdit>
#include <QTimer>

namespace orv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

// --- the windows --------------------------------------------------------------------------------

void FormMontage::focusMainLater() {
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) activateWindow();
    });
}

void FormMontage::connectMontageWindow(FormMontagePicture* w) {
    QPointer<FormMontagePicture> guarded(w);
    connect(w, &FormMontagePicture::smoothRequested, this, [this, guarded] {
        if (guarded && gate()) smoothMontageWindow(guarded);
    });
    connect(w, &FormMontagePicture::propertiesRequested, this, [this, guarded] {
        if (guarded) mnuProperties_Click(guarded);
    });
    connect(w, &FormMontagePicture::previewRequested, this, [this, guarded] {
        if (guarded && gate()) mnuShowPreview2_Click(guarded);
    });
    // A closed montage window leaves the window list; its properties go with it.
    connect(w, &PictureWindow::closed, this, [this, guarded] {
        if (guarded && guarded->mnuProperties()->isChecked()) closePropertiesView();
        RefreshWindowMenus();
    });
    connect(w, &PictureWindow::focusHandOff, this, &FormMontage::focusMainLater);
}

FormMontagePicture* FormMontage::montageWindow() {
    if (auto* w = qobject_cast<FormMontagePicture*>(montageWindows_.montage.data())) return w;
    auto* w = new FormMontagePicture(this);
    connectMontageWindow(w);
    montageWindows_.montage = w;
    montageWindows_.clearPropertiesTicks = [this] {
        if (auto* m = qobject_cast<FormMontagePicture*>(montageWindows_.montage.data()))
            m->mnuProperties()->setChecked(false);
        for (int k = 0; k < 6; ++k)
            if (FormMontagePicture* c = comparisonWindow(k)) c->mnuProperties()->setChecked(false);
    };
    return w;
}

FormUsed* FormMontage::usedWindow() {
    if (auto* w = qobject_cast<FormUsed*>(montageWindows_.used.data())) return w;
    auto* w = new FormUsed(this);
    connect(w, &FormUsed::focusHandOff, this, &FormMontage::focusMainLater);
    montageWindows_.used = w;
    return w;
}

FormPreview* FormMontage::previewWindow() {
    if (auto* w = qobject_cast<FormPreview*>(montageWindows_.preview.data())) return w;
    auto* w = new FormPreview(this);
    // The preview sits in the screen's lower right corner, clear of the source windows' cascade.
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    w->move(std::max(avail.left(), avail.right() - w->width() - 8),
            std::max(avail.top(), avail.bottom() - w->height() - 32));
    connect(w, &PictureWindow::closed, this, &FormMontage::RefreshWindowMenus);
    montageWindows_.preview = w;
    return w;
}

FormProperties* FormMontage::propertiesWindow() {
    if (auto* w = qobject_cast<FormProperties*>(montageWindows_.properties.data())) return w;
    auto* w = new FormProperties(state_.dragState, montageWindow());
    connect(w, &FormProperties::focusHandOff, this, &FormMontage::focusMainLater);
    montageWindows_.properties = w;
    return w;
}

FormMontagePicture* FormMontage::comparisonWindow(int k) const {
    return qobject_cast<FormMontagePicture*>(montageWindows_.comparison[std::size_t(k)].data());
}

FormUsed* FormMontage::comparisonUsedWindow(int k) const {
    return qobject_cast<FormUsed*>(montageWindows_.comparisonUsed[std::size_t(k)].data());
}

std::vector<std::string> FormMontage::comparisonCaptions() const {
    std::vector<std::string> captions;
    for (int k = 0; k < 6; ++k) {
        const FormMontagePicture* w = comparisonWindow(k);
        captions.push_back(w ? w->windowTitle().toStdString() : std::string());
    }
    return captions;
}

float FormMontage::evaluateImage(int increment) const {
    return ::orv::evaluateImage(state_.montage.arrays, state_.montage.geometry, increment);
}

// --- properties ---------------------------------------------------------------------------------

void FormMontage::closePropertiesView() {
    if (FormProperties* p = qobject_cast<FormProperties*>(montageWindows_.properties.data())) p->hide();
    if (montageWindows_.clearPropertiesTicks) montageWindows_.clearPropertiesTicks();
}

void FormMontage::mnuProperties_Click(FormMontagePicture* window) {
    if (window->mnuProperties()->isChecked()) {
        closePropertiesView();
        return;
    }
    closePropertiesView();
    window->mnuProperties()->setChecked(true);
    std::string text = state_.montage.propertiesText;
    const int k = lastMatchingCaption(comparisonCaptions(), window->windowTitle().toStdString());
    if (k >= 0) text = state_.montage.comparisonProperties[std::size_t(k)];
    FormProperties* p = propertiesWindow();
    p->setText(text);
    p->showBeside(window);
}

// --- smoothing ----------------------------------------------------------------------------------

FocusContext FormMontage::currentFocus(const MontageControls& c) const {
    // The pass measures with the method and ignore ticks as they are now.
    FocusContext f = state_.montage.focus;
    f.method = c.method;
    f.ignored = c.ignored;
    f.useOffsets = c.useOffsets;
    f.offsets = currentOffsets(c);
    f.prompter = &prompter_;
    return f;
}

bool FormMontage::smooth(FormMontagePicture* window, FormUsed* map, int index, bool showMessages) {
    MontageState& ms = state_.montage;
    const MontageControls c = readControls();
    QPointer<FormMontagePicture> target(window);
    QPointer<FormUsed> mapWindow(map);
    try {
        // The main montage is smoothed as its window shows it.
        if (index == 999 && ms.mainSlotStale && window->isVisible()) {
            ArraySurfaces s;
            s.montage = &window->PictureFile()->surface();
            ms.arrays.loadImageArrays(2, s, SizeCheck{});
            ms.mainSlotStale = false;
        }
        const FocusContext focus = currentFocus(c);
        std::string mapText = map ? map->mapText() : std::string();
        std::string* properties = index == 999 ? &ms.propertiesText
                                               : &ms.comparisonProperties[std::size_t(std::clamp(index, 0, 10))];
        SmoothingCall call;
        call.arrays = &ms.arrays;
        call.measure = &ms.measure;
        call.focus = &focus;
        call.geometry = &ms.geometry;
        call.area = c.area.value_or(DisplayArea::Same);
        call.map = map ? &mapText : nullptr;
        call.properties = properties;
        call.prompter = &prompter_;
        call.montageVisible = window->isVisible();
        call.montageIndex = index;
        call.showMessages = showMessages;
        call.incrementText = c.incrementText;
        call.edgeFactor = state_.smoothing.edgeFactor;
        call.focusFactor = state_.smoothing.focusFactor;
        call.diffFactor = state_.smoothing.diffFactor;
        std::optional<BusyCursor> busy;
        call.busy = [&busy](bool on) {
            if (on) busy.emplace();
            else busy.reset();
        };
        call.redrawBlock = [&](int slot, int x, int y, int inc) {
            if (!target) return;
            const std::vector<std::uint8_t>& cells = ms.arrays.montage.slot(slot);
            target->PictureFile()->drawCells(cells.data(), ms.arrays.montage.width(), ms.arrays.montage.height(),
                                             x, y, x + inc - 1, y + inc - 1);
        };
        call.afterRow = [] { QCoreApplication::processEvents(); };
        call.propertiesChanged = [&](const std::string& text) {
            if (target && target->mnuProperties()->isChecked())
                if (FormProperties* p = qobject_cast<FormProperties*>(montageWindows_.properties.data()))
                    p->setText(text);
        };
        const SmoothingOutcome out = runSmoothing(call);
        if (mapWindow && out.ran) mapWindow->setMapText(mapText);
        return out.ran;
    } catch (...) {
        const RuntimeError e = currentError();
        prompter_.ask(PromptIcon::Critical,
                      genericErrorText(e, e.line() ? e.line() : (showMessages ? 0 : 11000),
                                       showMessages ? "mnuSmooth" : "CommandGo"),
                      kGenericErrorTitle);
        return false;
    }
}

void FormMontage::mnuSmooth_Click() {
    if (!gate()) return;
    RunningCommand running(running_);
    smooth(montageWindow(), usedWindow(), 999, true);
}

void FormMontage::smoothMontageWindow(FormMontagePicture* window) {
    RunningCommand running(running_);
    if (window->windowTitle() == montageWindow()->windowTitle()) {
        smooth(window, usedWindow(), 999, true);
        return;
    }
    const int k = lastMatchingCaption(comparisonCaptions(), window->windowTitle().toStdString());
    if (k < 0) return;
    // The comparison montages are read back into slots 100 to 104 first.
    try {
        ArraySurfaces s;
        for (int i = 0; i < 5; ++i)
            if (FormMontagePicture* c = comparisonWindow(i)) s.comparison[std::size_t(i)] = &c->PictureFile()->surface();
        state_.montage.arrays.loadImageArrays(1, s, SizeCheck{});
        state_.montage.mainSlotStale = true;
    } catch (...) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "mnuSmooth"), kGenericErrorTitle);
        return;
    }
    smooth(window, comparisonUsedWindow(k), k, true);
}

// --- comparisons --------------------------------------------------------------------------------

FormMontagePicture* FormMontage::makeComparisonWindow(int k) {
    if (FormMontagePicture* w = comparisonWindow(k)) return w;
    auto* w = new FormMontagePicture(this);
    connectMontageWindow(w);
    montageWindows_.comparison[std::size_t(k)] = w;
    auto* used = new FormUsed(this);
    connect(used, &FormUsed::focusHandOff, this, &FormMontage::focusMainLater);
    montageWindows_.comparisonUsed[std::size_t(k)] = used;
    return w;
}

void FormMontage::keepComparison(int k, int method) {
    FormMontagePicture* main = montageWindow();
    FormMontagePicture* w = makeComparisonWindow(k);
    w->PictureFile()->setPicture(main->PictureFile()->picture());
    w->fitToPicture();
    w->setWindowTitle(qs(comparisonCaption(method)));
    FormUsed* mainMap = usedWindow();
    FormUsed* map = comparisonUsedWindow(k);
    map->setMapFontSize(mainMap->mapFontSize());
    map->setMapText(mainMap->mapText());
    map->resize(mainMap->size());
    state_.montage.comparisonProperties[std::size_t(k)] = state_.montage.propertiesText;
    // The copies fan out to the lower left of the main montage window.
    const QPoint at = main->pos() + QPoint(-28 * (k + 1), 28 * (k + 1));
    w->move(std::max(0, at.x()), std::max(0, at.y()));
    map->move(std::max(0, at.x() - map->width() - 8), std::max(0, at.y()));
    w->show();
    if (mainMap->isVisible()) map->show();
    QCoreApplication::processEvents();
}

void FormMontage::runComparison(const std::function<void(ComparisonDriver&)>& command) {
    if (!gate()) return;
    RunningCommand running(running_);
    ComparisonHooks hooks;
    hooks.makeMontage = [this](const MontageRequest& r, const EvaluationState&) {
        if (r.increment) textIncrement_->setText(QString::number(*r.increment));
        mnusimpleCol_Click(r.method);
        const MakeResult made = makeMontage();
        return made.made ? made.increment : 0;
    };
    hooks.processEvents = [] { QCoreApplication::processEvents(); };
    hooks.keepComparison = [this](int k, int method) { keepComparison(k, method); };
    hooks.showComparisonInMain = [this](int k) {
        if (FormMontagePicture* c = comparisonWindow(k)) {
            montageWindow()->PictureFile()->setPicture(c->PictureFile()->picture());
            state_.montage.mainSlotStale = true;
        }
    };
    hooks.finishMethods = [this](int method) {
        montageWindow()->raise();
        RefreshWindowMenus();
        mnusimpleCol_Click(method);
        textFileName_->setText(qs(state_.montage.firstFileName));
    };
    hooks.takeFocus = [this] { activateWindow(); };
    try {
        ComparisonDriver driver(state_.evaluation, state_.montage.arrays, state_.montage.geometry, prompter_,
                                std::move(hooks));
        command(driver);
    } catch (...) {
        state_.evaluation.evaluationMode = 0;
        state_.evaluation.evaluationRun = false;
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "evaluateImage"),
                      kGenericErrorTitle);
    }
}

void FormMontage::mnuAllMethods_Click() {
    int checked = -1;
    for (int i = 0; i < 5 && checked < 0; ++i)
        if (methods_[std::size_t(i)]->isChecked()) checked = i;
    runComparison([checked](ComparisonDriver& d) { d.compareAllMethods(checked); });
}

void FormMontage::mnuEvaluate_Click() {
    const int method = montageMethod();
    runComparison([method](ComparisonDriver& d) { d.evaluateIncrements(method); });
}

void FormMontage::mnuEvaluateAll_Click() {
    runComparison([](ComparisonDriver& d) { d.evaluateAll(); });
}

// --- preview ------------------------------------------------------------------------------------

void FormMontage::preview(int mode, int picture) {
    MontageState& ms = state_.montage;
    RunningCommand running(running_);
    try {
        ArraySurfaces s;
        if (mode == 0) {
            s.montage = &montageWindow()->PictureFile()->surface();
            for (int n = 1; n <= state_.series.imageCount; ++n)
                if (FormPicture* w = existingSourceWindow(n)) s.pictures.push_back(&w->PictureFile()->surface());
            const bool comparison = state_.evaluation.evaluationMode != 0 || state_.evaluation.evaluationRun;
            ms.arrays.loadImageArrays(0, s, SizeCheck{readControls().ignored, comparison, &prompter_});
            ms.mainSlotStale = false;
        } else {
            for (int k = 0; k < 5; ++k)
                if (FormMontagePicture* c = comparisonWindow(k)) s.comparison[std::size_t(k)] = &c->PictureFile()->surface();
            ms.arrays.loadImageArrays(1, s, SizeCheck{});
            ms.mainSlotStale = true;
        }
        FormPreview* p = previewWindow();
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
        prompter_.ask(PromptIcon::Critical,
                      genericErrorText(currentError(), 0, picture >= 100 ? "mnuShowPreview2" : "mnushowPreview"),
                      kGenericErrorTitle);
    }
}

void FormMontage::mnuShowPreview2_Click(FormMontagePicture* window) {
    const int k = lastMatchingCaption(comparisonCaptions(), window->windowTitle().toStdString());
    if (k >= 0) preview(1, 100 + k);
    else preview(0, 100);
}

void FormMontage::mnushowPreview_Click(FormPicture* window) {
    for (int n = 1; n <= kMaxPictures; ++n)
        if (FormPicture* w = existingSourceWindow(n); w && w->windowTitle() == window->windowTitle()) {
            preview(0, n);
            return;
        }
}

} // namespace orv
