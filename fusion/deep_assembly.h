// A deep montage assembled from choices made on the 8-bit view: every montage pixel takes the
// full-depth samples of the picture the montage method chose for it, from the same place the
// method read its 8-bit pixel. The block methods' decisions (their map) therefore stay exactly as
// they are, and the 8-bit view of the result is the 8-bit montage.
#pragma once

#include "base/deep_picture.h"
#include "fusion/picture_choices.h"

#include <vector>

namespace orv {

// Picture n of the series at full depth, and where it lies: montage pixel (x, y), y counted from
// the bottom as the pixel arrays count it, is read from the picture's cell (x + ox, y + oy), cell
// row r being the picture's row height - 1 - r from the top (as the stack holds it).
struct DeepSource {
    const DeepPicture* picture = nullptr; // null: the picture takes no part
    int ox = 0;
    int oy = 0;
    // The cells the stack holds of it (the first picture's rounded sides; 0: the whole picture): a
    // picture larger than the first is held only within them, the rest black, as the montage
    // made from the stack has it.
    int cellsWidth = 0;
    int cellsHeight = 0;
};

// The montage of choices.width x choices.height, top row first, with `channels` samples a pixel
// (3, or 1 when every picture is grey; a grey picture is spread to three channels otherwise).
// sources[n - 1] is picture n. Pixels whose choice is 0, whose picture takes no part, or that
// fall outside the chosen picture stay black. Raises RuntimeError 5 for a choice naming a
// picture beyond `sources`.
DeepPicture assembleDeep(const PictureChoices& choices, const std::vector<DeepSource>& sources, int channels);

// The same montage built one picture at a time, so that a series is read at full depth one
// picture after another instead of all at once: `out` (choices.width x choices.height, black to
// begin with) takes the pixels whose choice is picture n from `source`, spread over its channels
// when the picture is grey. Every pixel takes one picture, so the order of the pictures does not
// matter. Raises RuntimeError 5 when `out` is not of the choices' size.
void assembleDeepFrom(DeepPicture& out, const PictureChoices& choices, int n, const DeepSource& source);

// The largest picture number the choices name (0 when they name none).
int largestChoice(const PictureChoices& choices);

// A grey picture as red, green and blue samples, each the grey one.
DeepPicture spreadToColour(const DeepPicture& grey);

} // namespace orv
