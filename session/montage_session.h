// The montage session both front ends drive: it owns the series, the pixel arrays and the montage
// records, and runs Load, Make Montage, smoothing, the three comparisons, projects and saving on
// requests the front end reads from its controls, reporting through one observer.
#pragma once

#include "align/align_series.h"
#include "base/deep_picture.h"
#include "base/pixel_types.h"
#include "base/prompt.h"
#include "engine/focus_measure.h"
#include "engine/montage.h"
#include "engine/montage_run.h"
#include "engine/pixel_arrays.h"
#include "fusion/brightness_evening.h"
#include "fusion/picture_choices.h"
#include "input/series_loader.h"
#include "output/picture_writer.h"
#include "session/decoded_series.h"
#include "session/montage_record.h"
#include "session/montage_request.h"
#include "session/session_observer.h"
#include "session/streamed_series.h"
#include "settings/preferences.h"
#include "settings/project_file.h"
#include "smoothing/comparison.h"
#include "smoothing/smoothing_pass.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orv {

struct OwnArea;

// Smoothing the main montage once the pictures it was made from have left the stack (a later Make
// Montage was stopped part way).
inline constexpr const char* kSmoothSourcesGoneText =
    "I am sorry, but the pictures this Montage was made from are no longer loaded, so I cannot smooth "
    "it.   Please make the Montage again, then smooth it.";
inline constexpr const char* kSmoothSourcesGoneTitle = "Create it first, then try again";

// What the Load command leaves for the montage commands.
struct SeriesState {
    std::int16_t imageCount = 0;     // pictures loaded, 0 to 30
    long long numberOffset = 0;      // the first file's number minus 1
    std::string currentFileName;     // the name last built
    float pictureWidth = 0;          // picture 1's size in pixels
    float pictureHeight = 0;
    // Picture 1's camera orientation tag (1 to 8), by which every picture of the series was
    // turned upright as it was read.
    int orientation = 1;
};

// What Make Montage builds and the later commands (smoothing, comparisons, preview, projects,
// saving) read: the pixel arrays with the geometry and offsets of the last montage, and the
// montage records.
struct MontageState {
    PixelArrays arrays;
    FocusMeasure measure;
    FocusContext focus;         // the focus settings of the last montage
    MontageGeometry geometry;
    OffsetTable offsets{};
    std::string firstFileName;  // the first file name as typed for the last Make Montage that read one
    std::optional<AlignmentReport> alignment; // how the pictures were aligned, when they were
    std::vector<EvenedPicture> evened; // the pictures Pyramid Focus evened out in the last montage
    std::vector<int> leftOut;          // and those it left out for having no detail
    // The last full Make Montage loaded its pictures and sized the montage: what a comparison's
    // later montages reuse.
    bool seriesReady = false;
    std::array<MontageRecord, kMontageRecords> records; // the main montage, then the comparisons

    MontageRecord& main() { return records[0]; }
    const MontageRecord& main() const { return records[0]; }
    MontageRecord& record(const MontageChoice& which) { return records[std::size_t(recordIndex(which))]; }
    const MontageRecord& record(const MontageChoice& which) const { return records[std::size_t(recordIndex(which))]; }
    static int recordIndex(const MontageChoice& which) {
        const int i = which.index();
        return i >= 0 && i < kMontageRecords ? i : 0;
    }
    // The comparison montages go with their windows when a series is read again: nothing can show,
    // smooth or save them any more, and each holds a whole montage with its choices.
    void dropComparisons() {
        for (int k = 1; k < kMontageRecords; ++k) records[std::size_t(k)] = MontageRecord{};
    }
};

// The state one session keeps between commands.
struct SessionState {
    std::string programFolder;      // relative first-file names are completed against it; ends in "/"
    SmoothingPreferences smoothing; // the preferences' smoothing settings, copied into each request
    EvaluationState evaluation;
    SeriesState series;
    MontageState montage;
};

// How one command ended.
enum class LoadOutcome { Loaded, Refused, Missing, Failed, Stopped };

struct MakeOutcome {
    bool made = false;         // a montage was made
    int increment = 0;         // with this increment
    bool nameTaken = false;    // the request's first file name was used
    bool stopped = false;      // the command stopped early (the remaining steps were skipped)
    bool maximumEmpty = false; // the maximum display area came out empty
    bool smoothed = false;     // the automatic smoothing pass ran
    SmoothResult smoothing;    // its result
};

