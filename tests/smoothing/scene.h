// Hand-built pixel arrays for the smoothing tests: a grey series and montage whose blocks the
// tests paint, in array coordinates (y from the bottom).
#pragma once

#include "base/runtime_error.h"
#include "engine/picture_surface.h"
#include "engine/properties_text.h"
#include "smoothing/colour_distance.h"
#include "smoothing/smoothing_pass.h"

#include <ostream>
#include <string>
#include <vector>

namespace orv {
inline void PrintTo(const Rgb& c, std::ostream* os) { *os << "rgb(" << c.r << "," << c.g << "," << c.b << ")"; }
} // namespace orv

namespace orv::test {

inline constexpr Rgb kGrey{100, 100, 100};

struct Scene {
    PixelArrays mp;
    MontageGeometry g;
    FocusContext focus;
    FocusMeasure measure;
    RecordingPrompter prompter;
    MessageList messages; // what the smoothing pass recorded
    std::string map;
    std::string properties;

    // A W x H montage (arrays rounded up to multiples of 4); every picture and the montage grey.
    Scene(int W, int H, int pictures) {
        const int RW = roundUp4(W), RH = roundUp4(H);
        mp.stack.lastColumn = std::int16_t(RW - 1);
        mp.stack.lastRow = std::int16_t(RH - 1);
        mp.stack.count = std::int16_t(pictures);
        for (int n = 0; n < pictures; ++n) {
            mp.stack.pictures.push_back(grey(RW, RH));
            mp.stack.sizes.push_back({W, H});
        }
        mp.montage.lastColumn = std::int16_t(RW - 1);
        mp.montage.lastRow = std::int16_t(RH - 1);
        mp.montage.slot(100) = grey(RW, RH);
        g.W = float(W);
        g.H = float(H);
        focus.method = FocusMethod::LinearColor;
    }

    static std::vector<std::uint8_t> grey(int W, int H) {
        return std::vector<std::uint8_t>(std::size_t(W) * H * 3, 100);
    }

    // picture 1..N, or a montage slot 100..104
    std::uint8_t* cell(int picture, int x, int y) {
        if (picture >= 100) return &mp.montage.slot(picture)[3 * (std::size_t(y) * mp.montage.width() + x)];
        return &mp.stack.pictures[std::size_t(picture - 1)][3 * (std::size_t(y) * mp.stack.width() + x)];
    }
    void set(int picture, int x, int y, Rgb c) {
        std::uint8_t* p = cell(picture, x, y);
        p[0] = std::uint8_t(c.b);
        p[1] = std::uint8_t(c.g);
        p[2] = std::uint8_t(c.r);
    }
    void block(int picture, int x, int y, int side, Rgb c) {
        for (int j = 0; j < side; ++j)
            for (int i = 0; i < side; ++i) set(picture, x + i, y + j, c);
    }
    // A flat block with one white pixel in its middle: on the block's main diagonal, so the focus
    // measure sees detail, but away from its first column and row, so its edges stay flat.
    void detailedBlock(int picture, int x, int y, int side, Rgb c) {
        block(picture, x, y, side, c);
        set(picture, x + side / 2, y + side / 2, Rgb{255, 255, 255});
    }
    Rgb at(int picture, int x, int y) { return colourAt(mp, x, y, picture); }

    // The map of a montage made with `inc` whose every block came from picture 1.
    void plainMap(int inc) {
        const int columns = (int(g.W) + inc - 1) / inc, rows = (int(g.H) + inc - 1) / inc;
        map.clear();
        for (int r = 0; r < rows; ++r) map += std::string(std::size_t(columns), '1') + "\r\n";
        PropertiesInput p;
        p.firstFileName = "/pics/shot01.bmp";
        p.pictureCount = mp.stack.count;
        p.method = 1;
        p.incrementText = std::to_string(inc);
        p.map = map;
        properties = buildPropertiesText(p);
    }

    SmoothInput input(int inc, SmoothingSettings settings = {}) {
        SmoothInput in;
        in.arrays = &mp;
        in.measure = &measure;
        in.focus = &focus;
        in.geometry = &g;
        in.map = &map;
        in.properties = &properties;
        in.messages = &messages;
        in.incrementText = std::to_string(inc);
        in.settings = settings;
        return in;
    }
};

} // namespace orv::test
