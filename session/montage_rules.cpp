// The montage windows' window-free rules.
#include "session/montage_rules.h"

#include "base/numbers.h"
#include "engine/focus_method.h"
#include "engine/montage.h"

#include <algorithm>

namespace orv {

bool scalePictureIntoPreview(PixelArrays& mp, int picture, int width, int height) {
    PixelBuffer& pv = mp.preview;
    if (pv.bytes.empty()) return false;
    int lastX, lastY;
    const std::uint8_t* cells = nullptr;
    int rowCells;
    if (picture < 100) {
        if (picture < 1 || picture > mp.stack.count) return false;
        lastX = mp.stack.lastColumn;
        lastY = mp.stack.lastRow;
        width = mp.stack.pictureWidth(picture);
        height = mp.stack.pictureHeight(picture);
        cells = mp.stack.pictures[std::size_t(picture - 1)].data();
        rowCells = mp.stack.width();
    } else {
        if (picture > mp.montage.lastSlot || mp.montage.slot(picture).empty()) return false;
        lastX = mp.montage.lastColumn;
        lastY = mp.montage.lastRow;
        cells = mp.montage.slot(picture).data();
        rowCells = mp.montage.width();
    }
    // The cells past the picture's own last column and row are padding (black): the preview's
    // last pixels show the picture's. A picture larger than its cells keeps to the cells.
    if (width > 0) lastX = std::min(lastX, width - 1);
    if (height > 0) lastY = std::min(lastY, height - 1);
    if (lastX < 0 || lastY < 0) return false;
    // Single-precision factors; a one-pixel side maps everything onto pixel 0.
    const float rx = lastX > 0 ? float(pv.lastColumn) / float(lastX) : 0.0f;
    const float ry = lastY > 0 ? float(pv.lastRow) / float(lastY) : 0.0f;
    auto source = [](int p, float r, int last) {
        if (r == 0.0f) return 0;
        const int s = roundToInt32(double(float(p) / r));
        return s < 0 ? 0 : (s > last ? last : s);
    };
    for (int py = 0; py <= pv.lastRow; ++py) {
        const int sy = source(py, ry, lastY);
        std::uint8_t* out = pv.bytes.data() + 3 * std::size_t(py) * std::size_t(pv.width());
        const std::uint8_t* row = cells + 3 * std::size_t(sy) * std::size_t(rowCells);
        for (int px = 0; px <= pv.lastColumn; ++px) {
            const std::uint8_t* in = row + 3 * std::size_t(source(px, rx, lastX));
            out[3 * px + 0] = in[0];
            out[3 * px + 1] = in[1];
            out[3 * px + 2] = in[2];
        }
    }
    return true;
}

std::string comparisonCaption(int method) { return methodCaption(method) + " used."; }

std::string displayText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

ImageOffset markerCentre(double left, double top, double width, double height) {
    return ImageOffset{roundToInt16(left + width / 2), roundToInt16(top + height / 2)};
}

MapGrid mapGrid(float W, float H, int increment) {
    return MapGrid{blockCount(W, increment), blockCount(H, increment)};
}

} // namespace orv
