// Make Montage (CommandGo_Click): the series loaded into the source windows, the montage, map and
// preview windows sized and shown, then the shared montage run, the properties and the automatic
// smoothing. Each stage keeps the line number its failures are reported with.
#include "ui/form_montage.h"

#include "base/numbers.h"
#include "base/runtime_error.h"
#include "base/text.h"
#include "engine/montage_run.h"
#include "engine/properties_text.h"
#include "input/series_loader.h"
#include "ui/busy_cursor.h"
#include "ui/montage_rules.h"

#include <thread>
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <climits>
#include <deque>
#include <future>
#include <optional>
#include <utility>

namespace orv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

bool FormMontage::gate() const {
    if (running_ == 0) return true;
    QApplication::beep();
    return false;
}

void FormMontage::CommandGo_Click() {
    if (gate()) makeMontage();
}

OffsetTable FormMontage::currentOffsets(const MontageControls& c) const {
    OffsetTable offsets = state_.montage.offsets;
    if (!c.useOffsets) return offsets;
    for (int n = 1; n <= state_.series.imageCount && n <= kMaxPictures; ++n) {
        if (isIgnored(c.ignored, n)) continue;
        if (FormPicture* w = existingSourceWindow(n)) {
            const QRectF t = w->offsetTarget();
            offsets[std::size_t(n)] = markerCentre(t.left(), t.top(), t.width(), t.height());
        }
    }
    return offsets;
}

void FormMontage::placeMontageWindows(float W, float H, int increment) {
    // The montage window: its picture at full size, the right edge one frame width inside the
    // screen's right edge, the top just below the "Make Montage" button.
    FormMontagePicture* m = montageWindow();
    m->setBlankPicture(roundToInt16(W), roundToInt16(H));
    const QScreen* screen = m->screen() ? m->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int frame = state_.layout.sizingFrameHeight;
    const int outerWidth = m->width() + 2 * frame;
    const int top = commandGo_->mapToGlobal(QPoint(0, commandGo_->height())).y();
    m->move(std::max(avail.left(), avail.right() + 1 - frame - outerWidth), top);

    // The dominant-image window: one character "3" per block, starting empty.
    FormUsed* used = usedWindow();
    const MapGrid grid = mapGrid(W, H, increment);
    used->setMapText("");
    used->sizeForGrid(grid.columns, grid.rows);
    // Below the montage window, or at the screen's lower left when that leaves no room.
    const QRect mf = m->frameGeometry();
    QPoint at(mf.left(), m->y() + m->height() + frame + 4);
    if (at.y() + 40 > avail.bottom()) at = QPoint(avail.left(), avail.bottom() - used->height());
    used->move(std::max(avail.left(), std::min(at.x(), avail.right() - used->width())), std::max(avail.top(), at.y()));
    if (state_.originatingImage) used->show();
    else used->hide();
}

MakeResult FormMontage::makeMontage() {
    RunningCommand running(running_);
    MakeResult result;
    int line = 500;
    bool remembered = false; // the first file name of this run has been taken from the box
    Ending ending = Ending::Finish;
    try {
        ending = makeMontageSteps(result, line, remembered);
    } catch (...) {
        const RuntimeError e = currentError();
        prompter_.ask(PromptIcon::Critical, genericErrorText(e, e.line() ? e.line() : line, "CommandGo"),
                      kGenericErrorTitle);
        result.made = false;
        ending = Ending::Finish;
    }
    if (ending == Ending::Stop) return result;

    // Step 18: the name as typed goes back in the box and into the recent list. A run that failed
    // before it read the box leaves the box and the list as they are.
    try {
        if (remembered) {
            textFileName_->setText(qs(state_.montage.firstFileName));
            AddRecentFile(textFileName_->text().toStdString());
        }
    } catch (...) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 15000, "CommandGo"),
                      kGenericErrorTitle);
    }
    return result;
}

