// The desktop program's side of the montage session: messages shown as message boxes, and every
// step of a command shown in the windows the window manager keeps (source pictures as they load,
// the montage growing row by row, maps, previews) and in the main window through its view.
#pragma once

#include "session/session_observer.h"
#include "ui/busy_cursor.h"
#include "ui/montage_view.h"
#include "ui/program_state.h"
#include "ui/window_manager.h"

#include <QElapsedTimer>

#include <optional>

namespace orv {

class DesktopObserver : public SessionObserver {
public:
    DesktopObserver(MontageView& view, WindowManager& windows, ProgramState& state)
        : view_(view), windows_(windows), state_(state) {}

    PromptAnswer prompt(const Prompt& p) override;
    void busy(bool on) override;
    void processEvents() override;
    void progress(RunPhase phase, int done, int total) override { view_.showProgress(phase, done, total); }
    bool stopRequested() override { return view_.stopAsked(); }
    void runStopped(const MontageRecord& main) override;
    bool montageVisible(const MontageChoice& which) override;

    void incrementReplaced(const std::string& text) override;
    void montageStarting(bool reusingSeries) override;
    void seriesStarting(bool forMontage, const std::string& firstFileName) override;
    void fileNameCompleted(const std::string& name) override;
    void firstFileMissing(const std::string& name) override;
    bool showsPictures() const override { return true; }
    void pictureLoaded(int k, const std::string& name, const MemorySurface& picture, QImage shown) override;
    void seriesLoaded(int count, bool forMontage) override;
    void montageSized(float W, float H, int increment) override;
    void montageHidden() override;
    PictureSurface* previewSurface() override;
    void blockRowDone(const MontageRowEvent& e, const PixelArrays& arrays) override;
    void montageReady(const MontageRecord& main, const PixelArrays& arrays, bool previewShown) override;
    void montageFinished() override;
    void firstFileUsed(const std::string& name) override;
    void recordChanged(const MontageChoice& which, const MontageRecord& record) override;

    void blockReplaced(const MontageChoice& which, const PixelArrays& arrays, int slot, int x, int y,
                       int increment) override;
    void propertiesChanged(const MontageChoice& which, const std::string& text) override;
    void mapChanged(const MontageChoice& which, const std::string& map) override;

    void showRequest(const MontageRequest& request) override { view_.showRequest(request); }
    void keepComparison(int k, int method, const MontageRecord& record) override;
    void comparisonShownAsMain(int k, const MontageRecord& main) override;
    void comparisonFinished(int method, const std::string& firstFileName) override;
    void takeFocus() override { view_.takeFocus(); }

private:
    // Hides the windows of the earlier run that are still waiting to go: the source windows no
    // new picture has replaced, and with `montageToo` the montage window.
    void hideEarlierWindows(bool montageToo);

    MontageView& view_;
    WindowManager& windows_;
    ProgramState& state_;
    // While Make Montage or Load reads a series, the windows of the earlier run stay on screen
    // until a new picture or the new montage takes them over, or until the run shows a message
    // or ends, and only then go: hiding a window and showing it again a moment later costs a
    // full repaint of it, for every source window and the montage window on every click.
    struct EarlierWindows {
        int sourcesFrom = 1;  // source windows from this slot on have no new picture yet
        bool montage = false; // the montage window waits to go
    };
    std::optional<EarlierWindows> earlier_;
    // The montage window was on screen when the run started: a run that stops shows it again.
    bool montageShownBefore_ = false;
    // The run draws a preview whose montage is not made yet.
    bool previewGrowing_ = false;
    std::optional<BusyCursor> busy_;
    QElapsedTimer lastEvents_; // when pending window events last ran
};

} // namespace orv