// How opening a project ended.
enum class ProjectOutcome { Opened, Failed };

// How a montage is written by saveMontage: the format follows the name's ending.
struct SaveMontageOptions {
    PictureWriteOptions picture;       // GIF transparency, JPEG quality
    // JPEG through the conversion program in this folder (the desktop program's way), when set;
    // else the JPEG writer of this process.
    std::optional<std::string> conversionFolder;
    // Where a metadata block that could not be read or written, or a montage of a 16-bit series
    // saved at 8 bits, is said (one line each); when empty, standard error.
    std::function<void(const std::string&)> metadataProblem;
};

struct SessionOptions {
    // Keep the decoded series between runs of Make Montage and reuse it while the same first file
    // is asked for: for a batch run, whose files do not change under it. The desktop program
    // reads the files again on every Make Montage, as a user who re-shot a picture expects.
    bool reuseDecodedSeries = false;
    int threads = 0; // block rows computed ahead on this many threads; 0: one per core
    // Pyramid Focus reads the series one picture at a time, decoding (and aligning) each file
    // whenever it needs it, so that a series of any length (up to 9999 pictures) fits in memory:
    // for a batch run, which keeps no stack for smoothing, retouching or comparisons afterwards.
    bool streamPyramid = false;
    int maxPictures = 0; // read no more than this many pictures; 0: as many as the method reads
    // A streamed series to be aligned that takes at most this many bytes (and a quarter of the
    // memory still available) is kept as it is read, so the passes after the alignment's measuring
    // read and warp no picture again; 0 reads the files on every pass.
    std::uint64_t keepStreamedBytes = 0;
    // A streamed 16-bit series makes its 8-bit montage as the deep montage's 8-bit view, in one
    // colour pass instead of two: for a run that writes only the deep picture, since the view
    // differs from the 8-bit merge by 2 in a few places (rounding of averaged coefficients).
    bool eightBitFromDeep = false;
    // The montage is read afterwards from its record alone (written, mapped, retouched; not
    // smoothed, compared or scored from the arrays): the record takes slot 100's pixels instead of
    // a copy of them, so that a batch run holds the montage once. The slot is filled again from
    // the record should anything ask for it.
    bool montageInRecordOnly = false;
    // Nothing reads the source pictures once the montage is made (a batch run that neither
    // smooths, compares, scores nor retouches): the stack's pixels are let go as soon as the
    // montage, its map and its choices are in the record, so that writing the montage (a 16-bit
    // one reads the series again, one picture at a time) does not hold the series beside it. The
    // next Make Montage reads the series again.
    bool releaseStackAfterMontage = false;
    // Only the montage "Compare All Montage Methods" recommends is read afterwards (a batch run
    // writes that one alone): each compared montage is let go as soon as another scores better or
    // it scores no better than the best before it, instead of all five being held to the end.
    bool keepBestComparisonOnly = false;
    // A Pyramid Focus montage is kept, with what it was made from, for "Evaluate Increments" run
    // right after it (a batch run that compares its own montage): the comparison's first montage,
    // made from the same unchanged pictures, takes it instead of fusing them once more.
    bool keepPyramidRunForComparison = false;
    // The pixels a montage's retouching keeps for Undo, beyond which the oldest strokes are
    // folded together and can no longer be undone one at a time.
    std::size_t retouchUndoBytes = std::size_t(512) << 20;
};

class MontageSession {
public:
    MontageSession(SessionState& state, SessionObserver& observer, SessionOptions options = {});
    ~MontageSession();

    SessionState& state() { return state_; }
    const SessionState& state() const { return state_; }

    // Load: the series `typedName` names, picture after picture; `reportMissing` false keeps quiet
    // about a missing first file (at start-up).
    LoadOutcome load(const std::string& typedName, bool reportMissing = true);

    // Make Montage from `request`.
    MakeOutcome makeMontage(const MontageRequest& request);

    // One smoothing pass over `which` with the request's settings; `showMessages` false for the
    // automatic pass. `visible`: the montage is on screen. Errors become the generic message of
    // `routine` at `line` (0: the pass's own line).
    std::optional<SmoothResult> smooth(const MontageChoice& which, const MontageRequest& request,
                                       bool showMessages, bool visible, const std::string& routine, int line);