FormMontage::Ending FormMontage::makeMontageSteps(MakeResult& result, int& line, bool& remembered) {
    MontageState& ms = state_.montage;

    // Step 1: the increment; a value below 10, or one that cannot be read, makes the box "10".
    line = 500;
    const IncrementBox box = readIncrementBox(textIncrement_->text().toStdString());
    if (box.replaced) {
        line = 550;
        textIncrement_->setText(QStringLiteral("10"));
    }
    line = 1000;
    const int increment = box.increment;

    // Step 2: the hourglass, a cleared montage picture, the properties view closed.
    std::optional<BusyCursor> busy;
    busy.emplace();
    FormMontagePicture* montage = montageWindow();
    {
        const QSize size = montage->PictureFile()->size();
        montage->PictureFile()->setBlankPicture(size.width(), size.height());
    }
    closePropertiesView();

    const MontageControls controls = readControls();
    const bool shortcut = reusesLoadedPictures(state_.evaluation, increment);
    if (shortcut) {
        // Step 3: a comparison reuses the pictures, windows and montage size of the last run. When
        // that run loaded nothing there is nothing to reuse (its message has been shown).
        if (!ms.seriesReady) return Ending::Stop;
        usedWindow()->setMapText("");
    } else {
        // Step 4: the series.
        state_.series.imageCount = 0;
        ms.seriesReady = false;
        line = 2000;
        // Earlier windows go; a window that cannot is left as it is.
        try {
            ms.firstFileName = controls.firstFileName;
            remembered = true;
            montage->setWindowTitle(qs(kMontageCaptionPrefix + ms.firstFileName));
        } catch (...) {
        }
        dropEarlierSeriesWindows(false);

        line = 4000;
        montage->hide();
        unloadWindow(montageWindows_.preview);
        const std::string completed = completeSeriesName(controls.firstFileName, state_.programFolder);
        if (completed != controls.firstFileName) textFileName_->setText(qs(completed));
        line = 4200;
        const std::optional<SeriesName> series = parseSeriesName(completed);
        line = 4000;
        if (!series) {
            prompter_.ask(PromptIcon::Critical, kRenameTextMontage, kRenameTitle);
            return Ending::Stop;
        }
        if (!fileExists(completed)) {
            prompter_.ask(PromptIcon::Exclamation, kMissingFileText, kMissingFileTitle);
            state_.recent.blank(completed, state_.preferences);
            fillRecentFiles();
            return Ending::Stop;
        }
        line = 5000;
        state_.series.numberOffset = series->offset;
        // The next two files are decoded on other threads while file k goes into its window; the
        // windows are only touched here.
        using Decoded = std::pair<DecodeStatus, QImage>;
        auto decode = [](std::string name) {
            QImage image;
            const DecodeStatus st = decodePicture(name, image);
            return Decoded{st, std::move(image)};
        };
        std::deque<std::future<Decoded>> ahead; // files k + 1 and k + 2
        int launched = 1;
        const SeriesResult r = loadSeriesFiles(
            *series,
            [&](int k, const std::string& name) {
                // Any failure other than an unreadable picture ends the series here.
                try {
                    Decoded d;
                    if (ahead.empty()) {
                        d = decode(name);
                    } else {
                        d = ahead.front().get();
                        ahead.pop_front();
                    }
                    if (d.first != DecodeStatus::Ok) return d.first;
                    while (launched < std::min(k + 2, kMaxPictures) && series->offset + launched + 1 <= SHRT_MAX)
                        ahead.push_back(std::async(std::launch::async, decode, series->fileName(++launched)));
                    QImage image = std::move(d.second);
                    FormPicture* w = sourceWindow(k);
                    w->showPicture(std::move(image), QStringLiteral("Image %1 -- %2").arg(k).arg(qs(name)));
                    w->showNormal();
                    if (k <= 10) ignore_[std::size_t(k - 1)]->setVisible(true);
                    state_.series.imageCount = std::int16_t(k);
                    QCoreApplication::processEvents();
                    return DecodeStatus::Ok;
                } catch (...) {
                    return DecodeStatus::Missing;
                }
            },
            [this] { prompter_.ask(PromptIcon::Critical, kLimitText, kLimitTitle); });
        line = 5100;
        state_.series.imageCount = std::int16_t(r.count);
        state_.series.currentFileName = r.currentFileName;
        for (int k = r.count + 1; k <= kMaxPictures; ++k)
            if (FormPicture* w = existingSourceWindow(k)) w->unloadPicture();
        if (r.invalidPicture) {
            prompter_.ask(PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);
            return Ending::Finish;
        }
        // Not even the first picture loaded: there is nothing to make a montage of.
        if (r.count == 0) return Ending::Stop;

        // Step 5: the montage takes picture 1's size.
        line = 8000;
        const QImage& first = sourceWindow(1)->PictureFile()->picture();
        state_.series.pictureWidth = float(first.width());
        state_.series.pictureHeight = float(first.height());
        ms.geometry.W = state_.series.pictureWidth;
        ms.geometry.H = state_.series.pictureHeight;
        ms.seriesReady = true;

        // Step 6: the windows.
        placeMontageWindows(ms.geometry.W, ms.geometry.H, increment);
        montage->show();
        const int boxBottom = fileBoxBottom();
        for (int k = 1; k <= r.count; ++k) {
            FormPicture* w = sourceWindow(k);
            const QImage& pic = w->PictureFile()->picture();
            const Placement p = cascadePlacement(k, boxBottom, pic.width(), pic.height(), state_.layout);
            w->placeAt(p.left, p.top);
            w->showNormal();
            w->raise();
        }
        for (int k = 1; k <= std::min(r.count, 10); ++k) ignore_[std::size_t(k - 1)]->setVisible(true);
        montage->raise();
    }

    // Step 7: offsets and the display area.
    line = 8100;
    const int N = state_.series.imageCount;
    ms.offsets = currentOffsets(controls);
    const float oldW = ms.geometry.W, oldH = ms.geometry.H;
    // With no area entry ticked the montage keeps picture 1's area, as with "same area".
    const AreaInput area{controls.useOffsets, controls.area.value_or(DisplayArea::Same), N, controls.ignored,
                         state_.evaluation.evaluationMode, int(state_.series.pictureWidth),
                         int(state_.series.pictureHeight)};
    const AreaOutcome outcome = applyDisplayArea(ms.geometry, ms.offsets, area);
    if (outcome == AreaOutcome::MinimumEmpty) {
        busy.reset();
        prompter_.ask(PromptIcon::Critical, kMinimumAreaText, kMinimumAreaTitle);
        montage->hide();
        return Ending::Stop;
    }
    if (outcome == AreaOutcome::MaximumEmpty) return Ending::Stop;
    if (ms.geometry.W != oldW || ms.geometry.H != oldH) {
        placeMontageWindows(ms.geometry.W, ms.geometry.H, increment);
        montage->show();
    }

    // Step 8: a project supplies its montage and map itself.
    line = 8200;
    if (state_.projectFlag) {
        state_.projectFlag = false;
    } else {
        // Steps 9 to 11: the preview window, the arrays and the block loop.
        QCoreApplication::processEvents();
        FormPreview* preview = previewWindow();
        preview->show();
        ArraySurfaces surfaces;
        surfaces.montage = &montage->PictureFile()->surface();
        for (int n = 1; n <= N; ++n) surfaces.pictures.push_back(&sourceWindow(n)->PictureFile()->surface());

        MontageRun run;
        run.arrays = &ms.arrays;
        run.measure = &ms.measure;
        run.focus = &ms.focus;
        run.geometry = &ms.geometry;
        run.offsets = &ms.offsets;
        run.settings = MontageRunSettings{increment, controls.method, controls.ignored, controls.useOffsets};
        run.pictureCount = N;
        run.prompter = &prompter_;
        run.surfaces = &surfaces;
        run.sizeCheck = SizeCheck{controls.ignored,
                                  state_.evaluation.evaluationMode != 0 || state_.evaluation.evaluationRun,
                                  &prompter_};
        run.afterFill = [&] { ms.arrays.loadPreviewArray(preview->PicturePreview()->surface()); };
        run.drawPreview = true;
        // Rows are computed ahead on both cores; this thread draws the preview and keeps the
        // windows alive between them.
        run.threads = int(std::max(1u, std::thread::hardware_concurrency()));
        QPointer<FormUsed> used = usedWindow();
        QPointer<FormPreview> shown = preview;
        run.onRow = [&](const MontageRowEvent& e) {
            if (used) used->setMapText(*e.row.map);
            if (shown && e.previewFrom <= e.previewTo) drawPreviewRows(e.previewFrom, e.previewTo);
            QCoreApplication::processEvents();
        };
        const std::string map = runMontage(run);
        ms.mainSlotStale = false;

        // Step 12: the montage and the preview drawn whole. The preview is taken once more from
        // the finished montage: a montage smaller than the preview reaches, in the last preview row
        // of each block row, a montage row that was not made yet.
        line = 10400;
        ms.arrays.showMontageArray(montage->PictureFile()->surface());
        montage->PictureFile()->pictureChanged();
        if (shown) {
            scalePictureIntoPreview(ms.arrays, 100);
            ms.arrays.showPreviewArray(shown->PicturePreview()->surface());
            shown->PicturePreview()->pictureChanged();
        }
        usedWindow()->setMapText(map);
        line = 10500;
        montage->show();
        montage->raise();
        if (shown) shown->raise();
        result.made = true;
        result.increment = increment;
    }

    // Steps 13 to 17.
    line = 11000;
    usedWindow()->fitHeightToText();
    state_.preferences.tryWrite(kPreferencesSection, "filename", trimBlanks(textFileName_->text().toStdString()));
    RefreshWindowMenus();
    setPropertiesString();
    if (state_.smoothing.autoSmooth == 1 && result.made) {
        busy.reset();
        smooth(montage, usedWindow(), 999, false);
    }
    return Ending::Finish;
}

