// The series Make Montage reads and the stack it fills: the pictures are decoded once, moved into
// the stack once and aligned once, and all of it is dropped when another series or other
// alignment settings are asked for.
#pragma once

#include "align/align_series.h"
#include "engine/picture_surface.h"
#include "engine/pixel_arrays.h"

#include <memory>
#include <string>
#include <vector>

namespace orv {

class DecodedSeries {
public:
    // Whether the stack holds the series whose completed first name is `name`, unchanged.
    bool stackHolds(const std::string& name) const { return stackHolds_ && name_ == name; }
    // The pictures are about to be read anew: the earlier ones, the stack's claim and the
    // alignment go.
    std::vector<std::unique_ptr<MemorySurface>>& startReading();
    // The pictures of `name` are in; an empty name: the reading failed and nothing is kept.
    void finishReading(const std::string& name);
    void drop() { finishReading(""); }

    const std::vector<std::unique_ptr<MemorySurface>>& pictures() const { return pictures_; }
    // The decoded pictures still wait to be moved into the stack (or no stack holds them yet).
    bool needsFill() const { return !stackHolds_ || !pictures_.empty(); }
    // The surfaces a fill reads: `montage` for slot 100, then the decoded pictures.
    ArraySurfaces surfaces(PictureSurface& montage) const;
    // The pictures' pixels have moved into the stack.
    void filled() {
        stackHolds_ = true;
        pictures_.clear();
    }
    // Moves the pictures into the stack (when they are not there yet) with a W x H black montage.
    // Returns false when the stack already held them.
    bool fill(PixelArrays& arrays, int W, int H, const SizeCheck& check);
    // Raises error 7 before a fill with a W x H montage when what it allocates does not fit in the
    // memory left: the montage's slot, and cells of the first picture's size for every picture of
    // another size (the others' pixels move into the stack as they are).
    void requireFillMemory(int W, int H) const;

    // The stack's pictures have been aligned with these settings.
    bool aligned(bool colourMatch) const { return aligned_ && alignedColours_ == colourMatch && !needsFill(); }
    void markAligned(bool colourMatch) {
        aligned_ = true;
        alignedColours_ = colourMatch;
    }

    // Picture 1's size: from the decoded picture, or from the stack when it holds the series.
    int firstWidth(const PixelArrays& arrays) const;
    int firstHeight(const PixelArrays& arrays) const;

private:
    std::vector<std::unique_ptr<MemorySurface>> pictures_;
    std::string name_;        // the completed first name of the series read
    bool stackHolds_ = false; // the stack holds that series' pictures
    bool aligned_ = false;    // and they have been aligned
    bool alignedColours_ = false;
};

} // namespace orv
