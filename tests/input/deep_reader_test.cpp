// TIFF and PNG at full depth: every layout the writers make read back sample for sample, the
// 8-bit view of an 8-bit file equal to what Qt reads, and damaged or foreign files refused.
#include "input/deep_reader.h"
#include "output/deep_writer.h"
#include "base/runtime_error.h"
#include "input/memory_budget.h"
#include "input/picture_file.h"
#include "tiny_tiff.h"

#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <random>

using namespace orv;

namespace {

// Samples over the whole 16-bit range (most not multiples of 257), or 8-bit values held as v * 257.
DeepPicture randomPicture(int w, int h, int channels, int bits, unsigned seed) {
    DeepPicture p(w, h, channels, bits);
    std::mt19937 rng(seed);
    for (std::uint16_t& s : p.samples) s = bits == 16 ? std::uint16_t(rng()) : std::uint16_t((rng() & 0xff) * 257);
    return p;
}

std::string writeFile(const QTemporaryDir& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir.path().toStdString() + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

struct RoundTrip {
    const char* name;
    bool png;
    int channels;
    int bits;
    TiffCompression compression;
    int tileSide;
};

class DeepRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

} // namespace

TEST_P(DeepRoundTrip, EverySampleComesBack) {
    const RoundTrip c = GetParam();
    // 37 x 29: neither a multiple of the tile side nor of 4.
    const DeepPicture picture = randomPicture(37, 29, c.channels, c.bits, 17);
    QTemporaryDir dir;
    const std::vector<std::uint8_t> bytes =
        c.png ? encodeDeepPng(picture, c.bits) : encodeDeepTiff(picture, c.bits, DeepTiffLayout{c.compression, c.tileSide});
    const std::string path = writeFile(dir, std::string("p") + (c.png ? ".png" : ".tif"), bytes);
    EXPECT_EQ(deepFileBits(path), c.bits);
    DeepPicture back;
    std::string why;
    ASSERT_EQ(readDeepPicture(path, back, &why), DecodeStatus::Ok) << why;
    EXPECT_EQ(back, picture);
    // Into a picture that held another, larger one: the same samples and nothing of the other's;
    // then again at the same size, in the same buffer (a series read one picture at a time).
    DeepPicture reused = randomPicture(64, 48, 3, 16, 5);
    ASSERT_EQ(readDeepPicture(path, reused), DecodeStatus::Ok);
    EXPECT_EQ(reused, picture);
    const std::uint16_t* buffer = reused.samples.data();
    ASSERT_EQ(readDeepPicture(path, reused), DecodeStatus::Ok);
    EXPECT_EQ(reused, picture);
    EXPECT_EQ(reused.samples.data(), buffer);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DeepRoundTrip,
    ::testing::Values(RoundTrip{"TiffRgb16Plain", false, 3, 16, TiffCompression::None, 0},
                      RoundTrip{"TiffRgb16Lzw", false, 3, 16, TiffCompression::Lzw, 0},
                      RoundTrip{"TiffRgb16Deflate", false, 3, 16, TiffCompression::Deflate, 0},
                      RoundTrip{"TiffRgb16PackBits", false, 3, 16, TiffCompression::PackBits, 0},
                      RoundTrip{"TiffGrey16Lzw", false, 1, 16, TiffCompression::Lzw, 0},
                      RoundTrip{"TiffRgb16Tiles", false, 3, 16, TiffCompression::Deflate, 16},
                      RoundTrip{"TiffGrey16TilesPlain", false, 1, 16, TiffCompression::None, 32},
                      RoundTrip{"TiffRgb8Tiles", false, 3, 8, TiffCompression::None, 16},
                      RoundTrip{"TiffRgb8Lzw", false, 3, 8, TiffCompression::Lzw, 0},
                      RoundTrip{"PngRgb16", true, 3, 16, TiffCompression::None, 0},
                      RoundTrip{"PngGrey16", true, 1, 16, TiffCompression::None, 0},
                      RoundTrip{"PngRgb8", true, 3, 8, TiffCompression::None, 0},
                      RoundTrip{"PngGrey8", true, 1, 8, TiffCompression::None, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// (Qt's reader refuses tiled TIFF files, which this reader takes: the round trips above hold them.)
TEST(DeepReader, TheEightBitViewOfAnEightBitFileIsWhatQtReads) {
    QTemporaryDir dir;
    const DeepPicture picture = randomPicture(33, 18, 3, 8, 5);
    for (const auto& [name, bytes] : {std::pair{std::string("t.tif"), encodeDeepTiff(picture, 8, {TiffCompression::Lzw, 0})},
                                      std::pair{std::string("t.png"), encodeDeepPng(picture, 8)}}) {
        const std::string path = writeFile(dir, name, bytes);
        DeepPicture back;
        ASSERT_EQ(readDeepPicture(path, back), DecodeStatus::Ok) << name;
        const std::vector<std::uint8_t> cells = deepToRoundedBgr(back);
        const QImage qt = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
        ASSERT_EQ(qt.size(), QSize(33, 18)) << name;
        const int W = 36;
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 33; ++x) {
                const std::uint8_t* c = &cells[3 * (std::size_t(18 - 1 - y) * W + std::size_t(x))];
                ASSERT_EQ(qRgb(c[2], c[1], c[0]), qt.pixel(x, y)) << name << " " << x << "," << y;
            }
    }
}

TEST(DeepReader, ASixteenBitFilesEightBitViewIsWhatQtReads) {
    QTemporaryDir dir;
    const DeepPicture picture = randomPicture(20, 10, 3, 16, 8);
    const std::string path = writeFile(dir, "d.png", encodeDeepPng(picture, 16));
    DeepPicture back;
    ASSERT_EQ(readDeepPicture(path, back), DecodeStatus::Ok);
    const std::vector<std::uint8_t> cells = deepToRoundedBgr(back);
    const QImage qt = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const std::uint8_t* c = &cells[3 * (std::size_t(10 - 1 - y) * 20 + std::size_t(x))];
            ASSERT_EQ(qRgb(c[2], c[1], c[0]), qt.pixel(x, y)) << x << "," << y;
        }
}

TEST(DeepReader, MissingForeignAndDamagedFilesAreRefusedWithAReason) {
    QTemporaryDir dir;
    DeepPicture out;
    std::string why;
    EXPECT_EQ(readDeepPicture(dir.path().toStdString() + "/none.tif", out, &why), DecodeStatus::Missing);

    const std::string bmp = writeFile(dir, "x.tif", {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(readDeepPicture(bmp, out, &why), DecodeStatus::Invalid);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(deepFileBits(bmp), 0);

    const DeepPicture picture = randomPicture(64, 64, 3, 16, 3);
    for (const auto& [name, full] : {std::pair{std::string("cut.tif"), encodeDeepTiff(picture, 16, {TiffCompression::Lzw, 0})},
                                     std::pair{std::string("cut.png"), encodeDeepPng(picture, 16)}}) {
        const std::vector<std::uint8_t> cut(full.begin(), full.begin() + std::ptrdiff_t(full.size() / 2));
        why.clear();
        EXPECT_EQ(readDeepPicture(writeFile(dir, name, cut), out, &why), DecodeStatus::Invalid) << name;
        EXPECT_FALSE(why.empty()) << name;
        EXPECT_TRUE(out.empty()) << name;
    }
}

TEST(DeepWriter, RefusesWhatItCannotWrite) {
    EXPECT_THROW(encodeDeepPng(DeepPicture{}, 16), RuntimeError);
    EXPECT_THROW(encodeDeepTiff(randomPicture(4, 4, 3, 16, 1), 12), RuntimeError);
    EXPECT_THROW(encodeDeepTiff(randomPicture(4, 4, 3, 16, 1), 16, {TiffCompression::None, 10}), RuntimeError);
}

TEST(DeepReader, ATiledSeriesPictureIsReadByTheDeepReader) {
    QTemporaryDir dir;
    const DeepPicture picture = randomPicture(37, 21, 3, 8, 11);
    const std::string path = writeFile(dir, "tiled1.tif", encodeDeepTiff(picture, 8, {TiffCompression::None, 16}));
    EXPECT_TRUE(tiledTiff(path));
    std::unique_ptr<MemorySurface> surface;
    ASSERT_EQ(decodeToSurface(path, surface), DecodeStatus::Ok);
    ASSERT_EQ(surface->pictureWidth(), 37);
    ASSERT_EQ(surface->pictureHeight(), 21);
    EXPECT_EQ(surface->rounded(), deepToRoundedBgr(picture));
    // Laid out as the cells of the same picture read through Qt.
    QImage same(37, 21, QImage::Format_RGB888);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x)
            same.setPixel(x, y, qRgb(picture.at(x, y, 0) / 257, picture.at(x, y, 1) / 257, picture.at(x, y, 2) / 257));
    EXPECT_EQ(surface->rounded(), toRoundedBgr(same));
    // A damaged one is still refused as before.
    const std::vector<std::uint8_t> cut = encodeDeepTiff(picture, 8, {TiffCompression::Lzw, 16});
    std::unique_ptr<MemorySurface> none;
    EXPECT_EQ(decodeToSurface(writeFile(dir, "cut1.tif", {cut.begin(), cut.begin() + 200}), none), DecodeStatus::Invalid);
}

namespace {

// Damaged TIFFs of the kinds cameras and tools leave behind, each refused with a reason.
struct DamagedTiff {
    const char* name;
    std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> zeros(std::size_t n) { return std::vector<std::uint8_t>(n, 0x5a); }

// 20 x 10 grey 16-bit in two 16 x 16 tiles (512 bytes each), `dataBytes` of them in the file.
std::vector<std::uint8_t> tiledGrey(std::size_t dataBytes) {
    return test::tinyTiff({{256, 4, {20}}, {257, 4, {10}}, {258, 3, {16}}, {259, 3, {1}}, {262, 3, {1}},
                           {277, 3, {1}}, {322, 4, {16}}, {323, 4, {16}}, {324, 4, {0, 512}}, {325, 4, {512, 512}}},
                          zeros(dataBytes));
}

class DamagedTiffs : public ::testing::TestWithParam<DamagedTiff> {};

} // namespace

TEST_P(DamagedTiffs, AreRefusedWithAReason) {
    QTemporaryDir dir;
    DeepPicture out;
    std::string why;
    EXPECT_EQ(readDeepPicture(writeFile(dir, "d.tif", GetParam().bytes), out, &why), DecodeStatus::Invalid);
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    DeepReader, DamagedTiffs,
    ::testing::Values(
        // libtiff reads a file through a memory map and says nothing of a tile past its end.
        DamagedTiff{"SecondTileCutShort", tiledGrey(700)},
        DamagedTiff{"EveryTileMissing", tiledGrey(0)},
        DamagedTiff{"StripPastTheEnd",
                    test::tinyTiff({{256, 4, {8}}, {257, 4, {4}}, {258, 3, {16, 16, 16}}, {259, 3, {1}}, {262, 3, {2}},
                                    {273, 4, {0}}, {277, 3, {3}}, {278, 4, {4}}, {279, 4, {192}}},
                                   zeros(100))}),
    [](const ::testing::TestParamInfo<DamagedTiff>& info) { return std::string(info.param.name); });

TEST(DeepReader, TheMemoryCheckCountsTheDecodersBuffers) {
    // 64 x 64 16-bit RGB: 24 KiB of samples, and as much again for the decoder's tile or (for an
    // 8-bit PNG, widened into the picture) rows; a 16-bit PNG is decoded into the picture itself.
    QTemporaryDir dir;
    const DeepPicture picture = randomPicture(64, 64, 3, 16, 5);
    const std::string png = writeFile(dir, "m.png", encodeDeepPng(picture, 16));
    const std::string png8 = writeFile(dir, "m8.png", encodeDeepPng(picture, 8));
    const std::string tiled = writeFile(dir, "m.tif", encodeDeepTiff(picture, 16, {TiffCompression::None, 64}));
    DeepPicture out;
    setMemoryCeiling(20000);
    EXPECT_THROW(
        {
            try {
                readDeepPicture(png, out);
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.number(), 7);
                throw;
            }
        },
        RuntimeError);
    setMemoryCeiling(30000);
    {
        DeepPicture fresh, fresh8;
        EXPECT_EQ(readDeepPicture(png, fresh), DecodeStatus::Ok);
        EXPECT_EQ(fresh, picture);
        EXPECT_THROW(readDeepPicture(png8, fresh8), RuntimeError); // 24 KiB of samples and 12 of rows
    }
    setMemoryCeiling(40000);
    EXPECT_THROW(readDeepPicture(tiled, out), RuntimeError);
    setMemoryCeiling(60000);
    EXPECT_EQ(readDeepPicture(png, out), DecodeStatus::Ok);
    EXPECT_EQ(readDeepPicture(tiled, out), DecodeStatus::Ok);
    // Read again into the buffer it has, a picture needs room for the decoder's buffers alone; a
    // fresh picture still needs its samples too.
    setMemoryCeiling(30000);
    EXPECT_EQ(readDeepPicture(png, out), DecodeStatus::Ok);
    EXPECT_EQ(readDeepPicture(tiled, out), DecodeStatus::Ok);
    DeepPicture fresh;
    EXPECT_THROW(readDeepPicture(tiled, fresh), RuntimeError);
    setMemoryCeiling(0);
    EXPECT_EQ(out, picture);
}

TEST(DeepReader, ATagLibtiffSkipsLeavesNoReasonOnAPicture) {
    // A directory entry of tag 0 and no type (which libtiff complains of and skips) before a whole 2 x 1 RGB
    // picture: the picture is read, and no reason is given for a picture that was read.
    QTemporaryDir dir;
    const std::vector<std::uint8_t> samples = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0};
    const std::vector<std::uint8_t> file =
        test::tinyTiff({{0, 0, {1}}, {256, 4, {2}}, {257, 4, {1}}, {258, 3, {16, 16, 16}}, {259, 3, {1}}, {262, 3, {2}},
                        {273, 4, {0}}, {277, 3, {3}}, {278, 4, {1}}, {279, 4, {12}}},
                       samples);
    DeepPicture out;
    std::string why = "left from before";
    ASSERT_EQ(readDeepPicture(writeFile(dir, "t.tif", file), out, &why), DecodeStatus::Ok);
    EXPECT_EQ(why, "");
    EXPECT_EQ(out.samples, (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6}));
}

// Signed samples, as some scientific cameras write them, are moved up by half the range: the
// lowest value black, 0 the middle grey, the highest white. Qt's reader took their bits for
// unsigned ones, so that a value just below 0 came out white; the stack's cells come from the
// deep reader too.
TEST(DeepReader, SignedSamplesAreMovedUpByHalfTheRange) {
    QTemporaryDir dir;
    // Grey, 3 x 1: the lowest value, -1, 0 and the highest (little-endian two's complement).
    const std::vector<std::uint8_t> sixteen = {0x00, 0x80, 0xff, 0xff, 0x00, 0x00, 0xff, 0x7f};
    const std::vector<std::uint8_t> eight = {0x80, 0xff, 0x00, 0x7f};
    struct Case {
        const char* name;
        std::uint32_t bits;
        std::vector<std::uint8_t> data;
        std::vector<std::uint16_t> samples;
    };
    for (const Case& c : {Case{"sixteen.tif", 16, sixteen, {0, 32767, 32768, 65535}},
                          Case{"eight.tif", 8, eight, {0, 127 * 257, 128 * 257, 65535}}}) {
        SCOPED_TRACE(c.name);
        const std::string path = writeFile(
            dir, c.name,
            test::tinyTiff({{256, 4, {4}}, {257, 4, {1}}, {258, 3, {c.bits}}, {259, 3, {1}}, {262, 3, {1}}, {273, 4, {0}},
                            {277, 3, {1}}, {278, 4, {1}}, {279, 4, {std::uint32_t(c.data.size())}}, {339, 3, {2}}},
                           c.data));
        DeepPicture deep;
        ASSERT_EQ(readDeepPicture(path, deep), DecodeStatus::Ok);
        EXPECT_EQ(deep.samples, c.samples);
        std::unique_ptr<MemorySurface> cells;
        ASSERT_EQ(decodeToSurface(path, cells), DecodeStatus::Ok);
        EXPECT_EQ(cells->pixelAt(0, 0)[0], 0);
        EXPECT_EQ(cells->pixelAt(1, 0)[0], 127);
        EXPECT_EQ(cells->pixelAt(2, 0)[0], 128);
        EXPECT_EQ(cells->pixelAt(3, 0)[0], 255);
    }
}

// A plain 16-bit TIFF or PNG is read for the stack by the deep reader (without Qt's 64-bit
// picture): its cells must be those Qt's reader gives, whatever the layout, the channels or a PNG's
// alpha channel; the TIFFs with an alpha channel stay with Qt.
TEST(DeepReader, ASixteenBitPictureReadForTheStackHasTheCellsQtGives) {
    QTemporaryDir dir;
    const DeepPicture rgb = randomPicture(37, 29, 3, 16, 21), grey = randomPicture(37, 29, 1, 16, 22);
    QImage rgba(37, 29, QImage::Format_RGBA64);
    std::mt19937 rng(23);
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 37; ++x)
            rgba.setPixelColor(x, y, QColor::fromRgba64(std::uint16_t(rng()), std::uint16_t(rng()), std::uint16_t(rng()),
                                                        std::uint16_t(rng())));
    QImage greyQt(37, 29, QImage::Format_Grayscale16);
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 37; ++x) reinterpret_cast<std::uint16_t*>(greyQt.scanLine(y))[x] = std::uint16_t(rng());
    std::vector<std::string> paths = {
        writeFile(dir, "rgb.tif", encodeDeepTiff(rgb, 16, {TiffCompression::None, 0})),
        writeFile(dir, "rgb-lzw.tif", encodeDeepTiff(rgb, 16, {TiffCompression::Lzw, 0})),
        writeFile(dir, "grey.tif", encodeDeepTiff(grey, 16, {TiffCompression::Deflate, 0})),
        writeFile(dir, "rgb.png", encodeDeepPng(rgb, 16)),
        writeFile(dir, "grey.png", encodeDeepPng(grey, 16)),
    };
    for (const char* name : {"rgba.png", "rgba.tif"}) {
        const std::string path = dir.path().toStdString() + "/" + name;
        ASSERT_TRUE(rgba.save(QString::fromStdString(path)));
        paths.push_back(path);
    }
    const QImage premultiplied = rgba.convertToFormat(QImage::Format_RGBA64_Premultiplied);
    for (const char* name : {"premultiplied.tif", "premultiplied.png"}) {
        const std::string path = dir.path().toStdString() + "/" + name;
        ASSERT_TRUE(premultiplied.save(QString::fromStdString(path)));
        paths.push_back(path);
    }
    for (const char* name : {"qtgrey.png", "qtgrey.tif"}) {
        const std::string path = dir.path().toStdString() + "/" + name;
        ASSERT_TRUE(greyQt.save(QString::fromStdString(path)));
        paths.push_back(path);
    }
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_EQ(deepFileBits(path), 16);
        // Qt's reader keeps the TIFFs with an alpha channel: it takes a premultiplied one apart.
        EXPECT_EQ(plainSixteenBitFile(path), path.find(".png") != std::string::npos ||
                                                 (path.find("rgba") == std::string::npos &&
                                                  path.find("premultiplied") == std::string::npos));
        QImageReader reader(QString::fromStdString(path));
        reader.setAutoTransform(false);
        const QImage qt = reader.read();
        ASSERT_FALSE(qt.isNull());
        std::unique_ptr<MemorySurface> surface;
        ASSERT_EQ(decodeToSurface(path, surface), DecodeStatus::Ok);
        EXPECT_EQ(surface->pictureWidth(), 37);
        EXPECT_EQ(surface->pictureHeight(), 29);
        EXPECT_EQ(surface->rounded(), toRoundedBgr(qt));
    }
    // Checked against the memory left before its pixels exist, as a picture read by Qt is: its
    // cells, the montage's room and the samples at full depth.
    const std::uint64_t need = pictureMemoryNeed(37, 29, 37u * 29 * 3 * 2);
    std::unique_ptr<MemorySurface> surface;
    struct CeilingLifted {
        ~CeilingLifted() { setMemoryCeiling(0); }
    } lifted;
    setMemoryCeiling(need - 1);
    EXPECT_THROW(decodeToSurface(paths[0], surface), RuntimeError);
    setMemoryCeiling(need);
    EXPECT_EQ(decodeToSurface(paths[0], surface), DecodeStatus::Ok);
}

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