    // The three comparisons, each making copies of `request` with the method or increment it
    // tries. Their own questions and final message go to `answers` when given (a batch run
    // answers them itself), else to the observer. `checkedMethod` is the ticked method entry, -1
    // when none is.
    ComparisonResult compareAllMethods(const MontageRequest& request, int checkedMethod, Prompter* answers = nullptr);
    ComparisonResult evaluateIncrements(const MontageRequest& request, Prompter* answers = nullptr);
    ComparisonResult evaluateAll(const MontageRequest& request, Prompter* answers = nullptr);

    // The montage records.
    const MontageRecord& record(const MontageChoice& which) const { return state_.montage.record(which); }
    // Montage `which` was saved, copied, printed or handed to the editor: it is no longer unsaved.
    // Each keeping takes the next number (lastKeeping).
    void montageKept(const MontageChoice& which) {
        MontageRecord& r = state_.montage.record(which);
        // Keepings of the montage as it was before a change no longer hold for it.
        if (r.unsaved) r.keptBy.clear();
        r.unsaved = false;
        r.keptBy.push_back(++keepings_);
    }
    // The number of the last keeping (0: none yet).
    std::uint64_t lastKeeping() const { return keepings_; }
    // Keeping `keeping` of montage `which` did not happen after all (the editor it was handed to
    // ended before it opened the picture): the montage counts as unsaved again, as before it was
    // handed on, unless another keeping of it since it was last made or changed still holds.
    void keepingFailed(const MontageChoice& which, std::uint64_t keeping) {
        MontageRecord& r = state_.montage.record(which);
        const auto at = std::find(r.keptBy.begin(), r.keptBy.end(), keeping);
        if (at == r.keptBy.end()) return;
        r.keptBy.erase(at);
        if (r.keptBy.empty() && !r.empty()) r.unsaved = true;
    }
    // The main montage was made or changed and has not been kept since.
    bool mainMontageUnsaved() const { return !record({}).empty() && record({}).unsaved; }
    // Whether `request` names another series than the one the main montage was made from (its
    // first file spelt another way is the same series); false when there is no main montage.
    bool namesAnotherSeries(const MontageRequest& request) const;
    // Whether the main montage's pictures changed on the disk (written again, replaced or gone)
    // since they were read for it: made again from its series, the montage would be the only
    // record of the pictures it was made from. False for a request naming a series Make Montage
    // refuses (it replaces nothing), and when no main montage or nothing of its pictures is known.
    bool seriesChangedSinceMainMontage(const MontageRequest& request) const;

    // Writes montage `which` to `path` in the format its ending names (BMP, JPEG, GIF, PNG, TIFF;
    // TIFF and PNG at 16 bits per sample when deepMontage gives the montage at full depth). Raises RuntimeError when the file cannot be written; returns what to tell the user when the
    // conversion program did not write the JPEG, else an empty text.
    std::string saveMontage(const MontageChoice& which, const std::string& path, const SaveMontageOptions& options) const;
    // The number (from 1) of the picture of the current series that `path` names however it
    // spells it (another path, a link, a hard link), among the files of the series there now; 0
    // when it names none. The desktop program writes no file over a picture of its series.
    int seriesPictureNamed(const std::string& path) const;
    // File `n` of the series whose pictures are loaded (1 to the pictures loaded); empty when there
    // is none.
    std::string pictureFile(int n) const;
    // File `n` of the series as it was when the series was read (which file, and its bits per
    // sample); null when that is not known.
    const PictureFileStamp* pictureFileAsRead(int n) const {
        const std::string file = pictureFile(n);
        if (file.empty() || std::size_t(n) > pictureStamps_.size()) return nullptr;
        const PictureFileStamp& s = pictureStamps_[std::size_t(n - 1)];
        return s.name == file ? &s : nullptr;
    }
    // Writes the project `project` (".mon" and its bitmap) of montage `which`, both together.
    // A retouched montage also writes "NAME.strokes" beside "NAME.mon", in the same set.
    void saveProject(const MontageChoice& which, const std::string& project) const;
    // Opens a project: its settings replace those of `current`, the controls are shown the result
    // (the observer's showRequest), its series is loaded without a montage being computed, and
    // the stored montage, map and properties become the main record. Errors become the generic
    // message of "mnuOpenProject".
    // With "NAME.strokes" beside it, the montage is made again from the project's settings and
    // the strokes painted on it, so that they can be undone; the stored picture is kept.
    // The caller has checked that the project is a file.
    ProjectOutcome openProject(const std::string& project, const MontageRequest& current);

