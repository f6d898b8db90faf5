// libtiff and libpng behind one reader; their messages are kept for the reason, never printed.
#include "input/deep_reader.h"

#include "base/runtime_error.h"
#include "base/text.h"
#include "engine/picture_surface.h"
#include "input/memory_budget.h"
#include "input/picture_orientation.h"

#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>

namespace orv {

namespace {

thread_local std::string* tiffMessage = nullptr;

void keepTiffMessage(const char* module, const char* format, va_list args) {
    keepFirstMessage(tiffMessage, module, format, args);
}
void ignoreTiffWarning(const char*, const char*, va_list) {}

// libtiff's handlers for one read: errors kept, warnings dropped.
class TiffMessages {
public:
    explicit TiffMessages(std::string& into) {
        tiffMessage = &into;
        oldError_ = TIFFSetErrorHandler(keepTiffMessage);
        oldWarning_ = TIFFSetWarningHandler(ignoreTiffWarning);
    }
    ~TiffMessages() {
        TIFFSetErrorHandler(oldError_);
        TIFFSetWarningHandler(oldWarning_);
        tiffMessage = nullptr;
    }

private:
    TIFFErrorHandler oldError_;
    TIFFErrorHandler oldWarning_;
};

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

// Picture samples out of one decoded strip or tile: `bits` 8, 16 or 32 (integers) or 32 or 64
// (floating point), `spp` samples per pixel in the data (`plane` the one sample it holds when the
// planes are separate, else -1).
struct SampleSource {
    int bits;
    int spp;
    int plane;
    bool minIsWhite;
    int colours; // the samples before an alpha sample (which minIsWhite does not turn over)
    bool signedSamples = false; // two's complement: the lowest value -2^(bits - 1) is read as 0
    bool floating = false;      // IEEE floating point: `floatWhite` and above are white, 0 and below black
    double floatWhite = 1.0;
    double* largest = nullptr; // a measuring pass: the largest finite sample is kept here, nothing stored
};

// The sample at index i of a row of `bits`-bit samples, as its bits.
std::uint64_t sampleBits(const std::uint8_t* row, std::size_t i, int bits) {
    switch (bits) {
    case 8:
        return row[i];
    case 16: {
        std::uint16_t v;
        std::memcpy(&v, row + 2 * i, 2);
        return v;
    }
    case 32: {
        std::uint32_t v;
        std::memcpy(&v, row + 4 * i, 4);
        return v;
    }
    default: {
        std::uint64_t v;
        std::memcpy(&v, row + 8 * i, 8);
        return v;
    }
    }
}

void storeSample(DeepPicture& out, int x, int y, int c, std::uint64_t v, const SampleSource& s) {
    std::uint16_t value;
    if (s.floating) {
        const double f = s.bits == 32 ? double(std::bit_cast<float>(std::uint32_t(v))) : std::bit_cast<double>(v);
        if (s.largest) {
            if (std::isfinite(f) && f > *s.largest) *s.largest = f;
            return;
        }
        // Not a number reads as black, as every value at or below 0.
        value = !(f > 0) ? 0 : f >= s.floatWhite ? 65535 : std::uint16_t(std::nearbyint(f / s.floatWhite * 65535.0));
    } else if (s.bits == 32) {
        // 32-bit integers keep their top 16 bits' worth: v * 65535 / (2^32 - 1), rounded.
        if (s.signedSamples) v ^= 0x80000000u;
        value = std::uint16_t((v + 32768) / 65537);
    } else {
        // A signed sample is moved up by half the range (its sign bit turned over), as other readers
        // show such pictures: the lowest value black, 0 the middle grey.
        if (s.signedSamples) v ^= s.bits == 16 ? 0x8000u : 0x80u;
        value = s.bits == 16 ? std::uint16_t(v) : std::uint16_t(v * 257);
    }
    if (s.minIsWhite && c < s.colours) value = std::uint16_t(65535 - value);
    out.row(y)[std::size_t(x) * std::size_t(out.channels) + std::size_t(c)] = value;
}

// Copies a w x h block of decoded data at (x0, y0) into the picture.
void copyBlock(DeepPicture& out, const std::uint8_t* data, std::size_t rowBytes, int x0, int y0, int w, int h,
               const SampleSource& s) {
    // The common case, 16-bit samples interleaved as the picture holds them: whole rows copied.
    if (s.plane < 0 && s.bits == 16 && !s.floating && s.spp == out.channels && !s.minIsWhite && !s.signedSamples &&
        x0 < out.width) {
        const std::size_t bytes = std::size_t(std::min(w, out.width - x0)) * std::size_t(out.channels) * 2;
        for (int dy = 0; dy < h && y0 + dy < out.height; ++dy)
            std::memcpy(out.row(y0 + dy) + std::size_t(x0) * std::size_t(out.channels), data + std::size_t(dy) * rowBytes,
                        bytes);
        return;
    }
    for (int dy = 0; dy < h && y0 + dy < out.height; ++dy) {
        const std::uint8_t* row = data + std::size_t(dy) * rowBytes;
        for (int dx = 0; dx < w && x0 + dx < out.width; ++dx) {
            if (s.plane >= 0) {
                if (s.plane >= out.channels) continue;
                storeSample(out, x0 + dx, y0 + dy, s.plane, sampleBits(row, std::size_t(dx), s.bits), s);
                continue;
            }
            for (int c = 0; c < out.channels; ++c) {
                const std::size_t i = std::size_t(dx) * std::size_t(s.spp) + std::size_t(c);
                storeSample(out, x0 + dx, y0 + dy, c, sampleBits(row, i, s.bits), s);
            }
        }
    }
}

// The memory that `samples` 16-bit samples take beyond what `picture` holds already: none when
// its buffer is large enough to be read into, else all of them (the buffer grows by a new one).
constexpr const char* kSideTooLong = "a side is longer than the 32764 pixels a picture may have";

std::uint64_t newSampleBytes(const DeepPicture& picture, std::uint64_t samples) {
    return picture.samples.capacity() >= samples ? 0 : samples * 2;
}

// The colours of a picture whose last channel is an associated alpha, divided by it (none where
// it is 0), and the alpha channel taken away. An 8-bit picture's colours stay 8-bit values (each
// v * 257), as its 8-bit reading gives them.
void dropAssociatedAlpha(DeepPicture& p) {
    const int colours = p.channels - 1;
    const std::size_t pixels = std::size_t(p.width) * std::size_t(p.height);
    const std::uint32_t white = p.bitsPerSample == 8 ? 255 : 65535;
    const std::uint32_t step = 65535 / white;
    std::uint16_t* to = p.samples.data();
    const std::uint16_t* from = p.samples.data();
    for (std::size_t i = 0; i < pixels; ++i, from += p.channels) {
        const std::uint32_t a = from[colours] / step;
        for (int c = 0; c < colours; ++c)
            *to++ = a == 0 ? 0
                           : std::uint16_t(step * std::min<std::uint32_t>(white, (from[c] / step * white + a / 2) / a));
    }
    p.channels = colours;
    p.samples.resize(pixels * std::size_t(colours));
}

// Whether the current directory holds a reduced-resolution picture (a thumbnail or a preview) or a
// transparency mask rather than the picture itself.
bool reducedPicture(TIFF* t) {
    std::uint32_t kind = 0;
    return TIFFGetField(t, TIFFTAG_SUBFILETYPE, &kind) && (kind & (FILETYPE_REDUCEDIMAGE | FILETYPE_MASK)) != 0;
}

// The directories looked at for the full picture: a damaged file's chain cannot keep the reader busy.
constexpr int kMostDirectories = 64;

// A TIFF opened at the directory that holds its full-resolution picture: the first one, unless
// that is a thumbnail (a scanner's or a microscope's, or a camera's with the picture in a
// sub-directory); then the first full-resolution picture among its sub-directories, else among
// the directories after it; the first directory when there is none. `first` tells which it is.
// The file is read, not mapped ("m"): mapped, every page of it the rows were read from stays in
// the process until it is closed, the whole file beside the picture read from it (18.9 MB for a
// 2048x1536 16-bit picture, twice while the next picture is read ahead); read, only a strip.
std::unique_ptr<TIFF, TiffCloser> openPictureDirectory(const std::string& path, bool* first = nullptr) {
    if (first) *first = true;
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "rm"));
    if (!tif || !reducedPicture(tif.get())) return tif;
    std::uint16_t count = 0;
    std::uint64_t* offsets = nullptr;
    std::vector<std::uint64_t> subDirectories;
    if (TIFFGetField(tif.get(), TIFFTAG_SUBIFD, &count, &offsets) && offsets)
        subDirectories.assign(offsets, offsets + std::min<int>(count, kMostDirectories));
    if (first) *first = false;
    for (const std::uint64_t at : subDirectories)
        if (TIFFSetSubDirectory(tif.get(), at) && !reducedPicture(tif.get())) return tif;
    // Reopened rather than moved back to the first directory: libtiff's walk back from a
    // sub-directory is not to be relied on.
    tif.reset(TIFFOpen(path.c_str(), "rm"));
    for (int n = 1; tif && n < kMostDirectories && TIFFReadDirectory(tif.get()); ++n)
        if (!reducedPicture(tif.get())) return tif;
    if (first) *first = true;
    tif.reset(TIFFOpen(path.c_str(), "rm"));
    return tif;
}

