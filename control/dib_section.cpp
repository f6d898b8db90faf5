// The DIB section object: creation and release of its bitmap and context, block copies through
// the drawing-context layer, and direct pixel work over the bottom-up rows.
#include "dib_section.h"

#include "control_error.h"
#include "host_services.h"

#include <chrono>
#include <cmath>
#include <random>

namespace vantler {

cDIBSection::~cDIBSection() { ClearUp(); }

bool cDIBSection::Create(std::int32_t width, std::int32_t height) {
    ClearUp();
    dc_ = gdi::createCompatibleDC(0);
    if (!dc_) return false;
    try {
        if (CreateDIB(dc_, width, height, dib_)) {
            previousBitmap_ = gdi::selectObject(dc_, dib_);
            return true;
        }
    } catch (...) {
        gdi::deleteDC(dc_);
        dc_ = 0;
        throw;
    }
    gdi::deleteDC(dc_);
    dc_ = 0;
    return false;
}

bool cDIBSection::CreateDIB(gdi::Handle dc, std::int32_t width, std::int32_t height, gdi::Handle& hDib) {
    header_ = {};
    header_.biSize = sizeof(gdi::BitmapInfoHeader);
    header_.biWidth = width;
    header_.biHeight = height;
    header_.biPlanes = 1;
    header_.biBitCount = 24;
    header_.biCompression = gdi::BI_RGB;
    header_.biSizeImage = std::uint32_t(checkedMul(height, BytesPerScanLine()));
    hDib = gdi::createDIBSection(dc, header_, gdi::DIB_RGB_COLORS, &bits_, 0, 0);
    return hDib != 0;
}

void cDIBSection::CreateFromPicture(gdi::Handle pictureBitmap) {
    gdi::BitmapRecord record;
    if (!gdi::getObject(pictureBitmap, record)) return;
    if (!Create(record.bmWidth, record.bmHeight)) return;
    const gdi::Handle screen = gdi::getScreenDC();
    const gdi::Handle temp = gdi::createCompatibleDC(screen);
    if (temp) {
        const gdi::Handle previous = gdi::selectObject(temp, pictureBitmap);
        if (previous) {
            LoadPictureBlt(temp, 0, 0, -1, -1, gdi::SRCCOPY);
            gdi::selectObject(temp, previous);
        }
        gdi::deleteDC(temp);
    }
    gdi::releaseDC(screen);
}

void cDIBSection::CreateFromPicture(const QImage& picture) {
    const gdi::Handle bitmap = gdi::createBitmapFromImage(picture);
    if (!bitmap) return;
    CreateFromPicture(bitmap);
    gdi::deleteObject(bitmap);
}

void cDIBSection::LoadPictureBlt(gdi::Handle srcDc, std::int32_t srcLeft, std::int32_t srcTop,
                                 std::int32_t srcWidth, std::int32_t srcHeight, std::uint32_t rop) {
    if (!gdi::ropSupported(rop)) throw VantlerError(errInvalidProcedureCall);
    if (srcWidth < 0) srcWidth = Width();
    if (srcHeight < 0) srcHeight = Height();
    gdi::bitBlt(dc_, 0, 0, srcWidth, srcHeight, srcDc, srcLeft, srcTop, rop);
}

void cDIBSection::PaintPicture(gdi::Handle dstDc, std::int32_t dstLeft, std::int32_t dstTop, std::int32_t dstWidth,
                               std::int32_t dstHeight, std::int32_t srcLeft, std::int32_t srcTop, std::uint32_t rop) {
    if (!gdi::ropSupported(rop)) throw VantlerError(errInvalidProcedureCall);
    if (dstWidth < 0) dstWidth = Width();
    if (dstHeight < 0) dstHeight = Height();
    gdi::bitBlt(dstDc, dstLeft, dstTop, dstWidth, dstHeight, dc_, srcLeft, srcTop, rop);
}

std::int32_t cDIBSection::BytesPerScanLine() const {
    return checkedAdd(checkedMul(3, header_.biWidth), 3) & ~std::int32_t(3);
}

std::uint8_t& cDIBSection::Byte(std::int32_t row, std::int32_t offset) {
    if (!bits_ || row < 0 || row >= Height() || offset < 0 || offset >= BytesPerScanLine())
        throw VantlerError(errSubscriptOutOfRange);
    return bits_[std::size_t(row) * std::size_t(BytesPerScanLine()) + std::size_t(offset)];
}

std::uint8_t cDIBSection::Byte(std::int32_t row, std::int32_t offset) const {
    return const_cast<cDIBSection*>(this)->Byte(row, offset);
}

void cDIBSection::RandomiseBits(bool grey) {
    std::mt19937 generator(std::uint32_t(std::chrono::system_clock::now().time_since_epoch().count()));
    std::uniform_real_distribution<float> random(0.0f, 1.0f);
    auto level = [&] { return std::uint8_t(std::nearbyint(random(generator) * 255.0f)); };
    const std::int32_t last = checkedMul(3, checkedSub(Width(), 1));
    if (grey) {
        for (std::int32_t row = 0; row < Height(); ++row) {
            for (std::int32_t x = 0; x <= last; x += 3) {
                const std::uint8_t v = level();
                Byte(row, x) = v;
                Byte(row, x + 1) = v;
                Byte(row, x + 2) = v;
            }
        }
    } else {
        for (std::int32_t x = 0; x <= last; x += 3) {
            for (std::int32_t row = 0; row < Height(); ++row) {
                Byte(row, x) = 0;
                Byte(row, x + 1) = level();
                Byte(row, x + 2) = level();
            }
        }
    }
}

std::unique_ptr<cDIBSection> cDIBSection::Resample(std::int32_t newHeight, std::int32_t newWidth) const {
    auto result = std::make_unique<cDIBSection>();
    if (!result->Create(newWidth, newHeight)) return nullptr;
    if (newWidth == Width() && newHeight == Height())
        result->LoadPictureBlt(dc_, 0, 0, -1, -1, gdi::SRCCOPY);
    else
        ResampleDib(*result);
    return result;
}

void cDIBSection::ResampleDib(cDIBSection& target) const {
    const std::int32_t tw = target.Width();
    const std::int32_t th = target.Height();
    // Single-precision scales: the highest source index read is at most the last pixel.
    const float xScale = float(checkedSub(Width(), 1)) / float(tw);
    const float yScale = float(checkedSub(Height(), 1)) / float(th);
    for (std::int32_t ty = 0; ty < th; ++ty) {
        const float sy = yScale * float(ty);
        const float fsy = std::floor(sy);
        const std::int32_t iy = std::int32_t(fsy);
        const float fy = sy - fsy;
        for (std::int32_t tx = 0; tx < tw; ++tx) {
            const float sx = xScale * float(tx);
            const float fsx = std::floor(sx);
            const std::int32_t ix = std::int32_t(fsx);
            const float fx = sx - fsx;
            const std::int32_t left = checkedMul(3, ix);
            for (std::int32_t c = 0; c < 3; ++c) {
                // Vertical pass for the left and the right pixel, each rounded to an integer.
                const float vLeft = std::nearbyint((1.0f - fy) * float(Byte(iy, left + c)) +
                                                   fy * float(Byte(iy + 1, left + c)));
                const float vRight = std::nearbyint((1.0f - fy) * float(Byte(iy, left + 3 + c)) +
                                                    fy * float(Byte(iy + 1, left + 3 + c)));
                float out = std::nearbyint((1.0f - fx) * vLeft + fx * vRight);
                if (out < 0.0f) out = 0.0f;
                if (out > 255.0f) out = 255.0f;
                target.Byte(ty, checkedAdd(checkedMul(3, tx), c)) = std::uint8_t(out);
            }
        }
    }
}

bool cDIBSection::CopyToClipboard(bool asDib) {
    const gdi::Handle screen = gdi::getScreenDC();
    if (!screen) return false;
    const gdi::Handle memory = gdi::createCompatibleDC(screen);
    if (!memory) {
        gdi::releaseDC(screen);
        return false;
    }
    bool result = false;
    if (asDib) {
        hostServices().message("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!");
    } else if (dib_) {
        // An emptied object keeps its size but has no pixels: copying it would put a black
        // picture in place of whatever the clipboard held.
        const gdi::Handle bitmap = gdi::createCompatibleBitmap(screen, Width(), Height());
        if (bitmap) {
            const gdi::Handle previous = gdi::selectObject(memory, bitmap);
            PaintPicture(memory, 0, 0, -1, -1, 0, 0, gdi::SRCCOPY);
            gdi::selectObject(memory, previous);
            // The clipboard keeps its own copy of the pixels, so the bitmap is freed here.
            result = hostServices().setClipboardBitmap(gdi::bitmapImage(bitmap));
            gdi::deleteObject(bitmap);
        }
    }
    gdi::deleteDC(memory);
    gdi::releaseDC(screen);
    return result;
}

void cDIBSection::ClearUp() {
    if (dc_) {
        if (dib_) {
            gdi::selectObject(dc_, previousBitmap_);
            gdi::deleteObject(dib_);
        }
        gdi::deleteDC(dc_);
    }
    dc_ = 0;
    dib_ = 0;
    previousBitmap_ = 0;
    bits_ = nullptr;
}

QImage cDIBSection::toImage() const { return dib_ ? gdi::bitmapImage(dib_) : QImage(); }

}  // namespace vantler
