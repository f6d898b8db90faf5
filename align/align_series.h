// Automatic alignment of a loaded series: every picture of the image stack is mapped onto the
// reference picture (the middle one) by an affine map found with enhanced correlation, and warped
// in place, so that focus breathing, a moved camera and a slight turn no longer misplace blocks.
#pragma once

#include "align/affine.h"
#include "base/runtime_error.h"
#include "engine/focus_method.h"
#include "engine/series_source.h"
#include "engine/pixel_arrays.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orv {

namespace align {
struct ColourReference;
}

// Each picture to align is told twice: when its map has been measured and when it has been
// warped. `done` counts these steps, of `total` (twice the pictures to align).
struct AlignProgress {
    enum class Stage { Measuring, Warping };
    Stage stage = Stage::Measuring;
    int picture = 0; // the picture just finished (1 to N)
    int done = 0;
    int total = 0;
};

struct AlignOptions {
    // Ignored pictures never win a block: they are neither the reference nor aligned, and stay
    // as loaded.
    IgnoreTicks ignored{};
    // Fit a gain and an offset per colour channel of each picture against the reference on the
    // area they share, and apply them, so that brightness drift between shots does not decide
    // blocks.
    bool colourMatch = false;
    // The long side of the grey copies the maps are estimated on (at most; less when memory is
    // short, see below).
    int workingSide = 1024;
    // The estimation's working memory (both sides of the reference together) is held below this
    // many pictures of the stack's size, but never below 16 MB: the memory a caller can spare
    // besides the stack. Warping needs one such picture.
    double memoryPictures = 2.0;
    // Called on the caller's thread only, after each step.
    std::function<void(const AlignProgress&)> onProgress;
};

// How a picture's place was decided. A measured map is used only when it matches its neighbour
// clearly better than the picture as loaded and than its neighbour's place; else the picture
// keeps the better of those two, so that differences of focus and noise do not move it. A picture
// too small to measure keeps its place as loaded.
enum class PicturePlacement {
    Measured,  // its own measured map (or the reference itself)
    AsLoaded,  // no clear move: used as loaded (the identity)
    Neighbour, // no clear move against its neighbour: placed as the neighbour is
    TooSmall,  // too few pixels to measure a move, and it differs from its neighbour as loaded
               // and moved by a pixel: used as loaded
};

struct PictureAlignment {
    int picture = 0;        // 1 to N
    bool aligned = false;   // false: ignored, left as loaded, no properties lines
    bool reference = false;
    bool converged = true;  // false: no reliable map was found; the picture is left as loaded
    double correlation = 0; // of the match that placed it, with its neighbour (1 = perfect)
    PicturePlacement placement = PicturePlacement::Measured;
    int neighbour = 0;      // the picture it was matched with (0 for the reference)
    int pastWeak = 0;       // the neighbour passed over because its own match was weak (0: none)
    int width = 0, height = 0;      // the picture's own size, as loaded
    align::Affine toReference;      // picture pixel -> reference pixel, rows from the top
    align::Affine fromReference;    // its inverse: which of the picture's own pixels (within
                                    // width x height) a frame pixel shows
    align::Similarity similarity;   // the same map as a user reads it
    std::array<double, 3> gain{1, 1, 1};   // blue, green, red: new = gain * old + offset
    std::array<double, 3> offset{0, 0, 0};
    bool colourRefused = false; // colours too far from the reference's to be matched: left as they are
};

// A rectangle of the reference frame, rows from the top; empty when width or height is 0.
struct FrameRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const FrameRect&) const = default;
};

struct AlignmentReport {
    int reference = 0;                   // 0 when no picture is in use
    // The middle picture in use when it shows no detail to align to (black, or featureless): the
    // picture nearest it that does is then the reference. 0 when the middle picture is the
    // reference.
    int passedOver = 0;
    int frameWidth = 0, frameHeight = 0; // the reference frame every aligned picture now fills
    std::vector<PictureAlignment> pictures; // picture n at index n - 1
    // The largest axis-aligned rectangle of the frame that every aligned picture covers with
    // its own pixels (no replicated edge): the "minimum" display area.
    FrameRect common;

    int notConverged() const;
};

// The maps of a series measured, not yet applied: what alignPicture needs to put each picture onto
// the reference frame, one at a time, without the series being held.
struct AlignmentPlan {
    // Everything but the colour fits (gain, offset), which alignPicture fills as it matches each
    // picture's colours.
    AlignmentReport report;
    int cellsWidth = 0, cellsHeight = 0; // the cells' size (the stack's)
    bool colourMatch = false;
    std::vector<align::Affine> refToPicture; // picture n at n - 1, rows from the bottom; identity when not measured
    std::vector<char> warped;                // picture n is resampled onto the frame
    std::vector<std::array<int, 2>> sizes;   // each picture's own size once aligned
    std::shared_ptr<const align::ColourReference> colourReference;
    std::shared_ptr<std::mutex> fitsLock = std::make_shared<std::mutex>();
};

// Measures the maps of the pictures of `source` onto its reference, as alignStack does, reading
// each picture once (both sides of the reference at once, on two threads, when memory allows):
// only the reference's and the current neighbours' working copies are held. Progress counts the
// measured pictures only. Raises as alignStack.
AlignmentPlan measureAlignment(SeriesSource& source, const AlignOptions& options);

// Puts picture n, whose cells (the plan's size, as the source gave them) are in `cells`, onto the
// reference frame: resampled (through `spare`, a buffer of the same size, which it swaps with
// `cells`), colour matched, and cleared outside the frame, exactly as alignStack leaves it; left as
// it is when ignored or not measured. Safe on several threads for different pictures.
void alignPicture(AlignmentPlan& plan, int n, std::vector<std::uint8_t>& cells, std::vector<std::uint8_t>& spare);

// Aligns the pictures of `stack` onto its reference in place. Every aligned picture then fills the
// reference frame (its size in `stack.sizes` becomes the frame's); where it has no pixels of its
// own its edge is repeated. A picture whose map does not converge is left as loaded. Raises
// RuntimeError 7 when memory runs out (5 for any other failure of the image library); the stack
// may then be partly aligned.
AlignmentReport alignStack(ImageStack& stack, const AlignOptions& options);

// The middle of the pictures in use (4 of 7, 5 of 10), 0 when none is in use: the picture a series
// aligns onto unless it shows no detail to align to, when the picture nearest it that does is
// taken (the one before it first).
int referencePicture(int count, const IgnoreTicks& ignored);

} // namespace orv
