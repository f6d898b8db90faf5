// libtiff writes into memory through its client calls; libpng through a write callback. Neither
// prints: their messages become the error's text.
#include "output/deep_writer.h"

#include "base/runtime_error.h"
#include "base/text.h"

#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orv {

namespace {

void requirePicture(const DeepPicture& p, int bits) {
    if (p.empty() || p.width <= 0 || p.height <= 0 || (p.channels != 1 && p.channels != 3) || (bits != 8 && bits != 16))
        throw RuntimeError(5);
}

// One row of samples at `bits`: 16-bit values as they are (native order, libtiff and libpng swap
// them), or their 8-bit view.
std::vector<std::uint8_t> rowBytes(const DeepPicture& p, int y, int bits) {
    const std::size_t n = std::size_t(p.width) * std::size_t(p.channels);
    const std::uint16_t* row = p.row(y);
    if (bits == 16) {
        std::vector<std::uint8_t> out(n * 2);
        std::memcpy(out.data(), row, n * 2);
        return out;
    }
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = eightBitsOf(row[i]);
    return out;
}

// About what the encoded file of `p` takes at most.
std::size_t rawSampleBytes(const DeepPicture& p, int bits) { return encodedPictureBytes(p.width, p.height, p.channels, bits); }

// The file libtiff writes, in memory.
struct MemoryTiff {
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
};

tmsize_t tiffRead(thandle_t h, void* buf, tmsize_t size) {
    auto* m = static_cast<MemoryTiff*>(h);
    const std::size_t n = std::min(std::size_t(size), m->at < m->bytes.size() ? m->bytes.size() - m->at : 0);
    std::memcpy(buf, m->bytes.data() + m->at, n);
    m->at += n;
    return tmsize_t(n);
}
tmsize_t tiffWrite(thandle_t h, void* buf, tmsize_t size) {
    auto* m = static_cast<MemoryTiff*>(h);
    if (m->at + std::size_t(size) > m->bytes.size()) m->bytes.resize(m->at + std::size_t(size));
    std::memcpy(m->bytes.data() + m->at, buf, std::size_t(size));
    m->at += std::size_t(size);
    return size;
}
toff_t tiffSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<MemoryTiff*>(h);
    const std::size_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->bytes.size() : 0;
    m->at = base + std::size_t(off);
    return toff_t(m->at);
}
int tiffClose(thandle_t) { return 0; }
toff_t tiffSize(thandle_t h) { return toff_t(static_cast<MemoryTiff*>(h)->bytes.size()); }
int tiffMap(thandle_t, void**, toff_t*) { return 0; }
void tiffUnmap(thandle_t, void*, toff_t) {}

thread_local std::string* tiffWriteMessage = nullptr;
void keepMessage(const char* module, const char* format, va_list args) {
    keepFirstMessage(tiffWriteMessage, module, format, args);
}
void dropMessage(const char*, const char*, va_list) {}

std::uint16_t compressionTag(TiffCompression c) {
    switch (c) {
    case TiffCompression::Lzw: return COMPRESSION_LZW;
    case TiffCompression::Deflate: return COMPRESSION_ADOBE_DEFLATE;
    case TiffCompression::PackBits: return COMPRESSION_PACKBITS;
    case TiffCompression::None: break;
    }
    return COMPRESSION_NONE;
}

} // namespace