    // Retouching montage `which` (session/montage_retouch.cpp). Each raises RuntimeError when it
    // cannot paint (no montage, no such picture, the aligned stack no longer in the arrays); the
    // rectangles are the montage pixels that changed, origin top left.
    // Whether picture `picture` can be painted from into montage `which` now.
    bool canRetouch(const MontageChoice& which, int picture) const;
    // A stroke painted as the mouse moves: begun, continued to each point, ended (kept for undo,
    // the properties line updated). A stroke not ended is ended by the next begin or undo.
    // A stroke is painted whole or not at all: one that fails part way (memory running out) is
    // taken off again before the error is raised.
    void beginStroke(const MontageChoice& which, int picture, const retouch::Brush& brush);
    retouch::Rect strokeTo(int x, int y);
    retouch::Rect endStroke();
    bool strokeUnderway() const { return stroke_ != nullptr; }
    // A whole stroke, as a strokes file gives it; and every stroke of a file, in order (raises
    // RuntimeError naming the file's line for a stroke the series cannot paint).
    retouch::Rect applyStroke(const MontageChoice& which, const retouch::Stroke& stroke);
    void applyStrokes(const MontageChoice& which, const std::vector<retouch::Stroke>& strokes);
    // Undo and Redo of the last stroke; false when there was none.
    std::optional<retouch::Rect> undoStroke(const MontageChoice& which);
    std::optional<retouch::Rect> redoStroke(const MontageChoice& which);
    // Every stroke undone and forgotten.
    void clearStrokes(const MontageChoice& which);
    int strokeCount(const MontageChoice& which) const { return record(which).retouch.count(); }
    // The bytes of kept pixels past which a montage's oldest strokes are folded together
    // (SessionOptions::retouchUndoBytes).
    void setRetouchUndoBytes(std::size_t bytes) { options_.retouchUndoBytes = bytes; }
    // The picture the montage took at montage pixel (x, y) (origin top left): the per-pixel
    // choices of Pyramid Focus, else the dominant-image map's block; 0 when none.
    int sharpestPictureAt(const MontageChoice& which, int x, int y) const;
    // Source picture `picture` as it lies under montage `which`: the pixel the montage used at each
    // place (offsets, display area and alignment applied).
    retouch::SourcePlacement sourcePlacement(const MontageChoice& which, int picture) const;
    // The offset picture `picture` was placed by in `record` (its target for an ignored picture).
    ImageOffset placedOffset(const MontageRecord& record, int picture) const;

    // The first file name completed as the last Load or Make Montage completed it.
    const std::string& completedName() const { return completed_; }
    int pictureCount() const { return state_.series.imageCount; }
    // How the last Make Montage ended.
    const MakeOutcome& lastOutcome() const { return last_; }

    // The picture each pixel of a montage came from, and that as a greyscale depth map written
    // to `path` (PNG, or the format of its ending).
    PictureChoices depthChoices(const MontageChoice& which) const;
    // Montage `which` at full depth when its series has 16-bit pictures: the pictures read again
    // at full depth (aligned as the 8-bit ones were, for an aligned montage) and put together by
    // the choices its method made on the 8-bit view. Null when the series is 8-bit, or (with the
    // reason in `why`) when the record cannot be assembled so: an aligned montage whose alignment
    // is no longer at hand, or a montage whose 8-bit picture is no longer the one its choices
    // give. Pyramid Focus gives the deep picture it made beside the 8-bit one.
    std::shared_ptr<const DeepPicture> deepMontage(const MontageChoice& which, std::string* why = nullptr) const;
    void writeDepthMap(const MontageChoice& which, const std::string& path) const;

    // The front end filled the arrays itself (a preview): the stack and slot 100 no longer hold
    // what the last montage left there.
    void arraysRefilled();

    // Shows what a computation recorded, in order.
    void showMessages(MessageList& messages);

private:
    // Inside a catch: the error is a file of the streamed series that could not be decoded.
    bool streamedPictureRefused() const;
    enum class MakeMode { Montage, Project };
    enum class Step { Go, Stop, Finish };
    MakeOutcome make(const MontageRequest& request, MakeMode mode);
    void makeSteps(MontageRequest& r, MakeMode mode, MakeOutcome& out, int& line);