// A picture of a layout not read sample by sample (a palette, 1 to 4 bits, YCbCr, CMYK, JPEG-coded
// ...) as libtiff's RGBA reader decodes it: 8 bits of red, green and blue, the alpha dropped.
DecodeStatus readAsRgba(TIFF* t, std::uint32_t width, std::uint32_t height, DeepPicture& out, std::string& why) {
    char refusal[1024] = {};
    if (!TIFFRGBAImageOK(t, refusal)) {
        why = refusal[0] ? refusal : "libtiff cannot decode the picture's layout";
        return DecodeStatus::Invalid;
    }
    const std::uint64_t pixels = std::uint64_t(width) * height;
    requireMemory(newSampleBytes(out, pixels * 3) + pixels * 4);
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(pixels));
    // The rows in the order the file stores them, as every other route reads them (Qt's reader and
    // this one sample by sample): libtiff's RGBA reader would otherwise flip them by the file's
    // own orientation tag, and only flip them where a tag of 5 to 8 turns the picture a quarter round.
    std::uint16_t stored = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &stored);
    if (stored < ORIENTATION_TOPLEFT || stored > ORIENTATION_LEFTBOT) stored = ORIENTATION_TOPLEFT;
    if (!TIFFReadRGBAImageOriented(t, width, height, raster.data(), stored, 0)) {
        if (why.empty()) why = "the pixel data cannot be read (the file is damaged or cut short)";
        return DecodeStatus::Invalid;
    }
    out.reshape(int(width), int(height), 3, 8);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* from = raster.data() + std::size_t(y) * width;
        std::uint16_t* to = out.row(int(y));
        for (std::uint32_t x = 0; x < width; ++x, to += 3) {
            to[0] = std::uint16_t(TIFFGetR(from[x]) * 257);
            to[1] = std::uint16_t(TIFFGetG(from[x]) * 257);
            to[2] = std::uint16_t(TIFFGetB(from[x]) * 257);
        }
    }
    return DecodeStatus::Ok;
}

