// The layout record: the scale factors that fit windows designed for a 1024 x 768 screen to the
// real one, the window metrics used to place windows, and the geometry rules built on them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orv {

struct LayoutRecord {
    double scaleX = 1; // horizontal factor: left, width and font size
    double scaleY = 1; // vertical factor: top and height
    std::int16_t twipsPerPixel = 15;  // horizontal
    std::int16_t twipsPerPixelY = 15; // vertical
    std::int16_t captionHeight = 0;
    std::int16_t dialogFrameHeight = 0;
    std::int16_t sizingFrameHeight = 0;
    std::int16_t menuBarHeight = 0;
};

// round(1440 / logical dots per inch): 96 dpi gives 15.
std::int16_t twipsPerPixelFor(double logicalDpi);

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// The scale factors for a screen of `screen` pixels, or of `resolution` when the command line
// asked for one with a positive size. A screen within 20 pixels of 1024 x 768 keeps factor 1 at
// 15 twips per pixel.
void computeScreenScale(LayoutRecord& layout, ScreenSize screen,
                        std::optional<ScreenSize> resolution = std::nullopt);

struct Geometry {
    double left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Geometry&) const = default;
};

// Where one control of a window goes: moved by the factors; the increment box grows by the
// font's actual growth `fontRatio`; "label1" and "labelsmooth" keep their size (names case-blind).
Geometry scaleControlGeometry(const std::string& name, const Geometry& g, double fontRatio,
                              const LayoutRecord& layout);

// A window's own position and size, all scaled.
Geometry scaleWindowGeometry(const Geometry& g, const LayoutRecord& layout);

struct Placement {
    int left = 0, top = 0;          // outer top-left corner
    int outerWidth = 0, outerHeight = 0;
    bool operator==(const Placement&) const = default;
};

// Source window k (from 1) after a Load: 20 pixels right of and below window k - 1, window 1 at
// the left screen edge; `fileBoxBottom` is the bottom of the main window's file-name box in
// screen pixels measured the way the window was designed (client y, the main window at the top).
Placement cascadePlacement(int k, int fileBoxBottom, int pictureWidth, int pictureHeight,
                           const LayoutRecord& layout);

} // namespace orv