    // The steps of Make Montage, in their order.
    int readIncrement(MontageRequest& r, int& line);
    std::optional<SeriesName> checkSeriesName(const MontageRequest& r, int& line);
    void nameSeries(const MontageRequest& r, const SeriesName& series, int& line);
    Step loadSeries(const MontageRequest& r, const SeriesName& series, int& line);
    // loadSeries for a streamed series: the files looked at, not decoded.
    Step scanSeries(const MontageRequest& r, const SeriesName& series, int& line);
    // Where a series read or looked over leaves the run: Go when it has pictures to make a
    // montage of; otherwise why is said, the decoded pictures go, and the run stops.
    Step seriesEnd(int failure, int count, bool invalidPicture, const std::string& fileName);
    void sizeMontageToFirstPicture(int increment);
    AreaOutcome placePictures(const MontageRequest& r, MakeMode mode, int increment, int& line);
    AlignOptions alignOptions(const MontageRequest& r);
    void fillStackWithoutMontage(const MontageRequest& r, int increment);
    void runMethod(const MontageRequest& r, int increment, MakeOutcome& out, int& line);
    // The busy pointer for the rest of a command, handed back early before a message or a pass
    // that shows its own.
    class BusySpan {
    public:
        explicit BusySpan(SessionObserver& o) : o_(o) { o_.busy(true); }
        ~BusySpan() { release(); }
        BusySpan(const BusySpan&) = delete;
        BusySpan& operator=(const BusySpan&) = delete;
        void release() {
            if (on_) o_.busy(false);
            on_ = false;
        }

    private:
        SessionObserver& o_;
        bool on_ = true;
    };
    void finishMontage(const MontageRequest& r, MakeOutcome& out, BusySpan& busy);
    // Lets the stack's pixels go once the montage is made (SessionOptions::releaseStackAfterMontage).
    void releaseStack();
    // Before a series is read again: the pictures the stack holds from the run before go, so that
    // the series is not held twice while it is decoded (a series that fitted in memory once would
    // no longer fit the next time).
    void letEarlierStackGo();

    // Reads the series into `into`, each picture shown as it comes. Without `keepCells` (Load, which
    // only shows the pictures) a picture's cells go as soon as its window holds it; its sides stay.
    SeriesResult decodeSeries(const SeriesName& series, std::vector<std::unique_ptr<MemorySurface>>& into,
                              bool keepCells = true);
    SizeCheck sizeCheck(const IgnoreTicks& ignored, MessageList* messages) const;
    void buildProperties(const MontageRequest& r);
    // Makes slot 100 hold the main record's picture (a comparison or a project put another there).
    void loadMainIntoSlot();
    ComparisonResult runComparison(const MontageRequest& request, Prompter* answers,
                                   const std::function<ComparisonResult(ComparisonDriver&)>& command);
    PromptAnswer ask(PromptIcon icon, const std::string& text, const std::string& title,
                     PromptButtons buttons = PromptButtons::Ok);
    // A message about one file: its name goes in the message's details.
    PromptAnswer askAbout(const std::string& file, PromptIcon icon, const std::string& text, const std::string& title);
    // Raises the user's interrupt when the observer asks the run to stop.
    void stopIfAsked();
    // After a stopped Make Montage: nothing of the run is kept, the main record shows again.
    void forgetStoppedRun();

    class ObserverPrompter;
    Prompter& observerPrompter(); // the observer as a Prompter