DecodeStatus readTiff(const std::string& path, DeepPicture& out, std::string& why) {
    TiffMessages messages(why);
    bool firstDirectory = true;
    std::unique_ptr<TIFF, TiffCloser> tif = openPictureDirectory(path, &firstDirectory);
    if (!tif) {
        if (why.empty()) why = "not a TIFF file libtiff can open";
        return DecodeStatus::Invalid;
    }
    TIFF* t = tif.get();
    // libtiff does not always say why a strip or tile past the end of the file cannot be read:
    // the file was cut short.
    auto unreadable = [&](const char* what) {
        if (why.empty()) why = std::string(what) + " of pixel data cannot be read (the file is damaged or cut short)";
        return DecodeStatus::Invalid;
    };
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, spp = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric)) photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (width == 0 || height == 0 || width > 0x7fffffff / 3 || height > 0x7fffffff) {
        why = "the picture has no size";
        return DecodeStatus::Invalid;
    }
    // A side no series picture may have is refused before any of it is read: a header of a few
    // bytes may claim one and have the reading spend its time on tiles or rows that are not there.
    if (width > std::uint32_t(kMaxPictureSide) || height > std::uint32_t(kMaxPictureSide)) {
        why = kSideTooLong;
        return DecodeStatus::Invalid;
    }
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const bool integer = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_INT;
    const bool floating = format == SAMPLEFORMAT_IEEEFP;
    if (!((integer && (bits == 8 || bits == 16 || bits == 32)) || (floating && (bits == 32 || bits == 64))) ||
        !(grey || photometric == PHOTOMETRIC_RGB) ||
        (grey && spp < 1) || (!grey && spp < 3)) {
        // The picture behind a thumbnail is out of Qt's reach: any layout libtiff decodes is read.
        if (!firstDirectory) return readAsRgba(t, width, height, out, why);
        why = "only grey or RGB pictures of 8, 16 or 32 bits per sample or of 32- or 64-bit floating point are read "
              "at full depth";
        return DecodeStatus::Invalid;
    }
    const int channels = grey ? 1 : 3;
    // Colours premultiplied by an associated alpha are read with the alpha and divided by it, as
    // the 8-bit readers give them; an unassociated alpha holds the colours as they are.
    std::uint16_t extra = 0;
    std::uint16_t* extraKinds = nullptr;
    const bool associated = TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extra, &extraKinds) && extra > 0 && extraKinds &&
                            extraKinds[0] == EXTRASAMPLE_ASSOCALPHA && spp >= channels + 1;
    const int held = associated ? channels + 1 : channels;
    // Read into the buffer the picture already has when it is large enough: only a larger picture
    // takes new memory.
    const std::uint64_t pictureBytes = newSampleBytes(out, std::uint64_t(width) * height * std::uint64_t(held));
    SampleSource source{bits, planar == PLANARCONFIG_SEPARATE ? 1 : spp, -1, photometric == PHOTOMETRIC_MINISWHITE,
                        channels, format == SAMPLEFORMAT_INT, floating};
    const int planes = planar == PLANARCONFIG_SEPARATE ? held : 1;
    // Samples wider than 16 bits are held at 16.
    const int heldBits = std::min<int>(bits, 16);
    // Floating-point samples have no fixed range: a picture whose samples all lie within 0 to 4 is
    // read with 1 as white (the usual scale of such files; flat-field correction or sharpening
    // leaves a few samples above 1, which are white, and must not put the picture on another
    // scale than the rest of its series); any other is read on the 16-bit scale, 65535 white, as
    // the 16-bit camera data they mostly hold (where 4 would still be black). The samples are read
    // twice: once to find their largest value, then into the picture.
    double largest = 0;
    const int passes = floating ? 2 : 1;
    auto floatWhiteFor = [](double largestSample) { return largestSample <= 4.0 ? 1.0 : 65535.0; };

    if (TIFFIsTiled(t)) {
        std::uint32_t tw = 0, th = 0;
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
        const tmsize_t tileSize = TIFFTileSize(t);
        if (tw == 0 || th == 0 || tileSize <= 0) {
            if (why.empty()) why = "the tiles have no size";
            return DecodeStatus::Invalid;
        }
        // The tile buffer counts beside the picture: a header may declare tiles far larger than it.
        requireMemory(pictureBytes + std::uint64_t(tileSize));
        out.reshape(int(width), int(height), held, heldBits);
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileSize));
        const std::size_t rowBytes = std::size_t(tileSize) / th;
        for (int pass = passes; pass > 0; --pass) {
            source.largest = pass > 1 ? &largest : nullptr;
            source.floatWhite = floatWhiteFor(largest);
            for (int p = 0; p < planes; ++p) {
                source.plane = planes > 1 ? p : -1;
                for (std::uint32_t y = 0; y < height; y += th)
                    for (std::uint32_t x = 0; x < width; x += tw) {
                        if (TIFFReadTile(t, tile.data(), x, y, 0, std::uint16_t(p)) < 0) return unreadable("a tile");
                        copyBlock(out, tile.data(), rowBytes, int(x), int(y), int(tw), int(th), source);
                    }
            }
        }
    } else {
        const tmsize_t lineSize = TIFFScanlineSize(t);
        if (lineSize <= 0) {
            if (why.empty()) why = "the rows have no size";
            return DecodeStatus::Invalid;
        }
        requireMemory(pictureBytes + std::uint64_t(lineSize));
        out.reshape(int(width), int(height), held, heldBits);
        std::vector<std::uint8_t> line(static_cast<std::size_t>(lineSize));
        for (int pass = passes; pass > 0; --pass) {
            source.largest = pass > 1 ? &largest : nullptr;
            source.floatWhite = floatWhiteFor(largest);
            for (int p = 0; p < planes; ++p) {
                source.plane = planes > 1 ? p : -1;
                for (std::uint32_t y = 0; y < height; ++y) {
                    if (TIFFReadScanline(t, line.data(), y, std::uint16_t(p)) < 0) return unreadable("a row");
                    copyBlock(out, line.data(), line.size(), 0, int(y), int(width), 1, source);
                }
            }
        }
    }
    if (associated) dropAssociatedAlpha(out);
    return DecodeStatus::Ok;
}

