// How each step of a session command shows in the windows.
#include "ui/desktop_observer.h"

#include "base/text.h"
#include "input/picture_file.h"
#include "session/montage_rules.h"
#include "settings/preferences.h"
#include "ui/path_text.h"

#include <QCoreApplication>

namespace orv {

namespace {

// Captions and names keep their bytes (see path_text.h).
QString qs(const std::string& s) { return pathText(s); }

} // namespace

PromptAnswer DesktopObserver::prompt(const Prompt& p) {
    // A message shows over the windows as they are after the step that failed.
    hideEarlierWindows(true);
    return view_.prompter().show(p);
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
    windows_.hideSourceWindowsFrom(earlier_->sourcesFrom);
    earlier_->sourcesFrom = kMaxPictures + 1;
    if (montageToo && earlier_->montage) {
        try {
            windows_.montageWindow()->hide();
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

bool DesktopObserver::montageVisible(const MontageChoice& which) {
    FormMontagePicture* w = windows_.montageWindowOf(which.comparison);
    return w && w->isVisible();
}

// --- Load and Make Montage -----------------------------------------------------------------------

void DesktopObserver::incrementReplaced(const std::string& text) { view_.showIncrement(text); }

void DesktopObserver::montageStarting(bool reusingSeries) {
    previewGrowing_ = false;
    // The blank is as large as the montage's picture, not as the box, which is the picture as
    // zoomed: a comparison keeps the montage size, and its montages are drawn into this picture.
    FormMontagePicture* montage = windows_.montageWindow();
    const QSize size = montage->PictureFile()->picture().size();
    montage->PictureFile()->setBlankPicture(size.width(), size.height());
    windows_.closePropertiesView();
    if (reusingSeries) windows_.usedWindow()->setMapText("");
}

void DesktopObserver::seriesStarting(bool forMontage, const std::string& firstFileName) {
    // The windows of the earlier series go; a window that cannot go is left as it is. The source
    // windows and the montage window go when the series is in or the run stops, unless a new
    // picture or the new montage takes them over first.
    earlier_ = EarlierWindows{1, forMontage};
    montageShownBefore_ = forMontage && windows_.montageWindow()->isVisible();
    if (forMontage) windows_.montageWindow()->setWindowTitle(qs(kMontageCaptionPrefix + firstFileName));
    else windows_.hideMontageWindows();
    windows_.dropEarlierSeriesWindows(true);
    view_.showIgnoreEntries(0);
}

void DesktopObserver::fileNameCompleted(const std::string& name) { view_.showFileName(name); }

void DesktopObserver::firstFileMissing(const std::string& name) { view_.forgetRecentFile(name); }

void DesktopObserver::pictureLoaded(int k, const std::string& name, const MemorySurface& picture, QImage shown) {
    FormPicture* w = windows_.sourceWindow(k);
    if (shown.isNull()) shown = shownPicture(picture);
    if (earlier_) earlier_->sourcesFrom = k + 1;
    w->showPicture(std::move(shown), qs(sourceCaption(k, name)));
    // A window coming up is at its place in the cascade as it appears: moved there only once it
    // is up, the window manager may still be placing it and leave it elsewhere, even on top of
    // its neighbour.
    if (!w->isVisible()) windows_.placeSourceWindow(k, view_.fileBoxBottom(), state_.layout);
    w->showNormal();
    view_.showIgnoreEntries(k);
    // The new picture's target shows while offsets are used.
    w->setTargetShown(view_.offsetsOn());
}

void DesktopObserver::seriesLoaded(int count, bool forMontage) {
    hideEarlierWindows(false);
    windows_.cascadeSourceWindows(count, view_.fileBoxBottom(), state_.layout);
    view_.showIgnoreEntries(count);
    if (forMontage) {
        // Other pictures may be on screen now: the status window lists them.
        if (view_.offsetsOn()) view_.showOffsetStatus();
        return;
    }
    // With offsets in use the targets of every slot show and the status window lists the new
    // series (switching them on again, not off).
    if (view_.offsetsOn()) view_.switchOffsetsOn();
    state_.targetColor = std::uint32_t(
        std::clamp(readProfileNumber(state_.preferences, kPreferencesSection, "Target color"), 0.0, double(0xFFFFFF)));
    view_.setTargetColor(state_.targetColor);
    view_.refreshWindowMenus();
}

void DesktopObserver::montageSized(float W, float H, int increment) {
    if (earlier_) earlier_->montage = false;
    windows_.placeMontageWindows(W, H, increment, view_.goButtonBottom(), state_.layout.sizingFrameHeight,
                                 state_.originatingImage);
    windows_.montageWindow()->show();
    windows_.montageWindow()->raise();
}

void DesktopObserver::montageHidden() { windows_.montageWindow()->hide(); }

PictureSurface* DesktopObserver::previewSurface() {
    FormPreview* preview = windows_.previewWindow();
    previewGrowing_ = true;
    preview->show();
    return &preview->PicturePreview()->surface();
}

void DesktopObserver::blockRowDone(const MontageRowEvent& e, const PixelArrays& arrays) {
    windows_.usedWindow()->setMapText(*e.row.map);
    if (windows_.hasPreview() && e.previewFrom <= e.previewTo) {
        const PixelBuffer& pv = arrays.preview;
        windows_.previewWindow()->PicturePreview()->drawCells(pv.bytes.data(), pv.width(), pv.height(), 0,
                                                              e.previewFrom, pv.width() - 1, e.previewTo);
    }
    // The first block row shows at once, then the map and preview grow at the pace of the
    // window events.
    if (e.row.rowIndex == 0) lastEvents_.invalidate();
    processEvents();
}

void DesktopObserver::montageReady(const MontageRecord& main, const PixelArrays& arrays, bool previewShown) {
    previewGrowing_ = false;
    FormMontagePicture* montage = windows_.montageWindow();
    montage->PictureFile()->showSurface(main.picture);
    // The preview window may have been closed while the montage grew.
    if (previewShown && windows_.hasPreview()) {
        arrays.showPreviewArray(windows_.previewWindow()->PicturePreview()->surface());
        windows_.previewWindow()->PicturePreview()->pictureChanged();
    }
    windows_.usedWindow()->setMapText(main.map);
    montage->show();
    montage->raise();
    if (previewShown && windows_.hasPreview()) windows_.previewWindow()->raise();
}

void DesktopObserver::montageFinished() {
    windows_.usedWindow()->fitHeightToText();
    state_.preferences.tryWrite(kPreferencesSection, "filename", profileNameValue(trimBlanks(view_.shownFileName())));
    view_.refreshWindowMenus();
}

void DesktopObserver::firstFileUsed(const std::string& name) {
    view_.showFileName(name);
    view_.addRecentFile(name);
}

void DesktopObserver::runStopped(const MontageRecord& main) {
    // Nothing half-made stays on screen: the montage and its map show the main record again, or go
    // when there is none.
    hideEarlierWindows(true);
    // The stopped run's preview, black or grown part way, goes as well.
    if (previewGrowing_) {
        previewGrowing_ = false;
        windows_.unloadPreview();
        view_.refreshWindowMenus();
    }
    FormMontagePicture* montage = windows_.montageWindow();
    if (main.empty()) {
        montage->hide();
        windows_.usedWindow()->setMapText("");
        return;
    }
    montage->setWindowTitle(qs(kMontageCaptionPrefix + main.firstFileName));
    recordChanged(MontageChoice{}, main);
    // A run stopped before its montage window came up had hidden the earlier montage: it is on
    // screen again, where it can still be saved (and is asked about before it is thrown away).
    if (montageShownBefore_) montage->show();
}

void DesktopObserver::recordChanged(const MontageChoice& which, const MontageRecord& record) {
    if (FormMontagePicture* w = windows_.montageWindowOf(which.comparison)) w->PictureFile()->setPicture(shownPicture(record.picture));
    if (FormUsed* map = windows_.mapWindowOf(which.comparison)) map->setMapText(record.map);
}

// --- smoothing -----------------------------------------------------------------------------------

void DesktopObserver::blockReplaced(const MontageChoice& which, const PixelArrays& arrays, int slot, int x, int y,
                                    int increment) {
    FormMontagePicture* target = windows_.montageWindowOf(which.comparison);
    if (!target) return;
    const MontageBuffers& m = arrays.montage;
    target->PictureFile()->drawCells(m.slot(slot).data(), m.width(), m.height(), x, y, x + increment - 1,
                                     y + increment - 1);
}

void DesktopObserver::propertiesChanged(const MontageChoice& which, const std::string& text) {
    windows_.updateProperties(windows_.montageWindowOf(which.comparison), text);
}

void DesktopObserver::mapChanged(const MontageChoice& which, const std::string& map) {
    if (FormUsed* w = windows_.mapWindowOf(which.comparison)) w->setMapText(map);
}

// --- comparisons ---------------------------------------------------------------------------------

void DesktopObserver::keepComparison(int k, int method, const MontageRecord& record) {
    windows_.keepComparison(k, comparisonCaption(method), shownPicture(record.picture), record.map);
}

void DesktopObserver::comparisonShownAsMain(int, const MontageRecord& main) {
    windows_.montageWindow()->PictureFile()->setPicture(shownPicture(main.picture));
    windows_.usedWindow()->setMapText(main.map);
    windows_.updateProperties(windows_.montageWindow(), main.properties);
}

void DesktopObserver::comparisonFinished(int method, const std::string& firstFileName) {
    windows_.montageWindow()->raise();
    view_.refreshWindowMenus();
    view_.showMethod(method);
    view_.showFileName(firstFileName);
}

} // namespace orv