    SessionState& state_;
    SessionObserver& observer_;
    SessionOptions options_;
    std::unique_ptr<ObserverPrompter> prompter_;
    std::string completed_;
    std::string seriesFirst_; // the completed first file of the series last read (Load or Make Montage)
    // The picture files of the series last read for a montage, as they were read.
    std::vector<PictureFileStamp> seriesStamps_;
    std::vector<PictureFileStamp> stampSeries(const SeriesName& series, int count) const;
    // The picture files as the last Load or series read showed them in their windows (picture n's
    // at n - 1).
    std::vector<PictureFileStamp> pictureStamps_;
    MakeOutcome last_;
    MontageRequest lastRequest_; // the last Make Montage's request as it ran (the increment rule applied)
    DecodedSeries series_;
    std::unique_ptr<StreamedSeries> streamed_; // the series of a streamed run, while it is the current one
    bool slotHoldsMain_ = false; // slot 100 holds the main record's picture
    std::uint64_t keepings_ = 0; // the montages saved, copied, printed or handed on so far
    // The stroke being painted, on which record, from which picture.
    struct LiveStroke {
        MontageChoice which;
        retouch::Stroke stroke;
        retouch::SourcePlacement source;
        std::unique_ptr<retouch::StrokeRecord> record;
    };
    std::unique_ptr<LiveStroke> stroke_;
    void strokesChanged(const MontageChoice& which);
    // Called while an error from painting `live` is handled: the stroke is taken off whole, the
    // montage left as it was before it, and the error raised again (running out of memory as
    // kStrokeOutOfMemoryText says).
    [[noreturn]] void takeBackStroke(std::unique_ptr<LiveStroke> live);

    // Pyramid Focus makes the same montage whatever the increment, which sets only the blocks of
    // its map: while a comparison runs, its last run is kept, and a later montage of the comparison
    // that differs from it in nothing but the increment (the same pictures in the stack, placed,
    // aligned and ignored alike) takes its picture and choices and counts only the map again.
    struct PyramidRun;
    std::unique_ptr<PyramidRun> pyramidRun_;
    bool comparing_ = false;
    // The stack is about to change (read again, aligned, filled, let go): the kept run no longer holds.
    void forgetPyramidRun();
    // The kept run's montage into slot 100 with its choices, deep picture and evened pictures, and
    // its map counted in blocks of `increment` (the preview and rows reported as a run reports them).
    std::string reusePyramidRun(const BlockLoopInput& in, int increment, PictureChoices& choices,
                                std::shared_ptr<const DeepPicture>& deep);
    // What a run of request `r` over `pictures` pictures reads but the increment; whether the kept
    // run was made from just that; keeping a run just made with what it made (in
    // montage_pyramid_reuse.cpp).
    std::unique_ptr<PyramidRun> pyramidRunOf(const MontageRequest& r, const std::vector<OwnArea>& ownAreas,
                                             int pictures) const;
    bool keptPyramidRunServes(const PyramidRun& settings) const;
    void keepPyramidRun(std::unique_ptr<PyramidRun> settings, const PictureChoices& choices,
                        const std::shared_ptr<const DeepPicture>& deep);
};

// What a stroke that ran out of memory part way says (error 7): it was taken off whole.
inline constexpr const char* kStrokeOutOfMemoryText =
    "there was not enough memory to paint the stroke: it was taken off, and the montage is as it was before it";

// The properties text with the line "  Retouched =N strokes" before the map (none when N is 0).
std::string withRetouchedLine(const std::string& properties, int strokes);
// N of that line, 0 when the text has none.
int retouchedStrokeCount(const std::string& properties);
// A montage picture as rows the retouching paints on.
retouch::Raster montageRaster(MemorySurface& picture);

// What a save that named picture `picture` of the series (the file `file`) is told before the
// name is asked again.
inline constexpr const char* kSeriesPictureTitle = "Choose another name";
std::string seriesPictureText(const std::string& file, int picture);

// Writes `picture` to `path` in the format its ending names, as saveMontage does: TIFF and PNG at
// 16 bits per sample from `deep` instead when it is given (its 8-bit view is `picture`), every
// other format from `picture`.
std::string savePicture(const BgrView& picture, const std::string& path, const SaveMontageOptions& options,
                        const DeepPicture* deep = nullptr);

// Whether the series whose first picture is `firstPicture` fits the memory left when it has
// 16-bit pictures, read at full depth one picture at a time beside its 8-bit cells
// (deepSeriesMemoryNeed, from the files' headers alone); true for a series that is not read at
// full depth.
bool deepSeriesFits(const std::string& firstPicture);

// Whether pictures 1 to `count` of that series have 16 bits per sample and 8 both (such a series
// is read at 16 bits, the 8-bit pictures' values v as v * 257).
bool seriesMixesDepths(const std::string& firstPicture, int count);

// Whether any of pictures 1 to `count` of the series is a 16-bit file.
bool seriesHasDeepPictures(const SeriesName& series, int count);

