// The pixel arrays the engine works on: the image stack of the source pictures, the five montage
// slotPixels 100 to 104 and the preview buffer, with the routines that fill them from picture surfaces,
// read single colours from them and draw them back.
#pragma once

#include "base/prompt.h"
#include "engine/focus_method.h"
#include "engine/picture_surface.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// One picture's pixels, 24-bit bottom-up, W' x H' (both multiples of 4), byte (ch, x, y) at
// ch + 3 * (x + W' * y).
struct PixelBuffer {
    std::int16_t lastColumn = -1; // W' - 1
    std::int16_t lastRow = -1;    // H' - 1
    std::vector<std::uint8_t> bytes;

    int width() const { return lastColumn + 1; }
    int height() const { return lastRow + 1; }
    void allocate(int W, int H); // all cells 0
};

struct ImageStack {
    std::int16_t lastColumn = -1;
    std::int16_t lastRow = -1;
    std::int16_t count = 0;                          // N
    std::vector<std::vector<std::uint8_t>> pictures; // picture n at index n - 1, W' x H' each
    std::vector<std::array<int, 2>> sizes;           // each picture's own width and height

    int width() const { return lastColumn + 1; }
    int height() const { return lastRow + 1; }
    int pictureWidth(int n) const { return n >= 1 && n <= count ? sizes[std::size_t(n - 1)][0] : 0; }
    int pictureHeight(int n) const { return n >= 1 && n <= count ? sizes[std::size_t(n - 1)][1] : 0; }
};

struct MontageBuffers {
    std::int16_t lastColumn = -1;
    std::int16_t lastRow = -1;
    std::int16_t lastSlot = 104;
    std::array<std::vector<std::uint8_t>, 5> slotPixels; // slot 100 + k at index k

    int width() const { return lastColumn + 1; }
    int height() const { return lastRow + 1; }
    std::vector<std::uint8_t>& slot(int s) { return slotPixels[std::size_t(s - 100)]; }
    const std::vector<std::uint8_t>& slot(int s) const { return slotPixels[std::size_t(s - 100)]; }
};

// The surfaces the arrays are filled from.
struct ArraySurfaces {
    const PictureSurface* montage = nullptr;            // the main montage's picture
    std::array<const PictureSurface*, 5> comparison{};  // comparison montages 0 to 4
    std::vector<PictureSurface*> pictures;              // source windows 1 to N at 0 to N - 1
};

// What a fill of the arrays reads: everything (the stack from the pictures and slot 100 from the
// main montage, the other slots emptied), the comparison montages into slots 100 to 104, or the
// main montage alone into slot 100.
enum class ArrayFill { Full, Comparisons, Montage };

// The montage slots: the main montage, and comparison montage k (0 to 4) at Main + k.
enum class MontageSlot : int { Main = 100 };
inline int comparisonSlot(int k) { return int(MontageSlot::Main) + k; }

// What the same-size check needs besides the surfaces.
struct SizeCheck {
    IgnoreTicks ignored{};
    bool comparisonRun = false; // evaluationMode non-zero or evaluationRun set: no check
    MessageList* messages = nullptr; // the warnings are recorded here
};

class PixelArrays {
public:
    ImageStack stack;
    MontageBuffers montage;
    PixelBuffer preview;

    void loadImageArrays(ArrayFill fill, const ArraySurfaces& surfaces, const SizeCheck& check);
    void loadPreviewArray(const PictureSurface& preview);
    void showPreviewArray(PictureSurface& preview) const;
    // Draws montage slot `slot` (100 to 104) onto a picture of the montage's size.
    void showMontageArray(PictureSurface& montageSurface, int slot = int(MontageSlot::Main)) const;

    // One channel (0 blue, 1 green, 2 red) of a source picture (picture < 100) or montage slot
    // (picture >= 100); 0 outside the arrays.
    std::int16_t point(int channel, int x, int y, int picture) const {
        if (picture < 100) {
            if (x > stack.lastColumn || y > stack.lastRow || picture > stack.count || picture < 1)
                return 0;
            return stack.pictures[std::size_t(picture - 1)]
                                 [std::size_t(channel) + 3 * (std::size_t(x) + std::size_t(stack.width()) * y)];
        }
        if (x > montage.lastColumn || y > montage.lastRow || picture > montage.lastSlot)
            return 0;
        const auto& s = montage.slot(picture);
        if (s.empty()) return 0;
        return s[std::size_t(channel) + 3 * (std::size_t(x) + std::size_t(montage.width()) * y)];
    }
    std::int16_t pointBlue(int x, int y, int picture) const { return point(0, x, y, picture); }
    std::int16_t pointGreen(int x, int y, int picture) const { return point(1, x, y, picture); }
    std::int16_t pointRed(int x, int y, int picture) const { return point(2, x, y, picture); }
};

// The warnings a full fill records for the pictures from 2 on (those not ignored) whose size is not
// picture 1's, without reading any pixels; none during a comparison run.
void checkSameSize(const ArraySurfaces& surfaces, const SizeCheck& check);
// The same warnings for pictures known by their sizes (width, height), picture n at n - 1.
void checkSameSize(const std::vector<std::array<int, 2>>& sizes, const SizeCheck& check);

// "Image 3 has a different dimension (640,480) from Image 1 (800,600).   All images must be the same size."
std::string sameSizeWarning(int n, int width, int height, int width1, int height1);
inline constexpr const char* kSameSizeTitle = "You can edit each picture to the same size";

} // namespace orv
