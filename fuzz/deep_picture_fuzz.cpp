// Fuzzes the full-depth reader (TIFF through libtiff, PNG through libpng) together with the header
// readers the memory check relies on, all on the same bytes. A file ends as an invalid picture
// with a reason, as error 7 when the header's sides need more memory than is left, or as a
// picture whose sides, channels and depth are what the header promised and whose buffer holds
// exactly its samples; for a TIFF without extra samples, those samples are the ones libtiff's own
// RGBA reader gives (within its rounding to 8 bits). The BMP and GIF header walks agree whether
// they read the file or memory.
#include "fuzz_input.h"

#include "base/runtime_error.h"
#include "engine/picture_surface.h"
#include "input/deep_reader.h"
#include "input/memory_budget.h"
#include "input/picture_header.h"

#include <tiffio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::uint64_t kCeiling = std::uint64_t(200) << 20;

bool sameFacts(const orv::HeaderFacts& a, const orv::HeaderFacts& b) {
    return a.readable == b.readable && a.width == b.width && a.height == b.height && a.complete == b.complete &&
           std::equal(std::begin(a.fieldBits), std::end(a.fieldBits), std::begin(b.fieldBits));
}

// The BMP or GIF header read from the file and from memory: the same answer.
void checkHeaderWalk(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const orv::PictureKind kind = orv::pictureKindOf(data, size);
    if (kind != orv::PictureKind::Bmp && kind != orv::PictureKind::Gif) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) std::abort();
    orv::ByteStream fromFile(fd);
    orv::ByteStream fromMemory(data, size);
    const bool bmp = kind == orv::PictureKind::Bmp;
    const orv::HeaderFacts a = bmp ? orv::readBmpHeader(fromFile, size) : orv::readGifHeader(fromFile);
    const orv::HeaderFacts b = bmp ? orv::readBmpHeader(fromMemory, size) : orv::readGifHeader(fromMemory);
    ::close(fd);
    if (!sameFacts(a, b)) std::abort();
    if (a.readable && (a.width <= 0 || a.height <= 0)) std::abort();
}

void quiet(const char*, const char*, va_list) {}

// The picture as libtiff's RGBA reader decodes it (which knows nothing of this program's reader):
// each sample of the picture within a level of its 8 bits. Only uncompressed files are compared:
// what sits where is then fixed by the directory alone (a damaged Deflate strip that zlib still
// inflates can end differently read by rows and whole, with no error from either). Files it cannot
// decode, files with extra samples (which it multiplies by the alpha), signed samples or turned
// rows, and grey tiled files (libtiff 4.5 leaves every tile but the first column's black) are left
// out too.
void checkAgainstLibtiff(const std::string& path, const orv::DeepPicture& picture) {
    TIFFSetErrorHandler(quiet);
    TIFFSetWarningHandler(quiet);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) std::abort(); // the reader opened it
    // A file without its photometric tag is taken as grey or colour by its samples here and by
    // libtiff's own guesses there; the RGBA reader turns the rows as the orientation tag says, this
    // program's readers (as Qt's, told not to) take them as stored.
    std::uint16_t spp = 1, orientation = ORIENTATION_TOPLEFT, photometric = 0, compression = COMPRESSION_NONE;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    const bool described = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    // Signed samples are moved up by half their range here; libtiff's RGBA reader takes them as
    // unsigned.
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    const std::size_t pixels = std::size_t(picture.width) * std::size_t(picture.height);
    const bool comparable = described && compression == COMPRESSION_NONE && format == SAMPLEFORMAT_UINT &&
                            spp == picture.channels &&
                            orientation == ORIENTATION_TOPLEFT && !(TIFFIsTiled(tif) && picture.channels == 1) &&
                            pixels <= (std::size_t(1) << 22);
    std::vector<std::uint32_t> rgba(comparable ? pixels : 0);
    char message[1024];
    const bool compared = comparable && TIFFRGBAImageOK(tif, message) &&
                          TIFFReadRGBAImageOriented(tif, std::uint32_t(picture.width), std::uint32_t(picture.height),
                                                    rgba.data(), ORIENTATION_BOTLEFT, 0);
    TIFFClose(tif);
    if (!compared) return;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            // The raster's first row is the picture's last.
            const std::uint32_t p =
                rgba[std::size_t(picture.height - 1 - y) * std::size_t(picture.width) + std::size_t(x)];
            const int theirs[3] = {int(TIFFGetR(p)), int(TIFFGetG(p)), int(TIFFGetB(p))};
            for (int c = 0; c < 3; ++c) {
                const int ours = orv::eightBitsOf(picture.at(x, y, picture.channels == 1 ? 0 : c));
                if (std::abs(ours - theirs[c]) > 1) {
                    if (std::getenv("ORV_FUZZ_DEBUG"))
                        std::fprintf(stderr, "at %d,%d channel %d: ours %d (sample %d) libtiff %d\n", x, y, c, ours,
                                     picture.at(x, y, picture.channels == 1 ? 0 : c), theirs[c]);
                    std::abort();
                }
            }
        }
}

