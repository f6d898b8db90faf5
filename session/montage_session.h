// The montage session both front ends drive: it owns the series and montage state and runs Load,
// Make Montage, smoothing and the three comparisons, reporting through one observer that the
// desktop program implements with windows and orvanta-cli with standard error.
#pragma once

#include "base/pixel_types.h"
#include "base/prompt.h"
#include "engine/focus_measure.h"
#include "engine/focus_method.h"
#include "engine/pixel_arrays.h"
#include "engine/montage.h"
#include "align/align_series.h"
#include "engine/montage_run.h"
#include "fusion/picture_choices.h"
#include "input/series_loader.h"
#include "settings/preferences.h"
#include "smoothing/comparison.h"
#include "smoothing/smoothing_pass.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// What the Load command leaves for the montage commands.
struct SeriesState {
    std::int16_t imageCount = 0;     // pictures loaded, 0 to 30
    long long numberOffset = 0;      // the first file's number minus 1
    std::string currentFileName;     // the name last built
    float pictureWidth = 0;          // picture 1's size in pixels
    float pictureHeight = 0;
};

// The inputs of Make Montage as the front end's controls hold them when a command reads them.
struct MontageControls {
    std::string firstFileName;  // the file-name box
    std::string incrementText;  // the increment box
    FocusMethod method = FocusMethod::ColorSpace3D; // the ticked method
    IgnoreTicks ignored{};      // the "Ignore Image" ticks of pictures 1 to 10
    bool useOffsets = false;    // "Use Image Offsets"
    std::optional<DisplayArea> area = DisplayArea::Same; // the ticked display area, if any
    bool align = false;         // "Align Images Automatically" (never together with offsets)
    bool colourMatch = false;   // aligned pictures also matched in colour to the reference
};

inline constexpr int kComparisonWindows = 6; // comparison montage windows a comparison may fill

// Which montage a smoothing pass works on: the main montage, or comparison montage k (0 to 4).
struct MontageChoice {
    std::optional<int> comparison; // none: the main montage
    bool operator==(const MontageChoice&) const = default;
};

// What Make Montage builds and the later commands (smoothing, comparisons, preview, properties)
// read: the pixel arrays, the geometry, the offsets and the texts of the montages on screen.
struct MontageState {
    PixelArrays arrays;
    FocusMeasure measure;
    FocusContext focus;         // the focus settings of the last montage
    MontageGeometry geometry;
    OffsetTable offsets{};
    std::string firstFileName;  // the first file name as typed for the last Make Montage
    std::string map;            // the main montage's dominant-image map
    int increment = 0;          // the block side it was made with
    PictureChoices choices;     // Pyramid Focus: the picture each pixel came from
    std::optional<AlignmentReport> alignment; // how the pictures were aligned, when they were
    std::string propertiesText; // the main montage's report
    std::array<std::string, 11> comparisonProperties; // comparison montage window k's report
    std::array<std::string, kComparisonWindows> comparisonMaps; // and its map
    // Slot 100 no longer holds the picture the main montage window shows (a comparison refresh
    // overwrote it, or a comparison picture was put in the window).
    bool mainSlotStale = false;
    // The last full Make Montage loaded its pictures and sized the montage: what a comparison's
    // later montages reuse.
    bool seriesReady = false;
};

// The state one session keeps between commands.
struct SessionState {
    std::string programFolder;      // relative first-file names are completed against it; ends in "/"
    SmoothingPreferences smoothing;
    bool projectFlag = false;       // a project load is running Make Montage
    EvaluationState evaluation;
    SeriesState series;
    MontageState montage;
};

// What a session tells its front end, and what it asks of it. Only `prompt` is required.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;

    // Every message box of a command, in the order the command raises them.
    virtual PromptAnswer prompt(const Prompt& p) = 0;
    // The busy pointer while a long step runs.
    virtual void busy(bool /*on*/) {}
    // Lets pending window events run between steps of a long command.
    virtual void processEvents() {}

    // The increment box's text was not usable and became `text`.
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
    // The offsets of the pictures in use as the front end's target markers give them; leave
    // `offsets` as it is when the front end has none.
    virtual void readTargetOffsets(OffsetTable& /*offsets*/, const MontageControls& /*controls*/, int /*count*/) {}
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
    // The block loop has finished: slot 100 holds the montage, the preview buffer its preview.
    virtual void montageReady(const PixelArrays& /*arrays*/, const std::string& /*map*/, bool /*previewShown*/) {}
    // Make Montage has finished its windows; the properties text and the automatic smoothing
    // follow.
    virtual void montageFinished() {}

    // Smoothing: a block of montage `which` (held in `slot`) at array position (x, y) with side
    // `increment` has changed.
    virtual void blockReplaced(const MontageChoice& /*which*/, int /*slot*/, int /*x*/, int /*y*/, int /*increment*/) {}
    // The properties text of the montage being smoothed has changed.
    virtual void propertiesChanged(const MontageChoice& /*which*/, const std::string& /*text*/) {}
    // The map of the montage being smoothed has changed.
    virtual void mapChanged(const MontageChoice& /*which*/, const std::string& /*map*/) {}

    // Comparisons: the increment box and method tick are set as a comparison asks (the box
    // unchanged when `increment` is empty), before its Make Montage reads the controls again.
    virtual void comparisonSettings(std::optional<int> /*increment*/, int /*method*/) {}
    virtual void candidateScored(const Candidate& /*c*/) {}
    // The main montage, its map and properties are kept as comparison montage `window`.
    virtual void keepComparison(int /*window*/, int /*method*/) {}
    // Comparison montage `window` is shown in the main montage window.
    virtual void showComparisonInMain(int /*window*/) {}
    // The end of "Compare All Montage Methods": `method` ticked again.
    virtual void comparisonFinished(int /*method*/) {}
    virtual void takeFocus() {}

    // The controls as they are now: Make Montage reads them at its start.
    virtual MontageControls controls() = 0;
    // Whether the montage is on screen (a hidden montage is not smoothed).
    virtual bool montageVisible(const MontageChoice& /*which*/) { return true; }
    // The main montage as its window shows it, when that may differ from slot 100.
    virtual PictureSurface* montageSurface() { return nullptr; }
    // The first file name Make Montage used, as typed: it goes back in the box and the recent list.
    virtual void firstFileUsed(const std::string& /*name*/) {}
};

