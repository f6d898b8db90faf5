// A small drawing-context layer standing in for the platform's: handles for memory contexts and
// bitmaps, selecting a bitmap into a context, and block copies with raster operations.
#pragma once

#include "vantler_global.h"

#include <QImage>

#include <cstdint>
#include <functional>

namespace vantler::gdi {

using Handle = std::uintptr_t;

// Raster operation codes; only those that do not involve a brush pattern can be carried out.
constexpr std::uint32_t SRCCOPY = 0x00CC0020;
constexpr std::uint32_t SRCPAINT = 0x00EE0086;
constexpr std::uint32_t SRCAND = 0x008800C6;
constexpr std::uint32_t SRCINVERT = 0x00660046;
constexpr std::uint32_t SRCERASE = 0x00440328;
constexpr std::uint32_t NOTSRCCOPY = 0x00330008;
constexpr std::uint32_t NOTSRCERASE = 0x001100A6;
constexpr std::uint32_t MERGEPAINT = 0x00BB0226;
constexpr std::uint32_t DSTINVERT = 0x00550009;
constexpr std::uint32_t BLACKNESS = 0x00000042;
constexpr std::uint32_t WHITENESS = 0x00FF0062;
constexpr std::uint32_t PATCOPY = 0x00F00021;

constexpr std::uint32_t DIB_RGB_COLORS = 0;
constexpr std::uint32_t BI_RGB = 0;

#pragma pack(push, 2)
struct BitmapInfoHeader {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40, "the header has the platform's 40-byte layout");

struct BitmapRecord {
    std::int32_t bmType = 0;
    std::int32_t bmWidth = 0;
    std::int32_t bmHeight = 0;
    std::int32_t bmWidthBytes = 0;
    std::uint16_t bmPlanes = 1;
    std::uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr;
};

// True when the operation combines only source and destination (no brush pattern).
VANTLER_EXPORT bool ropSupported(std::uint32_t rop);
// One byte of a ternary raster operation (pattern-free) applied to source and destination bytes.
VANTLER_EXPORT std::uint8_t applyRop(std::uint32_t rop, std::uint8_t source, std::uint8_t destination);
// One byte of a binary pen mode 1..16 (13 = copy pen) applied to pen and destination bytes.
VANTLER_EXPORT std::uint8_t applyPenMode(int mode, std::uint8_t pen, std::uint8_t destination);

// The screen's context (always present here; it owns no bitmap to read from).
VANTLER_EXPORT Handle getScreenDC();
VANTLER_EXPORT void releaseDC(Handle dc);

// A memory context compatible with `dc` (0 = the screen); it starts with a 1 x 1 stock bitmap.
VANTLER_EXPORT Handle createCompatibleDC(Handle dc);
VANTLER_EXPORT bool deleteDC(Handle dc);

// A 24-bit bottom-up bitmap whose rows the caller addresses through `bits`; 0 on failure.
VANTLER_EXPORT Handle createDIBSection(Handle dc, const BitmapInfoHeader& header, std::uint32_t usage,
                                       std::uint8_t** bits, Handle section, std::uint32_t offset);
// A device-dependent bitmap of the given size, black.
VANTLER_EXPORT Handle createCompatibleBitmap(Handle dc, int width, int height);
// A bitmap holding a copy of a picture.
VANTLER_EXPORT Handle createBitmapFromImage(const QImage& image);
// A copy of a bitmap's pixels; null for an unknown handle or when memory for the copy runs out.
VANTLER_EXPORT QImage bitmapImage(Handle bitmap);

// Selects a bitmap into a memory context and returns the one selected before (0 on failure).
VANTLER_EXPORT Handle selectObject(Handle dc, Handle bitmap);
// Deletes a bitmap; refused (false) while it is selected into a context.
VANTLER_EXPORT bool deleteObject(Handle bitmap);
VANTLER_EXPORT bool getObject(Handle bitmap, BitmapRecord& record);

// A context that draws into a surface someone else owns (a picture box's image). `surface`
// returns the current surface; `changed` is told after a copy into it.
VANTLER_EXPORT Handle createSurfaceDC(std::function<QImage*()> surface, std::function<void()> changed);

// Copies a width x height block from (sx, sy) of `src` to (x, y) of `dst`, both counted from
// the top, combining with the raster operation. False for unknown handles or operations.
VANTLER_EXPORT bool bitBlt(Handle dst, int x, int y, int width, int height, Handle src, int sx, int sy,
                           std::uint32_t rop);

// Number of live contexts and bitmaps (stock objects excluded): a leak shows here.
VANTLER_EXPORT int liveObjectCount();

}  // namespace vantler::gdi
