// How each step of a session command shows in the windows.
#include "ui/desktop_observer.h"

#include "base/text.h"
#include "input/picture_file.h"
#include "session/montage_rules.h"
#include "settings/preferences.h"
#include "ui/form_montage.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>

namespace orv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

PromptAnswer DesktopObserver::prompt(const Prompt& p) {
    // A message shows over the windows as they are after the step that failed.
    hideEarlierWindows(true);
    return form_.prompter().show(p);
}

void DesktopObserver::busy(bool on) {
    if (on && !busy_) busy_.emplace();
    if (!on) {
        hideEarlierWindows(true);
        busy_.reset();
    }
}

void DesktopObserver::hideEarlierWindows(bool montageToo) {
    if (!earlier_) return;
    WindowManager& w = form_.windows();
    w.hideSourceWindowsFrom(earlier_->sourcesFrom);
    earlier_->sourcesFrom = kMaxPictures + 1;
    if (montageToo && earlier_->montage) {
        try {
            w.montageWindow()->hide();
        } catch (...) {
        }
        earlier_->montage = false;
    }
    if (!earlier_->montage) earlier_.reset();
}

void DesktopObserver::processEvents() {
    // Windows are repainted and clicks answered about 30 times a second while a command runs:
    // often enough to watch the pictures come in and the montage grow, without painting every
    // window again after every picture and every block row.
    if (lastEvents_.isValid() && lastEvents_.elapsed() < 33) return;
    QCoreApplication::processEvents();
    lastEvents_.start();
}

MontageControls DesktopObserver::controls() { return form_.readControls(); }

bool DesktopObserver::montageVisible(const MontageChoice& which) {
    FormMontagePicture* w = form_.windows().montageWindowOf(which.comparison);
    return w && w->isVisible();
}

PictureSurface* DesktopObserver::montageSurface() {
    return &form_.windows().montageWindow()->PictureFile()->surface();
}

// --- Load and Make Montage -----------------------------------------------------------------------

void DesktopObserver::incrementReplaced(const std::string& text) { form_.TextIncrement()->setText(qs(text)); }

void DesktopObserver::montageStarting(bool reusingSeries) {
    WindowManager& w = form_.windows();
    FormMontagePicture* montage = w.montageWindow();
    const QSize size = montage->PictureFile()->size();
    montage->PictureFile()->setBlankPicture(size.width(), size.height());
    w.closePropertiesView();
    if (reusingSeries) w.usedWindow()->setMapText("");
}

void DesktopObserver::seriesStarting(bool forMontage, const std::string& firstFileName) {
    WindowManager& w = form_.windows();
    // The windows of the earlier series go; a window that cannot go is left as it is. The source
    // windows and the montage window go when the series is in or the run stops, unless a new
    // picture or the new montage takes them over first.
    earlier_ = EarlierWindows{1, forMontage};
    if (forMontage) w.montageWindow()->setWindowTitle(qs(kMontageCaptionPrefix + firstFileName));
    else w.hideMontageWindows();
    w.dropEarlierSeriesWindows(true);
    for (int k = 0; k < 10; ++k) form_.mnuignoreImage(k)->setVisible(false);
}

void DesktopObserver::fileNameCompleted(const std::string& name) { form_.textFileName()->setText(qs(name)); }

void DesktopObserver::firstFileMissing(const std::string& name) {
    form_.state().recent.blank(name, form_.state().preferences);
    form_.fillRecentFiles();
}

void DesktopObserver::pictureLoaded(int k, const std::string& name, const MemorySurface& picture, QImage shown) {
    FormPicture* w = form_.windows().sourceWindow(k);
    if (shown.isNull()) shown = shownPicture(picture);
    if (earlier_) earlier_->sourcesFrom = k + 1;
    w->showPicture(std::move(shown), QStringLiteral("Image %1 -- %2").arg(k).arg(qs(name)));
    w->showNormal();
    if (k <= 10) form_.mnuignoreImage(k - 1)->setVisible(true);
    // The new picture's target shows while offsets are used.
    w->setTargetShown(form_.action(Command::UseOffsets)->isChecked());
}

void DesktopObserver::seriesLoaded(int count, bool forMontage) {
    ProgramState& st = form_.state();
    hideEarlierWindows(false);
    form_.windows().cascadeSourceWindows(count, form_.fileBoxBottom(), st.layout);
    for (int k = 1; k <= std::min(count, 10); ++k) form_.mnuignoreImage(k - 1)->setVisible(true);
    const bool offsets = form_.action(Command::UseOffsets)->isChecked();
    if (forMontage) {
        // Other pictures may be on screen now: the status window lists them.
        if (offsets) form_.ShowOffsetStatus();
        return;
    }
    // With offsets in use the targets of every slot show and the status window lists the new
    // series (switching them on again, not off).
    if (offsets) form_.switchOffsets(true);
    st.targetColor = std::uint32_t(std::clamp(readProfileNumber(st.preferences, kPreferencesSection, "Target color"), 0.0, double(0xFFFFFF)));
    form_.SetTargetColor(st.targetColor);
    form_.RefreshWindowMenus();
}

