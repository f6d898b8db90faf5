// What a session tells its front end while a command runs. The desktop program shows each step in
// its windows, orvanta-cli on standard error; tests record them. The observer never supplies the
// command's inputs: those come in the request the front end read when the command started.
#pragma once

#include "base/prompt.h"
#include "engine/montage_run.h"
#include "engine/picture_surface.h"
#include "engine/pixel_arrays.h"
#include "session/montage_record.h"
#include "smoothing/comparison.h"

#include <QImage>

#include <string>

namespace orv {

// What a running command is doing, for a progress bar (Saving: a picture, project or depth map
// being written).
enum class RunPhase { Reading, Aligning, Fusing, Smoothing, Saving };

// Only `prompt` is required.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;

    // Every message box of a command, in the order the command raises them.
    virtual PromptAnswer prompt(const Prompt& p) = 0;
    // The busy pointer while a long step runs.
    virtual void busy(bool /*on*/) {}
    // Lets pending window events run between steps of a long command.
    virtual void processEvents() {}
    // How far the running command is in `phase`: `done` of `total` steps (total 0: not known).
    virtual void progress(RunPhase /*phase*/, int /*done*/, int /*total*/) {}
    // Asked at each picture read, alignment step, block row and band of rows saved: true stops
    // Load, Make Montage or the saving there. A stopped Make Montage keeps the main montage record
    // as it was (the comparison montages went with their windows once it began reading a series)
    // and shows it again (runStopped); a stopped Load keeps the pictures
    // read so far; a stopped saving leaves the target file as it was (RuntimeError kUserInterrupt).
    virtual bool stopRequested() { return false; }
    virtual void runStopped(const MontageRecord& /*main*/) {}

    // The increment text was not usable and became `text`.
    virtual void incrementReplaced(const std::string& /*text*/) {}
    // Make Montage starts: the montage picture is cleared and the properties view closed.
    // `reusingSeries` is true when a comparison reuses the pictures of the previous run.
    virtual void montageStarting(bool /*reusingSeries*/) {}
    // A series is about to be loaded: the windows of an earlier series go. `forMontage` is true
    // for Make Montage (which keeps the preview window's place), false for Load.
    virtual void seriesStarting(bool /*forMontage*/, const std::string& /*firstFileName*/) {}
    // The typed name was completed (a folder put in front) before the series was looked for.
    virtual void fileNameCompleted(const std::string& /*name*/) {}
    // The first file of the series is not there (the recent list forgets it).
    virtual void firstFileMissing(const std::string& /*name*/) {}
    // True when the front end shows the pictures as they load: each then comes with `shown`, the
    // picture as a window draws it, made on the decoding thread.
    virtual bool showsPictures() const { return false; }
    // Picture k of the series has been decoded from `name` (`shown` is null unless showsPictures()).
    virtual void pictureLoaded(int /*k*/, const std::string& /*name*/, const MemorySurface& /*picture*/,
                               QImage /*shown*/) {}
    // The series is in: `count` pictures (earlier pictures beyond it go).
    virtual void seriesLoaded(int /*count*/, bool /*forMontage*/) {}
    // The montage will be W x H pixels with blocks of `increment` (sent again when the display
    // area changes the size).
    virtual void montageSized(float /*W*/, float /*H*/, int /*increment*/) {}
    // Automatic alignment: `done` of `total` steps (each picture measured, then warped).
    virtual void alignmentProgress(int /*done*/, int /*total*/) {}
    // The minimum display area left nothing to show; the montage window goes.
    virtual void montageHidden() {}
    // The surface whose size the growing preview takes, or none for no preview.
    virtual PictureSurface* previewSurface() { return nullptr; }
    // After each block row: the map so far and the preview rows redrawn.
    virtual void blockRowDone(const MontageRowEvent& /*e*/, const PixelArrays& /*arrays*/) {}
    // The block loop has finished: `main` holds the new montage and its map, the arrays' preview
    // buffer its preview.
    virtual void montageReady(const MontageRecord& /*main*/, const PixelArrays& /*arrays*/, bool /*previewShown*/) {}
    // Make Montage has finished its windows; the properties text and the automatic smoothing
    // follow.
    virtual void montageFinished() {}
    // The first file name Make Montage used, as typed: it goes back in the box and the recent list.
    virtual void firstFileUsed(const std::string& /*name*/) {}

    // A record was replaced as a whole (kept as a comparison montage, a comparison shown as the
    // main montage, opened from a project): what shows it shows it again.
    virtual void recordChanged(const MontageChoice& /*which*/, const MontageRecord& /*record*/) {}
    // Whether montage `which` is on screen (a hidden montage is not smoothed).
    virtual bool montageVisible(const MontageChoice& /*which*/) { return true; }

    // Smoothing: a block of montage `which` (held in `slot`) at array position (x, y) with side
    // `increment` has changed.
    virtual void blockReplaced(const MontageChoice& /*which*/, const PixelArrays& /*arrays*/, int /*slot*/,
                               int /*x*/, int /*y*/, int /*increment*/) {}
    // The properties text of a montage has changed: made, smoothed or retouched.
    virtual void propertiesChanged(const MontageChoice& /*which*/, const std::string& /*text*/) {}
    // The map of the montage being smoothed has changed.
    virtual void mapChanged(const MontageChoice& /*which*/, const std::string& /*map*/) {}

    // The controls are to show `request`: the settings a comparison tries next, or those of a
    // project being opened. Only what they show changes: the session runs the request itself.
    virtual void showRequest(const MontageRequest& /*request*/) {}
    // Comparisons.
    virtual void candidateScored(const Candidate& /*c*/) {}
    // The main montage was kept as comparison montage `k`, made with `method`.
    virtual void keepComparison(int /*k*/, int /*method*/, const MontageRecord& /*record*/) {}
    // Comparison montage `k` became the main montage (`main`: its picture, map and properties), as
    // the best one.
    virtual void comparisonShownAsMain(int /*k*/, const MontageRecord& /*main*/) {}
    // The end of "Compare All Montage Methods": `method` ticked again and `firstFileName` back in
    // its box.
    virtual void comparisonFinished(int /*method*/, const std::string& /*firstFileName*/) {}
    virtual void takeFocus() {}
};

} // namespace orv