struct PngReadState {
    std::string* why;
};

void pngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngReadState*>(png_get_error_ptr(png));
    if (state && state->why && state->why->empty()) *state->why = message;
    png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

// The rows' buffers belong to readPng, which sets the error jump: a jump out of libpng skips the
// destructors of this function's locals, so it keeps none that own memory.
struct PngRows {
    std::vector<std::uint8_t> raw;
    std::vector<png_bytep> rows;
};

// The reading itself, called under the error jump of readPng. False when the picture does not fit.
[[gnu::noinline]] bool readPngRows(png_structp png, png_infop info, DeepPicture& picture, PngRows& buffers) {
    png_set_user_limits(png, 0x7fffffff / 6, 0x7fffffff);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width > png_uint_32(kMaxPictureSide) || height > png_uint_32(kMaxPictureSide))
        png_error(png, kSideTooLong);
    const int depth = png_get_bit_depth(png, info);
    const int type = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (transparency) png_set_tRNS_to_alpha(png);
    if ((type & PNG_COLOR_MASK_ALPHA) || transparency) png_set_strip_alpha(png);
    if (depth == 16) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    const int bits = png_get_bit_depth(png, info);
    // 16-bit rows, their samples swapped to this machine's order, are the picture's own rows and
    // are decoded into it; 8-bit rows are held beside the picture until they are widened into it.
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const bool intoPicture = bits == 16 && rowBytes == std::size_t(width) * std::size_t(channels) * 2;
    const std::uint64_t need = newSampleBytes(picture, std::uint64_t(width) * height * std::uint64_t(channels)) +
                               (intoPicture ? 0 : std::uint64_t(rowBytes) * height);
    if (need > availableMemory()) return false;
    picture.reshape(int(width), int(height), channels, bits);
    std::vector<std::uint8_t>& raw = buffers.raw;
    std::vector<png_bytep>& rows = buffers.rows;
    rows.assign(height, nullptr);
    if (intoPicture) {
        for (png_uint_32 y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(picture.row(int(y)));
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        return true;
    }
    raw.assign(rowBytes * height, 0);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = raw.data() + std::size_t(y) * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    const std::size_t n = std::size_t(width) * std::size_t(channels);
    for (png_uint_32 y = 0; y < height; ++y) {
        std::uint16_t* to = picture.row(int(y));
        if (bits == 16) std::memcpy(to, rows[y], n * 2);
        else
            for (std::size_t i = 0; i < n; ++i) to[i] = std::uint16_t(rows[y][i] * 257);
    }
    return true;
}

