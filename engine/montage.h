// Montage assembly: the montage size for the chosen display area, and the block loop that takes
// every block from the picture where it is sharpest and records the dominant-image map.
#pragma once

#include "engine/focus_measure.h"
#include "engine/pixel_arrays.h"

#include <cstdint>
#include <functional>
#include <string>

namespace orv {

enum class DisplayArea { Same, Minimum, Maximum };

struct MontageGeometry {
    float W = 0; // montage width and height in pixels
    float H = 0;
    std::int16_t smallestX = 999, largestX = 0, smallestY = 999, largestY = 0;
    std::int16_t shiftX = 0, shiftY = 0;
    std::int16_t dY = 0; // row adjustment added to every block row before it is measured
};

enum class AreaOutcome { Ready, MinimumEmpty, MaximumEmpty };

inline constexpr const char* kMinimumAreaText =
    "I cannot continue with this selected 'minimum area' for the offsets, as with these offset "
    "positions there is no image.";
inline constexpr const char* kMinimumAreaTitle = "Change the area from the 'minimum'.";

struct AreaInput {
    bool useOffsets = false;
    DisplayArea area = DisplayArea::Same;
    int pictureCount = 0;
    IgnoreTicks ignored{};
    int evaluationMode = 0;
    int pictureWidth = 0;  // picture 1's picture-box size
    int pictureHeight = 0;
    int increment = 0; // the block side; 0: every column may start a block
};

// Sets the extents, shifts and row adjustment and resizes W x H for the Minimum and Maximum
// areas. With offsets off every offset of the table is set to (0, 0). Raises RuntimeError on
// 16-bit overflow (line 21000 for the extents, 8100 otherwise), also when the Same area would
// ask a picture for a block past column 32767 (its last block column plus the spread of the
// target x): the block loop could not name that position.
AreaOutcome applyDisplayArea(MontageGeometry& g, OffsetTable& offsets, const AreaInput& in);

// Which block rows and columns the loop visits: 0, increment, 2 * increment, ... up to
// nearest(side - 1).
int blockCount(float side, int increment);

// Called after each block row: the y of the row, the map text so far (top row first) and whether
// preview rows were redrawn.
struct BlockRowEvent {
    int y = 0;
    int rowIndex = 0;
    int rowCount = 0;
    const std::string* map = nullptr;
    bool previewChanged = false;
    int previewFrom = 0; // the preview rows redrawn (previewFrom > previewTo when none)
    int previewTo = -1;
};

struct BlockLoopInput {
    const MontageGeometry* geometry = nullptr;
    int increment = 20;
    int pictureCount = 0;
    const FocusContext* focus = nullptr;
    bool drawPreview = false; // update the preview buffer row by row
    int threads = 1;          // rows of blocks may be computed ahead on this many threads
    std::function<void(const BlockRowEvent&)> onRow;
};

// Runs the block loop over montage slot 100 (which the caller has filled, normally black) and
// returns the dominant-image map. Errors carry the line of the failing sub-step.
std::string runBlockLoop(PixelArrays& mp, FocusMeasure& fm, const BlockLoopInput& in);

// The map character for a picture number: its last decimal digit.
inline char mapCharacter(int picture) { return char('0' + picture % 10); }

} // namespace orv
