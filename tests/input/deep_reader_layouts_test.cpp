// TIFF layouts the deep reader takes over from Qt's reader: BigTIFF, alpha channels Qt gets wrong,
// 32-bit integer and floating-point samples; and libtiff kept quiet on standard error.
#include "input/deep_reader.h"
#include "input/picture_file.h"
#include "output/deep_writer.h"
#include "deep_samples.h"
#include "tiny_tiff.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

using namespace orv;
using orv::test::randomPicture;
using orv::test::writeFile;

namespace {

// A little-endian BigTIFF of one directory whose values all fit in their entries (8 bytes): RGB,
// uncompressed, one strip or one tile of `tileSide` holding the picture's samples.
std::vector<std::uint8_t> bigTiff(const DeepPicture& p, int bits, int tileSide) {
    std::vector<std::uint8_t> pixels;
    const int rows = tileSide ? tileSide : p.height, cols = tileSide ? tileSide : p.width;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const std::uint16_t v = x < p.width && y < p.height ? p.at(x, y, c) : 0;
                if (bits == 16) pixels.push_back(std::uint8_t(v));
                pixels.push_back(std::uint8_t(bits == 16 ? v >> 8 : v / 257));
            }
    struct Entry {
        std::uint16_t tag, type;
        std::uint64_t count;
        std::vector<std::uint64_t> values;
    };
    const std::uint64_t dataAt = 16;
    std::vector<Entry> entries = {{256, 4, 1, {std::uint64_t(p.width)}},
                                  {257, 4, 1, {std::uint64_t(p.height)}},
                                  {258, 3, 3, {std::uint64_t(bits), std::uint64_t(bits), std::uint64_t(bits)}},
                                  {259, 3, 1, {1}},
                                  {262, 3, 1, {2}},
                                  {277, 3, 1, {3}},
                                  {284, 3, 1, {1}}};
    if (tileSide) {
        entries.push_back({322, 4, 1, {std::uint64_t(tileSide)}});
        entries.push_back({323, 4, 1, {std::uint64_t(tileSide)}});
        entries.push_back({324, 16, 1, {dataAt}});
        entries.push_back({325, 16, 1, {pixels.size()}});
    } else {
        entries.push_back({273, 16, 1, {dataAt}});
        entries.push_back({278, 4, 1, {std::uint64_t(p.height)}});
        entries.push_back({279, 16, 1, {pixels.size()}});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
    };
    out = {'I', 'I', 43, 0, 8, 0, 0, 0};
    put(dataAt + pixels.size(), 8);
    out.insert(out.end(), pixels.begin(), pixels.end());
    put(entries.size(), 8);
    for (const Entry& e : entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(e.count, 8);
        const int size = e.type == 3 ? 2 : e.type == 4 ? 4 : 8;
        for (const std::uint64_t v : e.values) put(v, size);
        for (std::size_t pad = e.values.size() * std::size_t(size); pad < 8; ++pad) out.push_back(0);
    }
    put(0, 8);
    return out;
}

struct BigTiffCase {
    const char* name;
    int bits;
    int tileSide;
};

class BigTiffs : public ::testing::TestWithParam<BigTiffCase> {};

} // namespace

// A BigTIFF is a TIFF with 64-bit offsets: read as the picture it is, tiled or in strips, at 8 or
// 16 bits, never refused as no picture.
TEST_P(BigTiffs, AreReadAsThePictureTheyHold) {
    const BigTiffCase c = GetParam();
    QTemporaryDir dir;
    const DeepPicture picture = randomPicture(13, 9, 3, c.bits, 31);
    const std::string path = writeFile(dir, "big.tif", bigTiff(picture, c.bits, c.tileSide));
    EXPECT_EQ(deepFileKind(path), DeepFileKind::Tiff);
    DeepPicture deep;
    ASSERT_EQ(readDeepPicture(path, deep), DecodeStatus::Ok);
    EXPECT_EQ(deep.samples, picture.samples);
    std::unique_ptr<MemorySurface> surface;
    ASSERT_EQ(decodeToSurface(path, surface), DecodeStatus::Ok);
    EXPECT_EQ(surface->rounded(), deepToRoundedBgr(picture));
    int w = 0, h = 0;
    ASSERT_EQ(readPictureSize(path, w, h), DecodeStatus::Ok);
    EXPECT_EQ(w, 13);
    EXPECT_EQ(h, 9);
}

INSTANTIATE_TEST_SUITE_P(Layouts, BigTiffs,
                         ::testing::Values(BigTiffCase{"Strip8", 8, 0}, BigTiffCase{"Tiled8", 8, 16},
                                           BigTiffCase{"Strip16", 16, 0}, BigTiffCase{"Tiled16", 16, 16}),
                         [](const auto& info) { return std::string(info.param.name); });

