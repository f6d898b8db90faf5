// cDIBSection: one 24-bit bottom-up bitmap (rows padded to 4 bytes) selected in its own memory
// context, with block copies, bilinear resampling, random test fills and clipboard copies.
#pragma once

#include "gdi.h"
#include "vantler_global.h"

#include <QImage>

#include <cstdint>
#include <memory>

namespace vantler {

class VANTLER_EXPORT cDIBSection {
public:
    cDIBSection() = default;
    ~cDIBSection();  // frees the bitmap and its context
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // Replaces whatever the object held by a new width x height bitmap (all zero bytes).
    bool Create(std::int32_t width, std::int32_t height);
    bool CreateDIB(gdi::Handle dc, std::int32_t width, std::int32_t height, gdi::Handle& hDib);
    // Takes the size and pixels of a picture's bitmap; the object stays empty when that fails.
    void CreateFromPicture(gdi::Handle pictureBitmap);
    void CreateFromPicture(const QImage& picture);

    // Block copy from another context into this bitmap at (0, 0); a negative width or height
    // stands for this bitmap's. Error 5 for a raster operation that needs a brush pattern.
    void LoadPictureBlt(gdi::Handle srcDc, std::int32_t srcLeft = 0, std::int32_t srcTop = 0,
                        std::int32_t srcWidth = -1, std::int32_t srcHeight = -1,
                        std::uint32_t rop = gdi::SRCCOPY);
    // Block copy from this bitmap into another context.
    void PaintPicture(gdi::Handle dstDc, std::int32_t dstLeft = 0, std::int32_t dstTop = 0,
                      std::int32_t dstWidth = -1, std::int32_t dstHeight = -1, std::int32_t srcLeft = 0,
                      std::int32_t srcTop = 0, std::uint32_t rop = gdi::SRCCOPY);

    // Row length in bytes: 3 x width rounded up to a multiple of 4; error 6 on overflow.
    std::int32_t BytesPerScanLine() const;
    std::int32_t Width() const { return header_.biWidth; }
    std::int32_t Height() const { return header_.biHeight; }
    gdi::Handle hdc() const { return dc_; }
    gdi::Handle hDib() const { return dib_; }
    std::uint8_t* DIBSectionBitsPtr() const { return bits_; }
    const gdi::BitmapInfoHeader& header() const { return header_; }

    // Fills the bitmap with random grey pixels, or random green and red over blue 0.
    void RandomiseBits(bool grey);
    // A new bitmap of the given size (height first): a copy when the size is the same, otherwise
    // bilinear resampling. Null when the new bitmap cannot be made.
    std::unique_ptr<cDIBSection> Resample(std::int32_t newHeight, std::int32_t newWidth) const;
    // Bilinear resampling into `target`, which already has its size. The source must be at
    // least 2 x 2 (error 9 otherwise: the neighbour pixel does not exist).
    void ResampleDib(cDIBSection& target) const;
    // Copies the bitmap to the clipboard as a bitmap; as a DIB only shows a message (false). An
    // object without a bitmap copies nothing (false) and leaves the clipboard as it was.
    bool CopyToClipboard(bool asDib);
    // Frees the bitmap and context; Width and Height keep their values.
    void ClearUp();

    // The byte at `offset` of storage row `row` (0 = bottom); error 9 outside the bitmap.
    std::uint8_t& Byte(std::int32_t row, std::int32_t offset);
    std::uint8_t Byte(std::int32_t row, std::int32_t offset) const;

    // The bitmap as a top-down Qt image (null when empty).
    QImage toImage() const;

private:
    gdi::Handle dib_ = 0;
    gdi::Handle previousBitmap_ = 0;
    gdi::Handle dc_ = 0;
    std::uint8_t* bits_ = nullptr;
    gdi::BitmapInfoHeader header_;
};

}  // namespace vantler