// How one command ended.
enum class LoadOutcome { Loaded, Refused, Missing, Failed };

struct MakeOutcome {
    bool made = false;         // a montage was made
    int increment = 0;         // with this increment
    bool nameTaken = false;    // the first file name was read from the controls
    bool stopped = false;      // the command stopped early (the remaining steps were skipped)
    bool maximumEmpty = false; // the maximum display area came out empty
    bool smoothed = false;     // the automatic smoothing pass ran
    SmoothResult smoothing;    // its result
};

struct SessionOptions {
    // Keep the decoded series between runs of Make Montage and reuse it while the same first file
    // is asked for: for a batch run, whose files do not change under it. The desktop program
    // reads the files again on every Make Montage, as a user who re-shot a picture expects.
    bool reuseDecodedSeries = false;
    int threads = 0; // block rows computed ahead on this many threads; 0: one per core
};

class MontageSession {
public:
    MontageSession(SessionState& state, SessionObserver& observer, SessionOptions options = {});
    ~MontageSession();

    SessionState& state() { return state_; }
    const SessionState& state() const { return state_; }

    // Load: the series named in the controls, picture after picture; `reportMissing` false keeps
    // quiet about a missing first file (at start-up).
    LoadOutcome load(bool reportMissing = true);

    // Make Montage with the controls as they are now.
    MakeOutcome makeMontage();

    // The properties text of the montage just made, from the controls and the map.
    void buildProperties(const MontageControls& c);

    // One smoothing pass over `which`; `showMessages` false for the automatic pass. `visible`:
    // the montage is on screen. Returns the pass's result; errors become the generic message of
    // `routine` at `line` (0: the pass's own line).
    std::optional<SmoothResult> smooth(const MontageChoice& which, bool showMessages, bool visible,
                                       const std::string& routine, int line);

    // The three comparisons. Their own questions and final message go to `answers` when given
    // (a batch run answers them itself), else to the observer.
    ComparisonResult compareAllMethods(int checkedMethod, Prompter* answers = nullptr);
    ComparisonResult evaluateIncrements(int method, Prompter* answers = nullptr);
    ComparisonResult evaluateAll(Prompter* answers = nullptr);

    // The montage of slot 100 as W x H pixels, read in place.
    BgrView montageView() const;
    // The same as a picture of its own.
    MemorySurface montagePicture() const;
    // The first file name completed as the last Load or Make Montage completed it.
    const std::string& completedName() const { return completed_; }
    int pictureCount() const { return state_.series.imageCount; }
    // How the last Make Montage ended.
    const MakeOutcome& lastOutcome() const { return last_; }

    // The picture each pixel of a montage came from (the main montage, or comparison montage k),
    // and that as a greyscale depth map written to `path` (PNG, or the format of its ending).
    PictureChoices depthChoices(const MontageChoice& which) const;
    void writeDepthMap(const MontageChoice& which, const std::string& path) const;

    // Shows what a computation recorded, in order.
    void showMessages(MessageList& messages);

private:
    enum class SeriesStep { Loaded, Stop, Finish };
    SeriesStep loadSeriesForMontage(const MontageControls& c, int& line);
    SeriesResult decodeSeries(const SeriesName& series, std::vector<std::unique_ptr<MemorySurface>>& into);
    void makeMontageSteps(MakeOutcome& out, int& line);
    // Fills the stack from the decoded pictures (when it does not hold them yet) and aligns it.
    void alignSeries(const MontageControls& c);
    ComparisonResult runComparison(Prompter* answers,
                                   const std::function<ComparisonResult(ComparisonDriver&)>& command);
    PromptAnswer ask(PromptIcon icon, const std::string& text, const std::string& title,
                     PromptButtons buttons = PromptButtons::Ok);

    class ObserverPrompter;
    Prompter& observerPrompter(); // the observer as a Prompter

    SessionState& state_;
    SessionObserver& observer_;
    SessionOptions options_;
    std::unique_ptr<ObserverPrompter> prompter_;
    std::string completed_;
    MakeOutcome last_;
    // The decoded series kept for reuse (reuseDecodedSeries): its first file and whether the
    // stack holds it.
    std::vector<std::unique_ptr<MemorySurface>> pictures_;
    std::string decodedName_;
    bool stackHoldsSeries_ = false;
    // The stack's pictures have been aligned (with colour matching when `alignedColours_`).
    bool stackAligned_ = false;
    bool alignedColours_ = false;
};

} // namespace orv