// The metadata of the series' first picture `firstPicture` into `record` (its problems too).
void takeFirstPictureMetadata(const std::string& firstPicture, MontageRecord& record);

class OutputSet;
// The project's files added to `files`: its bitmap `pictureFile` (none when empty: a project
// written to a device gets its text alone), its strokes when there are any, then the ".mon" file;
// `writing`, when given, names each file while it is written (for the message when one cannot be).
void addProjectFiles(OutputSet& files, const std::string& project, const std::string& pictureFile,
                     const BgrView& picture, const std::string& properties, std::string* writing = nullptr,
                     const std::vector<retouch::Stroke>* strokes = nullptr);

// Whether a project's stored montage (`storedWidth` x `storedHeight`) was made from pictures of
// another size than its pictures now give under its settings (`width` x `height`, the montage
// geometry after opening); `loadedOnly`: the pictures were loaded, not made into a montage again.
bool projectPicturesResized(const MontageRequest& request, bool loadedOnly, int storedWidth, int storedHeight,
                            int width, int height);
inline constexpr const char* kProjectResizedTitle = "The pictures have changed";
std::string projectResizedText(int storedWidth, int storedHeight, int width, int height);
// When the stored montage and the pictures differ in size, which of them left the montage the
// project was saved with: the dominant-image map in the project file was counted over that montage
// in blocks of `increment`. The bitmap is named only when it no longer fits the map while the
// pictures do (`cropped`: an aligned project of the minimum area opened without its strokes, whose
// pictures, loaded unaligned, may be larger than its montage); otherwise, or when the map cannot
// tell (none, uneven, or both sizes within the same blocks), the pictures changed.
enum class ProjectMisfit { Pictures, Bitmap };
ProjectMisfit projectMisfit(const std::string& map, int increment, bool cropped, int storedWidth, int storedHeight,
                            int width, int height);
// Said when the project's montage bitmap `bitmap` was replaced or damaged since it was saved.
inline constexpr const char* kProjectBitmapChangedTitle = "The montage picture has changed";
std::string projectBitmapResizedText(const std::string& bitmap, int storedWidth, int storedHeight, int width,
                                     int height);
// The same for a series that grew or shrank since the project was saved from `saved` pictures.
std::string projectRecountedText(int saved, int now);
// The same for a project saved before its pictures, which carry a camera orientation tag, were
// read upright: its montage and map were made from the pictures as the camera stored them.
inline constexpr const char* kProjectTurnedText =
    "The pictures of this project are now turned upright by their camera's orientation tag, and its montage "
    "was made from them as the camera stored them.   The stored montage is shown as it was saved, but its map "
    "no longer matches the pictures.   Make the montage again before smoothing or retouching it.";
// Said when a retouched project is opened without the strokes file beside it.
inline constexpr const char* kMissingStrokesTitle = "Retouched montage";
std::string missingStrokesText(const std::string& strokesFile);
// Said when the strokes painted on the montage made again do not give the stored picture.
inline constexpr const char* kStrokesUnlikeText =
    "The montage made again from this project's pictures and strokes is not the stored montage (it was "
    "smoothed after it was retouched, or with other smoothing factors): it is shown as it was saved, but its "
    "strokes cannot be undone.";

// Said when a retouched project's pictures cannot be loaded to make its montage again.
inline constexpr const char* kStrokesNotRemadeText =
    "The pictures of this retouched project could not be loaded to make its montage again: it is shown as it "
    "was saved, but its strokes cannot be undone.";

// The request a project's settings make of `current`: the first file, increment, method and
// ignore ticks the project names; its offsets (with their target centres and display area) or
// its automatic alignment; `current`'s offsets and alignment when it used neither; the automatic
// smoothing pass when the project's montage was smoothed. Target centres
// that a project stored before the pictures were read upright (it has no camera orientation line)
// were measured on the pictures as stored: they are moved to the same pixels of the upright
// pictures, by the first picture's orientation tag; `programFolder` completes a relative first name.
MontageRequest projectRequest(const ProjectSettings& project, MontageRequest current,
                              const std::string& programFolder = {});

// The properties text with the line that says the pictures were turned upright by a camera
// orientation tag other than 1 ("  Camera orientation =6 (pictures turned upright)"), after the
// picture count; unchanged for tag 1. A project holding it stores upright target centres.
std::string withOrientationLine(const std::string& properties, int orientation);

} // namespace orv
