// One Make Montage once its size is known: the pixel arrays filled, the focus measure's settings
// taken from the montage settings and geometry, and the block loop. The desktop program and
// orvanta-cli both run it, so the same series and settings make the same montage.
#pragma once

#include "base/prompt.h"
#include "engine/focus_measure.h"
#include "engine/pixel_arrays.h"
#include "engine/montage.h"

#include <cstdint>
#include <functional>
#include <string>

namespace orv {

// The increment box's rule: a value below 10, or a number too large to read, makes the text "10";
// the increment is then the text's value rounded half to even.
struct IncrementBox {
    std::string text;           // the box's text after the rule
    std::int16_t increment = 10;
    bool replaced = false;      // the text became "10"
};

// Raises RuntimeError 6 at line 1000 when the rounded value does not fit 16 bits.
IncrementBox readIncrementBox(const std::string& text);

struct MontageRunSettings {
    int increment = 20;
    FocusMethod method = FocusMethod::ColorSpace3D;
    IgnoreTicks ignored{};
    bool useOffsets = false;
};

// What the focus measure reads for a montage made with `s` over `g` (after the display area).
FocusContext montageFocusContext(const MontageRunSettings& s, const OffsetTable& offsets,
                                 const MontageGeometry& g, MessageList* messages);

// After each block row: the loop's own event and the preview buffer rows it has redrawn
// (previewFrom > previewTo when none).
struct MontageRowEvent {
    BlockRowEvent row;
    int previewFrom = 0;
    int previewTo = -1;
};

struct MontageRun {
    PixelArrays* arrays = nullptr;
    FocusMeasure* measure = nullptr;
    FocusContext* focus = nullptr; // receives the settings the measure used
    const MontageGeometry* geometry = nullptr;
    const OffsetTable* offsets = nullptr;
    MontageRunSettings settings;
    int pictureCount = 0;
    MessageList* messages = nullptr; // the focus measure's messages, in row order

    // The fill. With surfaces, the montage slot is read from the montage picture (cleared by the
    // caller) and the stack from the pictures; without, the stack stays and slot 100 is cleared to
    // the montage size (a comparison over pictures that have not changed).
    const ArraySurfaces* surfaces = nullptr;
    SizeCheck sizeCheck;
    std::function<void()> afterFill; // runs with the fill's error line, e.g. the preview buffer

    bool drawPreview = false; // keep the preview buffer in step row by row
    int threads = 1;          // rows of blocks may be computed ahead on this many threads
    std::function<void(const MontageRowEvent&)> onRow;
    // Another method in the block loop's place: the same inputs (the filled arrays, the loop's
    // settings and row callback) and the same kind of dominant-image map out.
    std::function<std::string(const BlockLoopInput&)> montageMethod;
};

// A run over `arrays` with the measure, focus, geometry and offsets its caller keeps: the one place
// a run is set up; the caller adds the fill, messages, preview and row callback it needs.
MontageRun montageRunOver(PixelArrays& arrays, FocusMeasure& measure, FocusContext& focus, const MontageGeometry& g,
                          const OffsetTable& offsets, const MontageRunSettings& settings, int pictureCount,
                          int threads = 1);

// Fills the arrays, runs the block loop and returns the dominant-image map. Errors carry the line
// of the failing stage: 8200 the fill, 8400 the sample store, 8500 to 10400 the loop.
std::string runMontage(const MontageRun& run);

// The block loop over a stack that is already filled, with no offsets and nothing ignored: slot
// 100 is cleared to the size of `g` and the montage made there. Returns the map. For tools and
// tests that build the stack themselves.
std::string montageOfFilledStack(PixelArrays& mp, const MontageGeometry& g, int increment,
                                 FocusMethod method = FocusMethod::ColorSpace3D, int threads = 1);

} // namespace orv
