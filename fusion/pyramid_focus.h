// Pyramid Focus: a seam-free montage from a Laplacian pyramid of every picture. At every level each
// pixel takes the coefficients of the picture whose luminance coefficients are strongest there (the
// magnitudes summed over the 5 x 5 pixels around it; all three channels from that picture, so
// colours stay true), the choice map cleaned by a 3 x 3 majority vote; on the finest levels, where
// no picture is clearly stronger than the others (flat ground, where the strongest is only the
// noisiest), the average of the pictures' coefficients instead; the top level is the average over
// the pictures. A picture taken more than a percent or two brighter or darker than the series is
// first scaled onto the series' light (see brightness_evening.h); the choices are then made again.
// A frame of sensor noise alone, far darker or brighter than the pictures with detail (the cap left
// on, burnt out white), takes no part, as if it were ignored.
// Only pictures that cover a pixel with pixels of their own take part there. The pyramid is then
// collapsed and each value kept within the range the covering pictures show around it (so that
// the collapse neither clips highlights no picture clips nor draws dark rims).
// It runs where the block loop runs, on the same arrays and settings, and writes the same kind of
// dominant-image map.
#pragma once

#include "engine/focus_method.h"
#include "engine/series_source.h"
#include "engine/pixel_arrays.h"
#include "engine/montage.h"
#include "base/deep_picture.h"
#include "fusion/brightness_evening.h"
#include "fusion/picture_choices.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

// The method's place in the "Montage Method" menu, the preferences and project files.
inline constexpr int kPyramidFocusMethod = int(FocusMethod::Pyramid);
inline constexpr const char* kPyramidFocusCaption = kMethods[std::size_t(FocusMethod::Pyramid)].caption;

// Where an aligned picture's own pixels lie: pixel (x, y) of the frame the stack's pictures were
// aligned onto (frameHeight rows, counted from the top; stack row r is frame row
// frameHeight - 1 - r) is the picture's own when `frameToPicture` takes it within
// [0, width - 1] x [0, height - 1] (the picture's size as loaded); elsewhere it holds repeated edge.
struct OwnArea {
    std::array<double, 6> frameToPicture{1, 0, 0, 0, 1, 0}; // (x, y) -> (m0 x + m1 y + m2, m3 x + m4 y + m5)
    int width = 0;
    int height = 0;
    int frameHeight = 0;
};

struct PyramidFocusOptions {
    const MontageGeometry* geometry = nullptr; // W, H, shiftX, shiftY, dY after the display area
    const OffsetTable* offsets = nullptr;      // the table after the display area; null: no offsets
    bool useOffsets = false;                   // "Use Image Offsets"; off: only the area's shifts place the pictures
    IgnoreTicks ignored{};                     // ignored pictures take no part at all
    int increment = 20;                        // the block side of the dominant-image map
    int pictureCount = 0;                      // N; 0 takes the stack's count
    // Picture n's own pixels at n - 1, for an aligned stack; empty: every picture's own pixels
    // are its whole rectangle.
    std::vector<OwnArea> ownAreas;

    // Picture n at full depth at n - 1 (the same size as the stack's picture n, rows from the
    // top), for a deep montage beside the 8-bit one; empty: none. The choices are those made on
    // the 8-bit stack; the deep pictures are decomposed, merged and collapsed in floating point.
    std::vector<const DeepPicture*> deepPictures;

    // Where the pictures are read from instead of the stack (whose cells then need not be held;
    // the stack's size and count are not read either): the source's count, sizes and cells, and
    // its full-depth pictures when it has them (deepPictures is then not read). Each picture is
    // asked for twice, once per pass.
    SeriesSource* source = nullptr;
    // With full-depth pictures: the 8-bit montage is the deep montage's 8-bit view (each value
    // v / 257 rounded), within 1 of the 8-bit merge, which is then not made (one colour pass).
    bool eightBitFromDeep = false;

    bool drawPreview = false; // keep the preview buffer in step as the result is written
    bool keepChoices = true;  // return the finest level's choice per pixel (for a depth map)
    // Hold the lowest values the pictures show in the montage slot until the result is written
    // there, instead of in a buffer of their own: the slot then shows them until its rows are
    // written, so only for a run no window watches.
    bool rangeInMontage = false;

    // After each picture of each of the two passes over the series: steps done of `steps`.
    std::function<void(int done, int steps)> onProgress;
    // Between the last picture's report and the first row's, while the merged pyramids are
    // collapsed and kept within range (a second or more at 12 MP and 16 bits): called after each
    // stage, so that a caller can keep its windows answering and let a stop take effect.
    std::function<void()> onWait;
    // After each row of blocks of the result is written into montage slot 100, bottom row first,
    // with the map text so far, as the block loop reports its rows.
    std::function<void(const BlockRowEvent&)> onRow;
    // Before any level is made: the bytes the run will hold at its fullest beyond the stack, the
    // source's pictures and the montage slot (its levels, maps and sums, at 16 bits too when the
    // source has full-depth pictures). A caller that raises an error here stops the run before
    // it takes any of that memory.
    std::function<void(std::uint64_t bytes)> checkMemory;
};

struct PyramidFocusResult {
    std::string map;        // one character per block of the increment, as the block loop's map
    PictureChoices choices; // per pixel (cell 1), when keepChoices; 0 where no picture reaches
    std::shared_ptr<DeepPicture> deep; // the montage at 16 bits, rows from the top, when deepPictures were given
    std::vector<EvenedPicture> evened; // the pictures taken brighter or darker than the series, evened out
    // The pictures with no detail beyond sensor noise, far darker or brighter than the others (the cap
    // left on, a frame burnt out white), left out of the run as if ignored; in series order.
    std::vector<int> leftOut;
};

// Makes the montage into slot 100 of `mp` (allocated to the montage size by the fill, as for the
// block loop) from the stack. Montage pixel (x, y) is read from picture k at
// (x + target x(k) - shiftX, y + dY - target y(k) + shiftY), as the block loop copies it; pixels no
// picture reaches stay black. Memory beyond the stack does not grow with the number of pictures:
// the pictures are decomposed one at a time, twice (once to choose, once to merge, the deep
// picture merged beside the 8-bit one); the work of
// each is spread over all cores. Raises RuntimeError: 5 for options it cannot use, 7 when memory
// runs out, 9 for a montage slot that does not match the geometry; the caller adds the line.
PyramidFocusResult runPyramidFocus(PixelArrays& mp, const PyramidFocusOptions& options);

// What a run's memory depends on besides its montage's size: whether the source has full-depth
// pictures, whether the 8-bit colour pass is made (not when the 8-bit montage is the deep one's
// view), whether every picture covers the whole montage, whether some picture is placed elsewhere
// than the montage's own place (it is then copied into place), and the options that spare or add
// a buffer.
struct PyramidFocusShape {
    int width = 0, height = 0;
    bool deep = false;
    bool eightBitPass = true;
    bool full = true;
    bool placed = false;
    bool rangeInMontage = false;
    bool keepChoices = true;
};
// The bytes a run of that shape holds at its fullest beyond the stack, the source's pictures and
// the montage slot: what PyramidFocusOptions::checkMemory is given.
std::uint64_t pyramidFocusWorkingBytes(const PyramidFocusShape& shape);

// The number of pyramid levels below the top for a w x h montage: halve until the smaller side is
// 8 pixels or less, at least once.
int pyramidLevels(int w, int h);

} // namespace orv