DecodeStatus readPng(const std::string& path, DeepPicture& out, std::string& why) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        why = std::string("the file cannot be opened: ") + std::strerror(errno);
        return DecodeStatus::Invalid;
    }
    PngReadState state{&why};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    DeepPicture picture = std::move(out); // its buffer reused
    PngRows buffers;
    volatile int outcome = 0; // 1 read, 2 too large for the memory left
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        outcome = readPngRows(png, info, picture, buffers) ? 1 : 2;
    }
    png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
    std::fclose(file);
    if (outcome == 2) throw RuntimeError(7);
    if (outcome != 1) {
        if (why.empty()) why = "libpng cannot read the file";
        return DecodeStatus::Invalid;
    }
    out = std::move(picture);
    return DecodeStatus::Ok;
}

} // namespace

void silenceTiffLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

DeepFileKind deepFileKind(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[8] = {};
    if (!in.read(reinterpret_cast<char*>(head), 8)) return DeepFileKind::None;
    if (std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) return DeepFileKind::Png;
    // 42: a classic TIFF; 43: a BigTIFF (offsets of 64 bits), which libtiff reads alike and which
    // converters write for pictures above 4 GB or when told to.
    const int little = head[2] | head[3] << 8, big = head[2] << 8 | head[3];
    if ((head[0] == 'I' && head[1] == 'I' && (little == 42 || little == 43)) ||
        (head[0] == 'M' && head[1] == 'M' && (big == 42 || big == 43)))
        return DeepFileKind::Tiff;
    return DeepFileKind::None;
}