void FormMontage::drawPreviewRows(int from, int to) {
    const PixelBuffer& pv = state_.montage.arrays.preview;
    if (FormPreview* p = qobject_cast<FormPreview*>(montageWindows_.preview.data()))
        p->PicturePreview()->drawCells(pv.bytes.data(), pv.width(), pv.height(), 0, from, pv.width() - 1, to);
}

void FormMontage::setPropertiesString() {
    const MontageControls c = readControls();
    PropertiesInput p;
    p.firstFileName = state_.montage.firstFileName;
    p.pictureCount = state_.series.imageCount;
    p.ignored = c.ignored;
    p.method = -1;
    for (int i = 0; i < 5; ++i)
        if (methods_[std::size_t(i)]->isChecked()) {
            p.method = i;
            break;
        }
    p.incrementText = c.incrementText;
    p.autoSmooth = state_.smoothing.autoSmooth != 0;
    p.useOffsets = c.useOffsets;
    p.areaSame = menuAction("mnuActivateOffsetsSame")->isChecked();
    p.areaMinimum = menuAction("mnuActivateOffsetsMin")->isChecked();
    p.areaMaximum = menuAction("mnuActivateOffsetsMax")->isChecked();
    p.offsets = state_.montage.offsets;
    p.map = usedWindow()->mapText();
    state_.montage.propertiesText = buildPropertiesText(p);
}

} // namespace orv