void DesktopObserver::readTargetOffsets(OffsetTable& offsets, const MontageControls& c, int count) {
    for (int n = 1; n <= count && n <= kMaxPictures; ++n) {
        if (isIgnored(c.ignored, n)) continue;
        if (FormPicture* w = form_.windows().existingSourceWindow(n)) {
            const QRectF t = w->offsetTarget();
            offsets[std::size_t(n)] = markerCentre(t.left(), t.top(), t.width(), t.height());
        }
    }
}

void DesktopObserver::montageSized(float W, float H, int increment) {
    WindowManager& w = form_.windows();
    if (earlier_) earlier_->montage = false;
    w.placeMontageWindows(W, H, increment, form_.goButtonBottom(), form_.state().layout.sizingFrameHeight,
                          form_.state().originatingImage);
    w.montageWindow()->show();
    w.montageWindow()->raise();
}

void DesktopObserver::montageHidden() { form_.windows().montageWindow()->hide(); }

PictureSurface* DesktopObserver::previewSurface() {
    FormPreview* preview = form_.windows().previewWindow();
    preview->show();
    return &preview->PicturePreview()->surface();
}

void DesktopObserver::blockRowDone(const MontageRowEvent& e, const PixelArrays& arrays) {
    WindowManager& w = form_.windows();
    w.usedWindow()->setMapText(*e.row.map);
    if (w.hasPreview() && e.previewFrom <= e.previewTo) {
        const PixelBuffer& pv = arrays.preview;
        w.previewWindow()->PicturePreview()->drawCells(pv.bytes.data(), pv.width(), pv.height(), 0, e.previewFrom,
                                                       pv.width() - 1, e.previewTo);
    }
    // The first block row shows at once, then the map and preview grow at the pace of the
    // window events.
    if (e.row.rowIndex == 0) lastEvents_.invalidate();
    processEvents();
}

void DesktopObserver::montageReady(const PixelArrays& arrays, const std::string& map, bool previewShown) {
    WindowManager& w = form_.windows();
    FormMontagePicture* montage = w.montageWindow();
    arrays.showMontageArray(montage->PictureFile()->surface());
    montage->PictureFile()->pictureChanged();
    // The preview window may have been closed while the montage grew.
    if (previewShown && w.hasPreview()) {
        arrays.showPreviewArray(w.previewWindow()->PicturePreview()->surface());
        w.previewWindow()->PicturePreview()->pictureChanged();
    }
    w.usedWindow()->setMapText(map);
    montage->show();
    montage->raise();
    if (previewShown && w.hasPreview()) w.previewWindow()->raise();
}

void DesktopObserver::montageFinished() {
    form_.windows().usedWindow()->fitHeightToText();
    form_.state().preferences.tryWrite(kPreferencesSection, "filename",
                                       trimBlanks(form_.textFileName()->text().toStdString()));
    form_.RefreshWindowMenus();
}

void DesktopObserver::firstFileUsed(const std::string& name) {
    form_.textFileName()->setText(qs(name));
    form_.AddRecentFile(form_.textFileName()->text().toStdString());
}

// --- smoothing -----------------------------------------------------------------------------------

void DesktopObserver::blockReplaced(const MontageChoice& which, int slot, int x, int y, int increment) {
    FormMontagePicture* target = form_.windows().montageWindowOf(which.comparison);
    if (!target) return;
    const MontageBuffers& m = form_.state().montage.arrays.montage;
    const std::vector<std::uint8_t>& cells = m.slot(slot);
    target->PictureFile()->drawCells(cells.data(), m.width(), m.height(), x, y, x + increment - 1, y + increment - 1);
}

void DesktopObserver::propertiesChanged(const MontageChoice& which, const std::string& text) {
    form_.windows().updateProperties(form_.windows().montageWindowOf(which.comparison), text);
}

void DesktopObserver::mapChanged(const MontageChoice& which, const std::string& map) {
    if (FormUsed* w = form_.windows().mapWindowOf(which.comparison)) w->setMapText(map);
}

// --- comparisons ---------------------------------------------------------------------------------

void DesktopObserver::comparisonSettings(std::optional<int> increment, int method) {
    if (increment) form_.TextIncrement()->setText(QString::number(*increment));
    form_.setMontageMethod(method);
}

void DesktopObserver::keepComparison(int window, int method) {
    form_.windows().keepComparison(window, comparisonCaption(method));
}

void DesktopObserver::showComparisonInMain(int window) {
    WindowManager& w = form_.windows();
    if (FormMontagePicture* c = w.comparisonWindow(window))
        w.montageWindow()->PictureFile()->setPicture(c->PictureFile()->picture());
}

void DesktopObserver::comparisonFinished(int method) {
    form_.windows().montageWindow()->raise();
    form_.RefreshWindowMenus();
    form_.setMontageMethod(method);
    form_.textFileName()->setText(qs(form_.state().montage.firstFileName));
}

void DesktopObserver::takeFocus() { form_.activateWindow(); }

} // namespace orv