// The bytes of one row of a striped TIFF as libtiff reads it: every sample of every pixel. 0 for
// anything else.
std::uint64_t tiffRowBytes(const std::string& path) {
    TIFFSetErrorHandler(quiet);
    TIFFSetWarningHandler(quiet);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return 0;
    const std::uint64_t bytes = TIFFIsTiled(tif) ? 0 : std::uint64_t(std::max<tmsize_t>(0, TIFFScanlineSize(tif)));
    TIFFClose(tif);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Pictures that would need more than this are error 7, as on a machine with little memory.
    orv::setMemoryCeiling(kCeiling);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = orv::fuzz::asFile(data, size);
    checkHeaderWalk(path, data, size);

    const orv::DeepFileKind kind = orv::deepFileKind(path);
    const orv::DeepExtent extent = orv::deepFileExtent(path);
    const int bits = orv::deepFileBits(path);
    const bool tiled = orv::tiledTiff(path);
    if (kind == orv::DeepFileKind::None && (extent.width != 0 || bits != 0 || tiled)) std::abort();
    if (tiled && kind != orv::DeepFileKind::Tiff) std::abort();

    orv::DeepPicture picture;
    std::string why;
    orv::DecodeStatus status = orv::DecodeStatus::Invalid;
    try {
        status = orv::readDeepPicture(path, picture, &why);
    } catch (const orv::RuntimeError& e) {
        // Out of memory only for a picture the header says is too large for the memory left, with
        // the decoder's buffers beside it (the rows of a PNG as large again; a TIFF's tiles may be
        // declared larger than the picture, and its rows hold every sample of a pixel, extra
        // samples the picture does not keep included).
        const std::uint64_t need =
            std::uint64_t(extent.width) * std::uint64_t(extent.height) * std::uint64_t(extent.channels) * 2;
        if (e.number() != 7 || (need * 3 + tiffRowBytes(path) <= orv::availableMemory() && !tiled)) std::abort();
        return 0;
    }
    // ORV_FUZZ_DEBUG=1 says what the reader made of a finding run by hand.
    if (std::getenv("ORV_FUZZ_DEBUG"))
        std::fprintf(stderr, "status %d why '%s' header %dx%dx%d %d bits, picture %dx%dx%d %d bits\n", int(status),
                     why.c_str(), extent.width, extent.height, extent.channels, extent.bits, picture.width,
                     picture.height, picture.channels, picture.bitsPerSample);
    if (status == orv::DecodeStatus::Missing) std::abort();
    // Read again into a picture that held another one, as a series read one picture at a time
    // reuses its buffer: the same outcome and the same samples, nothing of the other left.
    {
        orv::DeepPicture reused(61, 47, 3, 16);
        std::fill(reused.samples.begin(), reused.samples.end(), std::uint16_t(0xbeef));
        if (orv::readDeepPicture(path, reused) != status || !(reused == picture)) std::abort();
    }
    if (status == orv::DecodeStatus::Invalid) {
        // Refused with a reason, and nothing half-read kept.
        if (why.empty() || !picture.empty() || picture.width != 0) std::abort();
        return 0;
    }
    // A picture: what the header said, and exactly its samples.
    if (kind == orv::DeepFileKind::None) std::abort();
    if (picture.width != extent.width || picture.height != extent.height || picture.channels != extent.channels)
        std::abort();
    if (picture.bitsPerSample != extent.bits || picture.bitsPerSample != bits) std::abort();
    if (picture.channels != 1 && picture.channels != 3) std::abort();
    if (picture.samples.size() !=
        std::size_t(picture.width) * std::size_t(picture.height) * std::size_t(picture.channels))
        std::abort();
    if (picture.bitsPerSample == 8)
        for (const std::uint16_t s : picture.samples)
            if (s % 257 != 0) std::abort();
    if (kind == orv::DeepFileKind::Tiff) checkAgainstLibtiff(path, picture);
    // The 8-bit cells the loader makes of it, for sides the stack holds.
    if (picture.width <= 32764 && picture.height <= 32764) {
        const std::vector<std::uint8_t> cells = orv::deepToRoundedBgr(picture);
        if (cells.size() != std::size_t(orv::roundUp4(picture.width)) * std::size_t(orv::roundUp4(picture.height)) * 3)
            std::abort();
    }
    return 0;
}
