// The montage methods, in the order of the "Montage Method" menu: five block methods, each a way
// of measuring a block's focus, then Pyramid Focus; and per-picture offsets.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace orv {

enum class FocusMethod : int { ColorSpace3D = 0, LinearColor = 1, Red = 2, Green = 3, Blue = 4, Pyramid = 5, None = -1 };

inline constexpr int kBlockMethods = 5; // methods 0 to 4 take whole blocks; the comparisons compare them
inline constexpr int kMethodCount = 6;

// Every method once, in menu order: what the menu shows, the menu entry's object name and the
// command line's name for it. A new method is a row here (and its computation).
struct MethodRow {
    FocusMethod method;
    const char* caption;
    const char* entryName;
    const char* cliName;
};
inline constexpr std::array<MethodRow, kMethodCount> kMethods = {{
    {FocusMethod::ColorSpace3D, "3D Color Space Focus", "mnusimpleCol_0", "3d"},
    {FocusMethod::LinearColor, "Linear Color Focus", "mnusimpleCol_1", "linear"},
    {FocusMethod::Red, "Preference Red Focus", "mnusimpleCol_2", "red"},
    {FocusMethod::Green, "Preference Green Focus", "mnusimpleCol_3", "green"},
    {FocusMethod::Blue, "Preference Blue Focus", "mnusimpleCol_4", "blue"},
    {FocusMethod::Pyramid, "Pyramid Focus", "mnuPyramid", "pyramid"},
}};

inline std::string methodCaption(int method) {
    return method >= 0 && method < kMethodCount ? kMethods[std::size_t(method)].caption : "";
}

// Centre of a picture's offset target in picture pixels, y counted from the top.
struct ImageOffset {
    std::int16_t x = 0;
    std::int16_t y = 0;
    bool operator==(const ImageOffset&) const = default;
};

// Pictures 1 to 30 at indexes 1 to 30; index 0 is unused.
using OffsetTable = std::array<ImageOffset, 31>;

// Ticks of the ten "Ignore Image" entries: index i stands for picture i + 1.
using IgnoreTicks = std::array<bool, 10>;

inline bool isIgnored(const IgnoreTicks& ticks, int picture) {
    return picture >= 1 && picture <= 10 && ticks[std::size_t(picture - 1)];
}

inline constexpr int kMaxPictures = 30;

} // namespace orv