// A camera's or an editor's private tag makes libtiff warn while Qt's reader reads the picture
// whole: nothing of it reaches standard error, and the picture is read.
TEST(DeepReader, LibtiffSaysNothingOnStandardErrorOfAPictureItReads) {
    QTemporaryDir dir;
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < 4 * 2 * 3; ++i) pixels.push_back(std::uint8_t(i * 10));
    const std::vector<std::uint8_t> file =
        test::tinyTiff({{256, 4, {4}}, {257, 4, {2}}, {258, 3, {8, 8, 8}}, {259, 3, {1}}, {262, 3, {2}}, {273, 4, {0}},
                        {277, 3, {3}}, {278, 4, {2}}, {279, 4, {24}}, {65000, 4, {7}}},
                       pixels);
    const std::string path = writeFile(dir, "private-tag.tif", file);
    ::testing::internal::CaptureStderr();
    int w = 0, h = 0;
    const DecodeStatus sized = readPictureSize(path, w, h);
    std::unique_ptr<MemorySurface> surface;
    const DecodeStatus read = decodeToSurface(path, surface);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "");
    ASSERT_EQ(sized, DecodeStatus::Ok);
    EXPECT_EQ(w, 4);
    ASSERT_EQ(read, DecodeStatus::Ok);
    // The top row's first pixel, red-green-blue 0, 10, 20, is the cells' blue-green-red 20, 10, 0.
    const std::vector<std::uint8_t>& cells = surface->rounded();
    const std::size_t top = std::size_t(1) * std::size_t(surface->roundedWidth()) * 3;
    EXPECT_EQ(cells[top], 20);
    EXPECT_EQ(cells[top + 1], 10);
    EXPECT_EQ(cells[top + 2], 0);
}

namespace {

struct AlphaTiff {
    const char* name;
    int colours;     // 1 grey, 3 RGB
    bool separate;   // the samples in planes
    int bits;        // 8 or 16
    bool associated; // the colours premultiplied by the alpha
};

class AlphaTiffs : public ::testing::TestWithParam<AlphaTiff> {};

// A pixel's colour samples and alpha, as fractions of the full value, and the 8-bit colours it
// must be read as: an unassociated colour as it is; an associated one divided by its alpha (chosen
// so that the quotient is no half-way case), none where the alpha is 0.
struct AlphaPixel {
    std::array<double, 3> stored;
    double alpha;
    std::array<int, 3> read;
};

std::vector<AlphaPixel> alphaPixels(bool associated) {
    if (!associated)
        return {{{0.78, 0.39, 0.2}, 0.0, {199, 99, 51}}, {{0.5, 0.1, 0.9}, 0.004, {128, 26, 230}},
                {{0.1, 0.3, 0.7}, 0.5, {26, 77, 179}},   {{1.0, 0.0, 0.6}, 1.0, {255, 0, 153}}};
    return {{{0.25, 0.75, 0.2}, 1.0, {64, 191, 51}}, {{0.125, 0.375, 0.1}, 0.5, {64, 191, 51}},
            {{0.0, 0.0, 0.0}, 0.0, {0, 0, 0}},        {{0.2, 0.15, 0.04}, 0.2, {255, 191, 51}}};
}

} // namespace

