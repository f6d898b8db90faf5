// The smoothing pass: one raster walk over a finished montage that swaps weak, low-detail blocks
// for the same area of another picture when that block joins its final neighbours markedly better.
#pragma once

#include "base/prompt.h"
#include "engine/focus_measure.h"
#include "engine/pixel_arrays.h"
#include "engine/montage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace orv {

// The internal values of the smoothing preferences the pass reads.
struct SmoothingSettings {
    float edgeFactor = 0.1f;       // sensitivity to swap based on improved smoothness
    float focusFactor = 0.1f;      // emphasis put on smoothness vs focus
    std::int16_t diffFactor = 100; // detailed areas vs background areas
};

// The pass's own messages.
inline constexpr const char* kSmoothHiddenText =
    "I am sorry, but you have to have an 'In Focus' Montage picture displayed before I can smooth it!";
inline constexpr const char* kSmoothHiddenTitle = "Create it first, then try again";
inline constexpr const char* kSmoothReportTitle = "Smooved";
inline constexpr const char* kAlreadySmoothText = "This image is already as smooth as I can get it.";
inline constexpr const char* kAlreadySmoothTitle = "Sorry, I can't improve perfection";
inline constexpr const char* kReportStart = "Smoothing occurred at co-ordinates\r\n";
inline constexpr std::size_t kReportLimit = 1020;

// Settings the pass cannot work with: an increment below 1 would never advance the block walk and
// a focusFactor of 0 or less would divide by zero in the focus test.
inline constexpr const char* kSmoothIncrementText =
    "I am sorry, but I can only smooth with an increment of 1 or more.   Please enter a larger "
    "increment and try again.";
inline constexpr const char* kSmoothFocusFactorText =
    "I am sorry, but I can't smooth while the 'Emphasis put on smoothness vs focus' is 0.   "
    "Please raise it in the preferences and try again.";
inline constexpr const char* kSmoothSettingsTitle = "Check the smoothing settings";

// The refusal for an increment or settings the pass cannot use; none when they are usable.
std::optional<Prompt> smoothingRefusal(int increment, const SmoothingSettings& settings);

// Where the pass finds the increment, offsets and map geometry of the block it examines.
struct BlockSearchContext {
    int increment = 20;
    const OffsetTable* offsets = nullptr; // null: no offsets (all targets 0)
    int shiftX = 0, shiftY = 0, dY = 0;
    IgnoreTicks ignored{};
};

struct SmootherBlock {
    int picture = 999; // the best candidate, or the excluded picture when none beats the montage
    float sCur = 0;    // the montage block's edge difference
    float sBest = 0;   // the best candidate's edge difference
    int xs = 0, ys = 0; // the candidate's block position in its picture
    int count = 0;     // edge samples taken: 0, 8 or 16
};

// Compares the montage's pixels just left of and below block (x, y) of `slot` with the block's own
// first column and row, and with the first column and row of every picture's block at the same
// place; returns the picture that joins best (strictly better than the montage).
SmootherBlock findSmootherBlock(const PixelArrays& mp, const BlockSearchContext& ctx, int x, int y,
                                int excluded, int slot);

// A replaced block, for the window that shows the montage: the block of montage pixels (x, y) to
// (x + increment - 1, y + increment - 1) in array coordinates has changed in `slot`.
struct BlockRedraw {
    int slot = 100;
    int x = 0, y = 0, increment = 0;
    int picture = 0;    // the picture it now comes from
    int xs = 0, ys = 0; // its position there
    int montageTop = 0; // window row of the block's top row: H - y - increment
    int pictureTop = 0; // that of the candidate block in its picture: height - ys - increment
    int columns = 0, rows = 0; // the part of the block copied: where both arrays hold it
};

// What the window layer does while the pass runs. Every hook is optional.
struct SmoothingHooks {
    std::function<void(bool)> busy;                           // hourglass on / off
    std::function<void(const BlockRedraw&)> redrawBlock;      // after the pixel array changed
    std::function<void()> afterRow;                           // let pending window events run
    std::function<void(const std::string&)> propertiesChanged; // the final properties text
};

struct SmoothInput {
    PixelArrays* arrays = nullptr;
    FocusMeasure* measure = nullptr;
    const FocusContext* focus = nullptr; // method, ignore ticks, offsets
    MontageGeometry* geometry = nullptr; // W, H and the offsets' extents, shifts and dY
    DisplayArea area = DisplayArea::Same; // the display area the offsets' extents are recomputed for
    // The stack holds aligned pictures, which the display area places by the geometry's shifts
    // and row adjustment (a Minimum area crops the frame); without it and without offsets every
    // picture sits where it is.
    bool placedByArea = false;
    // The pictures are placed as the montage was made: the geometry's shifts and row adjustment
    // and the focus context's offsets and extents are used as they are, not recomputed for the
    // display area (a target dragged or another area ticked since would move every block taken).
    bool placementAsMade = false;
    std::string* map = nullptr;        // the map window's text
    // The block side the map was made with (the montage's increment); 0: the pass's own. When the
    // increment box has changed since, the pass walks its own grid and each map cell then takes the
    // picture most of its pixels come from.
    int mapIncrement = 0;
    std::string* properties = nullptr; // this montage's properties text
    MessageList* messages = nullptr; // the pass's messages and the measure's, in order

    bool montageVisible = true;
    std::optional<int> comparison; // comparison montage k (0 to 4), none for the main montage
    bool showMessages = true;  // false for the automatic pass after Make Montage
    std::string incrementText; // the increment box's text when the pass starts
    SmoothingSettings settings;
    SmoothingHooks hooks;
};

enum class SmoothOutcome { Done, Hidden, Refused };

struct SmoothResult {
    SmoothOutcome outcome = SmoothOutcome::Done;
    int replaced = 0;
    std::string report; // starts as kReportStart
};

// One pass over one montage. Raises RuntimeError 6 when the increment does not fit 16 bits and 9
// for a montage index without a pixel slot.
SmoothResult smoothMontage(const SmoothInput& in);

// The map character's index for block (x, y): (rows - 1 - y / inc) * (columns + 2) + x / inc.
long long mapIndex(float W, float H, int increment, int x, int y);

} // namespace orv
