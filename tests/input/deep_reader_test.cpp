// TIFF and PNG at full depth: every layout the writers make read back sample for sample, the
// 8-bit view of an 8-bit file equal to what Qt reads, and damaged or foreign files refused (BigTIFF,
// alpha channels and wide or floating-point samples are in deep_reader_layouts_test.cpp).
#include "input/deep_reader.h"
#include "output/deep_writer.h"
#include "base/runtime_error.h"
#include "input/memory_budget.h"
#include "input/picture_file.h"
#include "deep_samples.h"
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
using orv::test::randomPicture;
using orv::test::writeFile;

namespace {

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

TEST(DeepReader, ARowOfExtraSamplesCountsBesideThePicture) {
    // 64 x 2 16-bit RGB with 61 extra samples a pixel: the picture keeps 768 bytes of it, but each
    // row is read whole, 8 KiB, and must fit the memory left as well.
    QTemporaryDir dir;
    const std::vector<std::uint8_t> data(64 * 64 * 2 * 2, 0x40);
    const std::string path = writeFile(
        dir, "extra.tif",
        test::tinyTiff({{256, 4, {64}}, {257, 4, {2}}, {258, 3, std::vector<std::uint32_t>(64, 16)}, {259, 3, {1}},
                        {262, 3, {2}}, {273, 4, {0}}, {277, 3, {64}}, {278, 4, {2}},
                        {279, 4, {std::uint32_t(data.size())}}, {338, 3, std::vector<std::uint32_t>(61, 0)}},
                       data));
    DeepPicture out;
    setMemoryCeiling(4000);
    try {
        readDeepPicture(path, out);
        ADD_FAILURE() << "a row larger than the memory left was read";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 7);
    }
    setMemoryCeiling(20000);
    EXPECT_EQ(readDeepPicture(path, out), DecodeStatus::Ok);
    setMemoryCeiling(0);
    EXPECT_EQ(out.width, 64);
    EXPECT_EQ(out.height, 2);
    EXPECT_EQ(out.channels, 3);
    EXPECT_EQ(out.at(63, 1, 2), 0x4040);
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

// A field of /proc/self/status in KiB (VmRSS, VmHWM); -1 when it cannot be read.
long statusKib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, field.size() + 1, field + ":") == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

} // namespace

// A TIFF is read through its rows: the file is not mapped into the process whole beside the
// picture read from it, which would take as much memory again while it is read (a series read
// ahead, twice).
TEST(DeepReader, ATiffIsReadWithoutTheWholeFileHeldBesideThePicture) {
    QTemporaryDir dir;
    const DeepPicture picture = randomPicture(1024, 1024, 3, 16, 9);
    const std::vector<std::uint8_t> bytes = encodeDeepTiff(picture, 16, {TiffCompression::None, 0});
    const std::string path = writeFile(dir, "big.tif", bytes);
    DeepPicture out;
    ASSERT_EQ(readDeepPicture(path, out), DecodeStatus::Ok); // the picture's own buffer, made once
    // The peak is set back to what the process holds now (Linux 4.0 and later).
    if (!std::ofstream("/proc/self/clear_refs").write("5", 1).flush()) GTEST_SKIP() << "the peak cannot be set back";
    const long before = statusKib("VmRSS");
    ASSERT_GT(before, 0);
    ASSERT_EQ(readDeepPicture(path, out), DecodeStatus::Ok);
    const long grown = statusKib("VmHWM") - before;
    EXPECT_LT(grown, long(bytes.size() / 1024 / 4)) << "KiB held beside the picture while it was read";
    EXPECT_EQ(out, picture);
}

// A side longer than any series picture may have is refused before the pixels are read, whole
// file or not: a header of a few bytes claiming 40000 rows of tiles would otherwise keep the
// reading busy with tiles that are not there.
TEST(DeepReader, ASideLongerThanAPictureMayHaveIsRefusedBeforeItIsRead) {
    QTemporaryDir dir;
    auto greyStrip = [](std::uint32_t height) {
        return test::tinyTiff({{256, 4, {1}}, {257, 4, {height}}, {258, 3, {8}}, {259, 3, {1}}, {262, 3, {1}},
                               {273, 4, {0}}, {277, 3, {1}}, {278, 4, {height}}, {279, 4, {height}}},
                              std::vector<std::uint8_t>(height, 0x80));
    };
    const std::vector<std::uint8_t> tilesMissing =
        test::tinyTiff({{256, 4, {20}}, {257, 4, {40000}}, {258, 3, {16}}, {259, 3, {1}}, {262, 3, {1}}, {277, 3, {1}},
                        {322, 4, {16}}, {323, 4, {16}}, {324, 4, {0, 512}}, {325, 4, {512, 512}}},
                       zeros(1024));
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> refused{
        {"long.tif", greyStrip(40000)},
        {"tiles.tif", tilesMissing},
        {"long.png", encodeDeepPng(randomPicture(1, 40000, 1, 16, 5), 16)}};
    for (const auto& [name, bytes] : refused) {
        DeepPicture out;
        std::string why;
        EXPECT_EQ(readDeepPicture(writeFile(dir, name, bytes), out, &why), DecodeStatus::Invalid) << name;
        EXPECT_NE(why.find("32764"), std::string::npos) << name << ": " << why;
        EXPECT_TRUE(out.empty()) << name;
    }
    // The longest side there may be is read.
    DeepPicture out;
    ASSERT_EQ(readDeepPicture(writeFile(dir, "longest.tif", greyStrip(32764)), out), DecodeStatus::Ok);
    EXPECT_EQ(out.height, 32764);
}