std::vector<std::uint8_t> encodeDeepTiff(const DeepPicture& p, int bits, const DeepTiffLayout& layout,
                                         const WriteProgress& progress) {
    requirePicture(p, bits);
    if (layout.tileSide < 0 || layout.tileSide % 16 != 0) throw RuntimeError(5);
    std::string message;
    tiffWriteMessage = &message;
    const TIFFErrorHandler oldError = TIFFSetErrorHandler(keepMessage);
    const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(dropMessage);
    struct Restore {
        TIFFErrorHandler e, w;
        ~Restore() {
            TIFFSetErrorHandler(e);
            TIFFSetWarningHandler(w);
            tiffWriteMessage = nullptr;
        }
    } restore{oldError, oldWarning};

    MemoryTiff file;
    // Room for the samples as they are, taken at once: a buffer grown by doubling would hold the
    // old and the new copy of most of the file at the end (pages not written are not taken).
    file.bytes.reserve(rawSampleBytes(p, bits));
    TIFF* t = TIFFClientOpen("picture", "w", &file, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap, tiffUnmap);
    if (!t) throw RuntimeError(7, message);
    bool ok = true;
    bool stopped = false;
    // Asked after each band; a stop leaves the loops, and the file libtiff was writing is dropped.
    auto goOn = [&](int rowsDone) {
        stopped = progress && !progress(std::min(rowsDone, p.height), p.height);
        return !stopped;
    };
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(p.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(p.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, std::uint16_t(bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(p.channels));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, p.channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compressionTag(layout.compression));
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 96.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 96.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (layout.compression == TiffCompression::Lzw || layout.compression == TiffCompression::Deflate)
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    const std::size_t sampleBytes = std::size_t(bits / 8);
    const std::size_t pixelBytes = sampleBytes * std::size_t(p.channels);
    if (layout.tileSide > 0) {
        const int side = layout.tileSide;
        TIFFSetField(t, TIFFTAG_TILEWIDTH, std::uint32_t(side));
        TIFFSetField(t, TIFFTAG_TILELENGTH, std::uint32_t(side));
        std::vector<std::uint8_t> tile(std::size_t(side) * std::size_t(side) * pixelBytes);
        for (int y0 = 0; ok && !stopped && y0 < p.height; y0 += side) {
            for (int x0 = 0; ok && x0 < p.width; x0 += side) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int dy = 0; dy < side && y0 + dy < p.height; ++dy) {
                    const std::vector<std::uint8_t> row = rowBytes(p, y0 + dy, bits);
                    const int w = std::min(side, p.width - x0);
                    std::memcpy(&tile[std::size_t(dy) * std::size_t(side) * pixelBytes], &row[std::size_t(x0) * pixelBytes],
                                std::size_t(w) * pixelBytes);
                }
                ok = TIFFWriteTile(t, tile.data(), std::uint32_t(x0), std::uint32_t(y0), 0, 0) >= 0;
            }
            if (ok) goOn(y0 + side);
        }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        for (int y = 0; ok && !stopped && y < p.height; ++y) {
            std::vector<std::uint8_t> row = rowBytes(p, y, bits);
            ok = TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0) >= 0;
            if (ok) goOn(y + 1);
        }
    }
    if (!stopped) ok = TIFFWriteDirectory(t) && ok;
    TIFFClose(t);
    if (stopped) throw RuntimeError(kUserInterrupt);
    if (!ok) throw RuntimeError(7, message);
    return std::move(file.bytes);
}

namespace {

struct PngWriteState {
    std::vector<std::uint8_t> bytes;
    std::string message;
};

void pngWrite(png_structp png, png_bytep data, png_size_t size) {
    auto* s = static_cast<PngWriteState*>(png_get_io_ptr(png));
    s->bytes.insert(s->bytes.end(), data, data + size);
}
void pngFlush(png_structp) {}
void pngFail(png_structp png, png_const_charp message) {
    auto* s = static_cast<PngWriteState*>(png_get_error_ptr(png));
    if (s->message.empty()) s->message = message;
    png_longjmp(png, 1);
}
void pngQuiet(png_structp, png_const_charp) {}

} // namespace

std::vector<std::uint8_t> encodeDeepPng(const DeepPicture& p, int bits, const WriteProgress& progress) {
    requirePicture(p, bits);
    PngWriteState state;
    state.bytes.reserve(rawSampleBytes(p, bits));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngFail, pngQuiet);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    // The row buffer lives outside the error jump: a jump out of libpng skips destructors.
    std::vector<std::uint8_t> row;
    volatile bool ok = false;
    volatile bool stopped = false;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_set_write_fn(png, &state, pngWrite, pngFlush);
        png_set_IHDR(png, info, png_uint_32(p.width), png_uint_32(p.height), bits,
                     p.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        if (bits == 16) png_set_swap(png);
        for (int y = 0; y < p.height; ++y) {
            row = rowBytes(p, y, bits);
            png_write_row(png, row.data());
            // A stop leaves libpng's part unfinished; its state is destroyed below all the same.
            if (progress && !progress(y + 1, p.height)) {
                stopped = true;
                break;
            }
        }
        if (!stopped) {
            png_write_end(png, nullptr);
            ok = true;
        }
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (stopped) throw RuntimeError(kUserInterrupt);
    if (!ok) throw RuntimeError(7, state.message);
    return std::move(state.bytes);
}

} // namespace orv