namespace {

// A TIFF opened for its tags alone, libtiff's messages kept off standard error; none for a file
// that is no TIFF or that libtiff cannot open.
std::unique_ptr<TIFF, TiffCloser> tiffForTags(const std::string& path) {
    if (deepFileKind(path) != DeepFileKind::Tiff) return nullptr;
    std::string ignored;
    TiffMessages messages(ignored);
    return openPictureDirectory(path);
}

} // namespace

int deepFileBits(const std::string& path) {
    switch (deepFileKind(path)) {
    case DeepFileKind::Png: {
        // IHDR follows the signature: length, "IHDR", width, height, then the bit depth.
        std::ifstream in(path, std::ios::binary);
        unsigned char head[25] = {};
        if (!in.read(reinterpret_cast<char*>(head), 25) || std::memcmp(head + 12, "IHDR", 4) != 0) return 0;
        return head[24] == 16 ? 16 : 8;
    }
    case DeepFileKind::Tiff: {
        const std::unique_ptr<TIFF, TiffCloser> tif = tiffForTags(path);
        if (!tif) return 0;
        std::uint16_t bits = 0;
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
        // Samples of 32 or 64 bits are read at 16.
        return bits >= 16 ? 16 : 8;
    }
    case DeepFileKind::None:
        break;
    }
    return 0;
}

DeepExtent deepFileExtent(const std::string& path) {
    DeepExtent e;
    switch (deepFileKind(path)) {
    case DeepFileKind::Png: {
        // IHDR: width and height (big-endian), bit depth, colour type.
        std::ifstream in(path, std::ios::binary);
        unsigned char head[26] = {};
        if (!in.read(reinterpret_cast<char*>(head), 26) || std::memcmp(head + 12, "IHDR", 4) != 0) return {};
        auto number = [&](int at) {
            return std::uint32_t(head[at]) << 24 | std::uint32_t(head[at + 1]) << 16 | std::uint32_t(head[at + 2]) << 8 |
                   std::uint32_t(head[at + 3]);
        };
        const std::uint32_t w = number(16), h = number(20);
        if (w == 0 || h == 0 || w > 0x7fffffff || h > 0x7fffffff) return {};
        e.width = int(w);
        e.height = int(h);
        e.bits = head[24] == 16 ? 16 : 8;
        e.channels = (head[25] & PNG_COLOR_MASK_COLOR) ? 3 : 1;
        return e;
    }
    case DeepFileKind::Tiff: {
        const std::unique_ptr<TIFF, TiffCloser> tif = tiffForTags(path);
        if (!tif) return {};
        std::uint32_t w = 0, h = 0;
        std::uint16_t bits = 0, spp = 1, photometric = 0;
        TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
        if (!TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric))
            photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
        if (w == 0 || h == 0 || w > 0x7fffffff / 3 || h > 0x7fffffff) return {};
        e.width = int(w);
        e.height = int(h);
        e.bits = bits >= 16 ? 16 : 8;
        e.channels = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ? 1 : 3;
        return e;
    }
    case DeepFileKind::None:
        break;
    }
    return e;
}

bool plainSixteenBitFile(const std::string& path) {
    switch (deepFileKind(path)) {
    case DeepFileKind::Png:
        return deepFileBits(path) == 16;
    case DeepFileKind::Tiff: {
        const std::unique_ptr<TIFF, TiffCloser> tif = tiffForTags(path);
        if (!tif) return false;
        std::uint16_t bits = 0, spp = 1, photometric = 0;
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
        if (!TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric)) return false;
        return bits == 16 && ((spp == 1 && photometric == PHOTOMETRIC_MINISBLACK) ||
                              (spp == 3 && photometric == PHOTOMETRIC_RGB));
    }
    case DeepFileKind::None:
        break;
    }
    return false;
}