// A TIFF whose alpha channel Qt's reader gets wrong is read as the picture it holds: an 8-bit
// unassociated one keeps its colours however transparent the pixel (Qt gives black for alpha 0),
// a 16-bit one in planes is read plane by plane (Qt reads it as if interleaved).
TEST_P(AlphaTiffs, AreReadAsThePictureTheyHold) {
    const AlphaTiff c = GetParam();
    const std::vector<AlphaPixel> pixels = alphaPixels(c.associated);
    const int w = int(pixels.size()), h = 2, spp = c.colours + 1, bytes = c.bits / 8;
    const double full = c.bits == 16 ? 65535.0 : 255.0;
    auto sample = [&](const AlphaPixel& p, int s) {
        // Grey takes the first colour.
        return std::uint32_t(std::lround((s == c.colours ? p.alpha : p.stored[std::size_t(s)]) * full));
    };
    std::vector<std::uint8_t> data;
    auto put = [&](std::uint32_t v) {
        for (int b = 0; b < bytes; ++b) data.push_back(std::uint8_t(v >> (8 * b)));
    };
    if (c.separate) {
        for (int s = 0; s < spp; ++s)
            for (int y = 0; y < h; ++y)
                for (const AlphaPixel& p : pixels) put(sample(p, s));
    } else {
        for (int y = 0; y < h; ++y)
            for (const AlphaPixel& p : pixels)
                for (int s = 0; s < spp; ++s) put(sample(p, s));
    }
    const std::uint32_t plane = std::uint32_t(w * h * bytes);
    std::vector<test::TiffField> fields = {{256, 4, {std::uint32_t(w)}}, {257, 4, {std::uint32_t(h)}},
                                           {258, 3, std::vector<std::uint32_t>(std::size_t(spp), std::uint32_t(c.bits))},
                                           {259, 3, {1}}, {262, 3, {c.colours == 3 ? 2u : 1u}}};
    std::vector<std::uint32_t> offsets, counts;
    for (int s = 0; s < (c.separate ? spp : 1); ++s) {
        offsets.push_back(std::uint32_t(s) * plane);
        counts.push_back(c.separate ? plane : plane * std::uint32_t(spp));
    }
    fields.push_back({273, 4, offsets});
    fields.push_back({277, 3, {std::uint32_t(spp)}});
    fields.push_back({278, 4, {std::uint32_t(h)}});
    fields.push_back({279, 4, counts});
    fields.push_back({284, 3, {c.separate ? 2u : 1u}});
    fields.push_back({338, 3, {c.associated ? 1u : 2u}});
    QTemporaryDir dir;
    const std::string path = writeFile(dir, "alpha.tif", test::tinyTiff(fields, data));
    EXPECT_TRUE(alphaTiffQtMisreads(path));
    std::unique_ptr<MemorySurface> surface;
    ASSERT_EQ(decodeToSurface(path, surface), DecodeStatus::Ok);
    const std::vector<std::uint8_t>& cells = surface->rounded();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::array<int, 3>& rgb = pixels[std::size_t(x)].read;
            const std::uint8_t* cell = &cells[(std::size_t(h - 1 - y) * std::size_t(surface->roundedWidth()) + std::size_t(x)) * 3];
            const std::array<int, 3> expected = c.colours == 3 ? std::array<int, 3>{rgb[2], rgb[1], rgb[0]}
                                                               : std::array<int, 3>{rgb[0], rgb[0], rgb[0]};
            EXPECT_EQ((std::array<int, 3>{cell[0], cell[1], cell[2]}), expected) << "pixel " << x << ", " << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, AlphaTiffs,
    ::testing::Values(AlphaTiff{"Rgba8", 3, false, 8, false}, AlphaTiff{"Rgba8InPlanes", 3, true, 8, false},
                      AlphaTiff{"GreyAlpha8", 1, false, 8, false}, AlphaTiff{"Rgba16InPlanes", 3, true, 16, false},
                      AlphaTiff{"GreyAlpha16InPlanes", 1, true, 16, false},
                      AlphaTiff{"AssociatedRgba16InPlanes", 3, true, 16, true}),
    [](const auto& info) { return std::string(info.param.name); });

// An 8-bit TIFF whose colours are premultiplied by an associated alpha is read at full depth as the
// 8-bit picture it is: each colour divided by its alpha and kept an 8-bit value (v * 257), within a
// level of what the 8-bit reading gives.
TEST(AlphaTiffs, AnAssociatedAlphaAtEightBitsStaysEightBit) {
    const std::vector<AlphaPixel> pixels = alphaPixels(true);
    const int w = int(pixels.size()), h = 1;
    std::vector<std::uint8_t> data;
    for (const AlphaPixel& p : pixels) {
        for (const double v : p.stored) data.push_back(std::uint8_t(std::lround(v * 255)));
        data.push_back(std::uint8_t(std::lround(p.alpha * 255)));
    }
    QTemporaryDir dir;
    const std::string path = writeFile(
        dir, "premultiplied.tif",
        test::tinyTiff({{256, 4, {std::uint32_t(w)}}, {257, 4, {std::uint32_t(h)}}, {258, 3, {8, 8, 8, 8}}, {259, 3, {1}},
                        {262, 3, {2}}, {273, 4, {0}}, {277, 3, {4}}, {278, 4, {std::uint32_t(h)}},
                        {279, 4, {std::uint32_t(data.size())}}, {338, 3, {1}}},
                       data));
    DeepPicture deep;
    ASSERT_EQ(readDeepPicture(path, deep), DecodeStatus::Ok);
    ASSERT_EQ(deep.bitsPerSample, 8);
    ASSERT_EQ(deep.channels, 3);
    std::unique_ptr<MemorySurface> surface;
    ASSERT_EQ(decodeToSurface(path, surface), DecodeStatus::Ok);
    const std::vector<std::uint8_t>& cells = surface->rounded();
    for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
            const int sample = deep.at(x, 0, c);
            EXPECT_EQ(sample % 257, 0) << "pixel " << x << " channel " << c << ": " << sample;
            EXPECT_NEAR(sample / 257, pixels[std::size_t(x)].read[std::size_t(c)], 1) << "pixel " << x << " channel " << c;
            EXPECT_NEAR(sample / 257, cells[std::size_t(x) * 3 + std::size_t(2 - c)], 1) << "pixel " << x << " channel " << c;
        }
}