bool alphaTiffQtMisreads(const std::string& path) {
    const std::unique_ptr<TIFF, TiffCloser> tif = tiffForTags(path);
    if (!tif) return false;
    std::uint16_t bits = 0, spp = 1, photometric = 0, format = SAMPLEFORMAT_UINT, extra = 0;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t* kinds = nullptr;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    if (!TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric)) return false;
    if (!TIFFGetField(tif.get(), TIFFTAG_EXTRASAMPLES, &extra, &kinds) || extra == 0 || !kinds) return false;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    const int colours = grey ? 1 : photometric == PHOTOMETRIC_RGB ? 3 : 0;
    const bool alpha = kinds[0] == EXTRASAMPLE_UNASSALPHA || kinds[0] == EXTRASAMPLE_ASSOCALPHA;
    if (format != SAMPLEFORMAT_UINT || colours == 0 || spp != colours + extra || !alpha) return false;
    return (bits == 8 && kinds[0] == EXTRASAMPLE_UNASSALPHA) || (bits == 16 && planar == PLANARCONFIG_SEPARATE);
}

bool signedTiff(const std::string& path) {
    const std::unique_ptr<TIFF, TiffCloser> tif = tiffForTags(path);
    if (!tif) return false;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    return format == SAMPLEFORMAT_INT;
}

bool thumbnailFirstTiff(const std::string& path) {
    if (deepFileKind(path) != DeepFileKind::Tiff) return false;
    std::string ignored;
    TiffMessages messages(ignored);
    bool first = true;
    return openPictureDirectory(path, &first) && !first;
}

bool wideSampleTiff(const std::string& path) {
    const std::unique_ptr<TIFF, TiffCloser> tif = tiffForTags(path);
    if (!tif) return false;
    std::uint16_t bits = 0, format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    // Half-precision floating point (16 bits) stays with Qt's reader, which reads it in colour.
    return bits > 16 || (format == SAMPLEFORMAT_IEEEFP && bits != 16);
}

bool tiledTiff(const std::string& path) {
    const std::unique_ptr<TIFF, TiffCloser> tif = tiffForTags(path);
    return tif && TIFFIsTiled(tif.get());
}

DecodeStatus readDeepPicture(const std::string& path, DeepPicture& out, std::string* why, int orientation) {
    if (!fileExists(path)) return DecodeStatus::Missing;
    std::string reason;
    DecodeStatus status = DecodeStatus::Invalid;
    switch (deepFileKind(path)) {
    case DeepFileKind::Tiff:
        status = readTiff(path, out, reason);
        break;
    case DeepFileKind::Png:
        status = readPng(path, out, reason);
        break;
    case DeepFileKind::None:
        reason = "neither a TIFF nor a PNG file";
        break;
    }
    if (status != DecodeStatus::Ok) out = DeepPicture{};
    if (status == DecodeStatus::Ok && validOrientation(orientation) != 1) {
        // The turned picture is made beside the one read.
        requireMemory(out.bytes());
        turnUpright(out, orientation);
    }
    // libtiff may complain of a tag it skips in a file it then reads whole: no reason for a picture.
    if (why) *why = status == DecodeStatus::Ok ? std::string() : reason;
    return status;
}

std::vector<std::uint8_t> deepToRoundedBgr(const DeepPicture& p) {
    const int W = roundUp4(p.width), H = roundUp4(p.height);
    std::vector<std::uint8_t> cells(std::size_t(W) * std::size_t(H) * 3, 0);
    for (int y = 0; y < p.height; ++y) {
        const std::uint16_t* from = p.row(y);
        // Bottom-up from the buffer's first row; the margin rows lie above the picture.
        std::uint8_t* to = &cells[std::size_t(p.height - 1 - y) * std::size_t(W) * 3];
        if (p.channels == 1) {
            for (int x = 0; x < p.width; ++x) to[3 * x] = to[3 * x + 1] = to[3 * x + 2] = eightBitsOf(from[x]);
            continue;
        }
        for (int x = 0; x < p.width; ++x, from += p.channels) {
            to[3 * x] = eightBitsOf(from[2]);
            to[3 * x + 1] = eightBitsOf(from[1]);
            to[3 * x + 2] = eightBitsOf(from[0]);
        }
    }
    return cells;
}

} // namespace orv