namespace {

std::vector<std::uint8_t> bytesOf(const void* data, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(b, b + n);
}

} // namespace

// A scientific camera's TIFF of 32-bit integers or of 32- or 64-bit floating point is read at 16
// bits: integers scaled from their full range, floating point with 1 as white when every sample
// lies within 0 to 4 (a few samples above 1, white, keep the picture on its series' scale) and on
// the 16-bit scale otherwise; below 0 and not-a-number are black.
TEST(DeepReader, WideAndFloatingPointSamplesAreReadAtSixteenBits) {
    QTemporaryDir dir;
    const float unit[4] = {-1.0f, 0.25f, 0.5f, 1.0f};
    const float overshoot[4] = {0.0f, 0.5f, 1.0f, 1.5f};
    const float counts[4] = {0.0f, 1000.0f, 65535.0f, 70000.0f};
    const double wide[4] = {std::nan(""), 0.75, 4095.0, 1e9};
    const std::uint32_t integers[4] = {0, 65537u * 1000u, 0xFFFFFFFFu, 0x80000000u};
    struct Case {
        const char* name;
        std::uint32_t bits;
        std::uint32_t format;
        std::vector<std::uint8_t> data;
        std::vector<std::uint16_t> samples;
    };
    for (const Case& c : {Case{"unit.tif", 32, 3, bytesOf(unit, sizeof unit), {0, 16384, 32768, 65535}},
                          Case{"overshoot.tif", 32, 3, bytesOf(overshoot, sizeof overshoot), {0, 32768, 65535, 65535}},
                          Case{"counts.tif", 32, 3, bytesOf(counts, sizeof counts), {0, 1000, 65535, 65535}},
                          Case{"double.tif", 64, 3, bytesOf(wide, sizeof wide), {0, 1, 4095, 65535}},
                          Case{"integers.tif", 32, 1, bytesOf(integers, sizeof integers), {0, 1000, 65535, 32768}}}) {
        SCOPED_TRACE(c.name);
        const std::string path = writeFile(
            dir, c.name,
            test::tinyTiff({{256, 4, {4}}, {257, 4, {1}}, {258, 3, {c.bits}}, {259, 3, {1}}, {262, 3, {1}}, {273, 4, {0}},
                            {277, 3, {1}}, {278, 4, {1}}, {279, 4, {std::uint32_t(c.data.size())}}, {339, 3, {c.format}}},
                           c.data));
        DeepPicture deep;
        std::string why;
        ASSERT_EQ(readDeepPicture(path, deep, &why), DecodeStatus::Ok) << why;
        EXPECT_EQ(deep.samples, c.samples);
        EXPECT_EQ(deep.bitsPerSample, 16);
        EXPECT_EQ(deepFileBits(path), 16);
        std::unique_ptr<MemorySurface> cells;
        ASSERT_EQ(decodeToSurface(path, cells), DecodeStatus::Ok);
        for (int x = 0; x < 4; ++x) EXPECT_EQ(cells->pixelAt(x, 0)[1], eightBitsOf(c.samples[std::size_t(x)])) << x;
    }
}

// A TIFF of 16-bit (half-precision) floating-point colour samples, as HDR tools export, loads as
// Qt's reader reads it: taking every floating-point TIFF for the deep reader, which reads 32 and
// 64 bits only, refused it as not a valid picture.
TEST(DeepReader, HalfPrecisionFloatingPointColourLoadsAsQtReadsIt) {
    QTemporaryDir dir;
    // 0, 0.25, 0.5 | 1, 0.75, 0.125 as half-precision numbers.
    const std::uint16_t halves[6] = {0x0000, 0x3400, 0x3800, 0x3C00, 0x3A00, 0x3000};
    const std::vector<std::uint8_t> data = bytesOf(halves, sizeof halves);
    const std::string path = writeFile(
        dir, "half.tif",
        test::tinyTiff({{256, 4, {2}}, {257, 4, {1}}, {258, 3, {16, 16, 16}}, {259, 3, {1}}, {262, 3, {2}}, {273, 4, {0}},
                        {277, 3, {3}}, {278, 4, {1}}, {279, 4, {std::uint32_t(data.size())}}, {339, 3, {3, 3, 3}}},
                       data));
    const QImage byQt(QString::fromStdString(path));
    ASSERT_FALSE(byQt.isNull());
    EXPECT_EQ(byQt.pixel(1, 0) & 0xFFFFFF, qRgb(255, 191, 32) & 0xFFFFFF);
    std::unique_ptr<MemorySurface> cells;
    ASSERT_EQ(decodeToSurface(path, cells), DecodeStatus::Ok);
    EXPECT_EQ(cells->rounded(), toRoundedBgr(byQt));
    int w = 0, h = 0;
    EXPECT_EQ(readPictureSize(path, w, h), DecodeStatus::Ok);
    EXPECT_EQ(w, 2);
}
