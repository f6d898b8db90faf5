// Reading pictures from hostile files: cut, damaged, oversized, non-regular and oddly named files
// are read whole or refused (never guessed at, never waited on), and a picture too large for the
// memory left is error 7 before its pixels exist (run-length coded BMPs are in rle_bmp_test.cpp).
#include "input/memory_budget.h"
#include "input/picture_file.h"
#include "input/picture_header.h"
#include "input/series_loader.h"
#include "input/series_naming.h"
#include "input/picture_files.h"
#include "input/test_files.h"
#include "tiny_tiff.h"

#include "base/runtime_error.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace orv;
using namespace orv::test;

namespace {

// A pattern with detail in every channel, `components` bytes a pixel.
RowFill pattern(int w, int components) {
    return [w, components](int y, std::uint8_t* out) {
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < components; ++k)
                out[x * components + k] = std::uint8_t((x * 7 + y * 13 + k * 50 + (x * y) % 17) & 255);
    };
}

// Bytes this process has read from files so far.
std::uint64_t bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

} // namespace

// Every JPEG kind is read with the same pixels Qt's own reader gives, in both layouts.
struct JpegKind {
    const char* name;
    JpegOptions options;
};

class JpegPixels : public PictureFiles, public ::testing::WithParamInterface<JpegKind> {};

TEST_P(JpegPixels, MatchQtsReader) {
    const JpegOptions& o = GetParam().options;
    const int w = 37, h = 29, components = o.colour == JpegColour::Grey ? 1 : o.colour == JpegColour::Rgb ? 3 : 4;
    const std::string file = path("p1.jpg");
    ASSERT_TRUE(writeJpegFile(file, w, h, pattern(w, components), o));
    const QImage qt = QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(qt.size(), QSize(w, h));

    std::unique_ptr<MemorySurface> surface;
    ASSERT_EQ(decodeToSurface(file, surface), DecodeStatus::Ok);
    QImage image;
    ASSERT_EQ(decodePicture(file, image), DecodeStatus::Ok);
    ASSERT_EQ(image.size(), QSize(w, h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb want = qt.pixel(x, y);
            const std::uint8_t* p = surface->pixelAt(x, y);
            ASSERT_EQ(qRgb(p[2], p[1], p[0]), want) << x << "," << y;
            ASSERT_EQ(image.pixel(x, y), want) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, JpegPixels,
    ::testing::Values(JpegKind{"Baseline420", {JpegColour::Rgb, false, 90, false}},
                      JpegKind{"Progressive444", {JpegColour::Rgb, true, 95, true}},
                      JpegKind{"Grey", {JpegColour::Grey, false, 80, false}},
                      JpegKind{"Cmyk", {JpegColour::Cmyk, false, 90, false}}),
    [](const auto& info) { return std::string(info.param.name); });

// A file cut anywhere inside its pixel data is not a picture, in every format; a GIF that lost
// only what follows its pixel data is whole.
struct Cut {
    const char* name;
    const char* file;
    std::size_t (*keep)(std::size_t size);
    DecodeStatus expected;
};

class CutFiles : public PictureFiles, public ::testing::WithParamInterface<Cut> {
protected:
    void SetUp() override {
        const int w = 64, h = 48;
        ASSERT_TRUE(writeBmpFile(path("whole.bmp"), w, h, pattern(w, 3)));
        ASSERT_TRUE(writeJpegFile(path("whole.jpg"), w, h, pattern(w, 3)));
        ASSERT_TRUE(writeJpegFile(path("whole-progressive.jpg"), w, h, pattern(w, 3), {JpegColour::Rgb, true, 90, false}));
        ASSERT_TRUE(writeGifLzwFile(path("whole.gif"), w, h, [](int x, int y) { return std::uint8_t((x / 3 + y / 5) * 9); }));
    }
};

TEST_P(CutFiles, AreRefusedNotFilledIn) {
    const Cut& c = GetParam();
    const std::string whole = path(c.file);
    ASSERT_EQ(readSurface(whole), DecodeStatus::Ok);
    const std::size_t size = fileBytes(whole).size();
    const std::string cut = path(std::string("cut-") + c.file);
    ASSERT_TRUE(cutFile(whole, cut, c.keep(size)));
    EXPECT_EQ(readSurface(cut), c.expected);
    EXPECT_EQ(readImage(cut), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CutFiles,
    ::testing::Values(
        Cut{"BmpInItsHeader", "whole.bmp", [](std::size_t) -> std::size_t { return 30; }, DecodeStatus::Invalid},
        Cut{"BmpInItsRows", "whole.bmp", [](std::size_t s) { return s / 2; }, DecodeStatus::Invalid},
        Cut{"BmpInItsLastRow", "whole.bmp", [](std::size_t s) { return s - 1; }, DecodeStatus::Invalid},
        Cut{"JpegInItsHeader", "whole.jpg", [](std::size_t) -> std::size_t { return 100; }, DecodeStatus::Invalid},
        Cut{"JpegInItsData", "whole.jpg", [](std::size_t s) { return s / 2; }, DecodeStatus::Invalid},
        Cut{"JpegWithoutItsEndMarker", "whole.jpg", [](std::size_t s) { return s - 2; }, DecodeStatus::Invalid},
        Cut{"ProgressiveJpegInALaterScan", "whole-progressive.jpg", [](std::size_t s) { return s * 3 / 4; }, DecodeStatus::Invalid},
        Cut{"GifInItsPalette", "whole.gif", [](std::size_t) -> std::size_t { return 200; }, DecodeStatus::Invalid},
        Cut{"GifInItsData", "whole.gif", [](std::size_t s) { return s / 2; }, DecodeStatus::Invalid},
        Cut{"GifInItsLastCodes", "whole.gif", [](std::size_t s) { return s - 6; }, DecodeStatus::Invalid},
        Cut{"GifAfterItsPixels", "whole.gif", [](std::size_t s) { return s - 1; }, DecodeStatus::Ok}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PictureFiles, GifPixelsAreCountedThroughEveryCodeSize) {
    // Few colours in long runs: the table fills, codes grow to 12 bits and clear codes follow.
    const int w = 640, h = 400;
    auto index = [](int x, int y) { return std::uint8_t(((x / 7) ^ (y / 3)) % 5 * 40); };
    ASSERT_TRUE(writeGifLzwFile(path("big.gif"), w, h, index));
    std::vector<std::uint8_t> bytes = fileBytes(path("big.gif"));
    ByteStream whole(bytes.data(), bytes.size());
    const HeaderFacts facts = readGifHeader(whole);
    EXPECT_TRUE(facts.readable && facts.complete);
    EXPECT_EQ(facts.width, w);
    EXPECT_EQ(facts.height, h);
    // The writer's codes are the ones Qt reads.
    const QImage qt(QString::fromStdString(path("big.gif")));
    ASSERT_EQ(qt.size(), QSize(w, h));
    EXPECT_EQ(qGray(qt.pixel(w - 1, h - 1)), index(w - 1, h - 1));
    bytes.resize(bytes.size() - 20);
    ByteStream cut(bytes.data(), bytes.size());
    EXPECT_FALSE(readGifHeader(cut).complete);
}

// The picture a source window is handed with the decoded cells: the same pixels, 32-bit (the
// decoder's own picture when it is one), and a GIF as Qt reads it (with any palette); loading a series hands one
// such picture for each picture stored.
TEST_F(PictureFiles, ThePictureAWindowShowsHasTheCellsPixels) {
    const int w = 23, h = 11;
    ASSERT_TRUE(writeJpegFile(path("s1.jpg"), w, h, pattern(w, 3), JpegOptions{}));
    QImage rgb(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) rgb.setPixel(x, y, qRgb(x * 11, y * 23, (x * y) & 255));
    ASSERT_TRUE(rgb.save(QString::fromStdString(path("s2.bmp")), "BMP"));
    ASSERT_TRUE(rgb.convertToFormat(QImage::Format_Indexed8).save(QString::fromStdString(path("s3.bmp")), "BMP"));
    QImage alpha = rgb.convertToFormat(QImage::Format_ARGB32);
    alpha.setPixel(3, 4, qRgba(200, 100, 50, 7));
    ASSERT_TRUE(alpha.save(QString::fromStdString(path("s4.png")), "PNG"));
    ASSERT_TRUE(writeGifLzwFile(path("s5.gif"), w, h, [](int x, int y) { return std::uint8_t((x + y) % 5 * 40); }));

    auto expectSame = [](const MemorySurface& cells, const QImage& shown, const std::string& name) {
        ASSERT_EQ(shown.size(), QSize(cells.pictureWidth(), cells.pictureHeight())) << name;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const std::uint8_t* c = cells.pixelAt(x, y);
                ASSERT_EQ(shown.pixel(x, y), qRgb(c[2], c[1], c[0])) << name << " " << x << "," << y;
            }
    };
    for (const std::string name : {"s1.jpg", "s2.bmp", "s3.bmp", "s4.png", "s5.gif"}) {
        std::unique_ptr<MemorySurface> cells;
        QImage shown;
        ASSERT_EQ(decodeToSurface(path(name), cells, &shown), DecodeStatus::Ok) << name;
        expectSame(*cells, shown, name);
        if (name == "s5.gif") {
            // Qt's own picture, palette and all, as the window reading the file itself would get.
            QImage qt;
            ASSERT_EQ(decodePicture(path(name), qt), DecodeStatus::Ok);
            EXPECT_EQ(shown, qt);
            EXPECT_EQ(shown.colorTable(), qt.colorTable());
        } else {
            // The alpha of the PNG is dropped, as the montage drops it.
            EXPECT_EQ(shown.format(), QImage::Format_RGB32) << name;
        }
    }

    for (int k = 1; k <= 3; ++k) ASSERT_TRUE(rgb.scaled(w + k, h).save(QString::fromStdString(path("t" + std::to_string(k) + ".bmp")), "BMP"));
    std::vector<std::unique_ptr<MemorySurface>> out;
    std::vector<QImage> shown;
    const SeriesResult r = loadSeriesSurfaces(*parseSeriesName(path("t1.bmp")), out, {}, {}, &shown);
    ASSERT_EQ(r.count, 3);
    ASSERT_EQ(shown.size(), 3u);
    for (int k = 0; k < 3; ++k) expectSame(*out[std::size_t(k)], shown[std::size_t(k)], "t" + std::to_string(k + 1));
}

TEST_F(PictureFiles, WhatIsNotARegularFileIsInvalidAndNeverWaitedOn) {
    // Opening a FIFO for reading waits for a writer unless it is refused first.
    ASSERT_EQ(::mkfifo(path("f1.bmp").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(path("d1.bmp").c_str(), 0700), 0);
    for (const char* name : {"f1.bmp", "d1.bmp"}) {
        EXPECT_TRUE(fileExists(path(name)));
        EXPECT_EQ(readSurface(path(name)), DecodeStatus::Invalid) << name;
        EXPECT_EQ(readImage(path(name)), DecodeStatus::Invalid) << name;
    }
    EXPECT_EQ(readSurface(path("absent1.bmp")), DecodeStatus::Missing);
    EXPECT_EQ(readSurface(path("f1.bmp/x1.bmp")), DecodeStatus::Missing);
}

TEST_F(PictureFiles, NamesReachTheSystemAsTheirBytes) {
    // Latin-1 "é": not valid UTF-8, so a detour through QString would name another file.
    const std::string name = path("caf\xe9" "01.jpg");
    ASSERT_TRUE(writeJpegFile(name, 8, 8, pattern(8, 3)));
    EXPECT_TRUE(fileExists(name));
    EXPECT_EQ(readSurface(name), DecodeStatus::Ok);
    const std::string bmp = path("caf\xe9" "01.bmp");
    ASSERT_TRUE(writeBmpFile(bmp, 8, 8, pattern(8, 3)));
    EXPECT_EQ(readSurface(bmp), DecodeStatus::Ok);
    EXPECT_EQ(readImage(bmp), DecodeStatus::Ok);
    // QTemporaryDir removes what it can name as text.
    ::unlink(name.c_str());
    ::unlink(bmp.c_str());
}

// BMP and GIF pictures above Qt's default 128 MiB allocation limit (33.5 megapixels at four bytes
// a pixel) load like JPEGs of the same size.
TEST_F(PictureFiles, PicturesAboveQtsDefaultAllocationLimitLoad) {
    const int w = 6000, h = 5600;
    ASSERT_TRUE(writeBmpFile(path("big1.bmp"), w, h, uniformRow(w, {10, 200, 30})));
    ASSERT_TRUE(writeGifLzwFile(path("big1.gif"), w, h, [](int, int) { return std::uint8_t(77); }));
    for (const char* name : {"big1.bmp", "big1.gif"}) {
        std::unique_ptr<MemorySurface> s;
        ASSERT_EQ(decodeToSurface(path(name), s), DecodeStatus::Ok) << name;
        EXPECT_EQ(s->pictureWidth(), w);
        EXPECT_EQ(s->pictureHeight(), h);
        const std::uint8_t* p = s->pixelAt(w - 1, h - 1);
        if (std::string(name).ends_with(".bmp"))
            EXPECT_EQ(std::vector<int>(p, p + 3), (std::vector<int>{10, 200, 30}));
        else
            EXPECT_EQ(std::vector<int>(p, p + 3), (std::vector<int>{77, 77, 77}));
    }
}

TEST_F(PictureFiles, SidesBeyondWhatTheEngineCanAddressAreInvalid) {
    // 32764 is the largest side that stays within 16 bits once rounded up to a multiple of 4.
    ASSERT_TRUE(writeBmpFile(path("w1.bmp"), 32764, 1, uniformRow(32764, {1, 2, 3})));
    ASSERT_TRUE(writeBmpFile(path("w2.bmp"), 32765, 1, uniformRow(32765, {1, 2, 3})));
    ASSERT_TRUE(writeJpegFile(path("w3.jpg"), 32765, 8, uniformRow(32765, {9, 9, 9})));
    ASSERT_TRUE(writeGifLzwFile(path("w4.gif"), 32765, 1, [](int, int) { return std::uint8_t(1); }));
    EXPECT_EQ(readSurface(path("w1.bmp")), DecodeStatus::Ok);
    for (const char* name : {"w2.bmp", "w3.jpg", "w4.gif"}) {
        EXPECT_EQ(readSurface(path(name)), DecodeStatus::Invalid) << name;
        EXPECT_EQ(readImage(path(name)), DecodeStatus::Invalid) << name;
    }
}

TEST_F(PictureFiles, HeadersClaimingMoreThanTheFileHoldsAreRefusedBeforeAnyAllocation) {
    // With a ceiling far below what the claimed pictures need, reaching the memory check (or
    // allocating) would be error 7; the files are refused as the invalid pictures they are.
    setMemoryCeiling(std::uint64_t(64) << 20);
    ASSERT_TRUE(writeJpegFile(path("claim1.jpg"), 64, 64, pattern(64, 3)));
    ASSERT_TRUE(patchJpegSides(path("claim1.jpg"), 32764, 32764));
    ASSERT_TRUE(writeJpegFile(path("claim2.jpg"), 64, 64, pattern(64, 1), {JpegColour::Grey, true, 90, false}));
    ASSERT_TRUE(patchJpegSides(path("claim2.jpg"), 30000, 20000));
    std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '7', 'a', 0x30, 0x75, 0x30, 0x75, 0, 0, 0,
                                     0x2C, 0, 0, 0, 0, 0x30, 0x75, 0x30, 0x75, 0, 8, 2, 0x00, 0x01, 0, 0x3B};
    ASSERT_TRUE(putFileBytes(path("claim3.gif"), gif));
    ASSERT_TRUE(writeBmpFile(path("claim4.bmp"), 8, 8, pattern(8, 3)));
    std::vector<std::uint8_t> bmp = fileBytes(path("claim4.bmp"));
    bmp[18] = 0x30, bmp[19] = 0x75, bmp[22] = 0x30, bmp[23] = 0x75; // 30000 x 30000
    ASSERT_TRUE(putFileBytes(path("claim4.bmp"), bmp));
    for (const char* name : {"claim1.jpg", "claim2.jpg", "claim3.gif", "claim4.bmp"}) {
        EXPECT_EQ(readSurface(path(name)), DecodeStatus::Invalid) << name;
        EXPECT_EQ(readImage(path(name)), DecodeStatus::Invalid) << name;
    }
}

// A file of 4.3 GB is refused after a glance at its first bytes, whatever its signature.
struct Junk {
    const char* name;
    std::vector<std::uint8_t> head;
};

class HugeJunk : public PictureFiles, public ::testing::WithParamInterface<Junk> {};

TEST_P(HugeJunk, IsRefusedWithoutReadingItThrough) {
    const std::string file = path("junk2.bmp");
    ASSERT_TRUE(sparseFile(file, (std::uint64_t(43) << 30) / 10, GetParam().head));
    const std::uint64_t before = bytesRead();
    EXPECT_EQ(readSurface(file), DecodeStatus::Invalid);
    EXPECT_EQ(readImage(file), DecodeStatus::Invalid);
    // Two reads, each at most the 64 MiB a JPEG's headers may take.
    EXPECT_LT(bytesRead() - before, std::uint64_t(140) << 20);
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, HugeJunk,
    ::testing::Values(Junk{"None", {}}, Junk{"Bmp", {'B', 'M'}}, Junk{"Jpeg", {0xFF, 0xD8, 0xFF}},
                      Junk{"Gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xFE}}),
    [](const auto& info) { return std::string(info.param.name); });

// A picture too large for the memory left is error 7 before its pixels are allocated, in either
// layout and every format; the same picture loads when the memory is there.
class TooLarge : public PictureFiles, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        const int w = 400, h = 300;
        ASSERT_TRUE(writeBmpFile(path("m1.bmp"), w, h, pattern(w, 3)));
        ASSERT_TRUE(writeJpegFile(path("m1.jpg"), w, h, pattern(w, 3)));
        ASSERT_TRUE(writeGifLzwFile(path("m1.gif"), w, h, [](int x, int) { return std::uint8_t(x); }));
    }
};

TEST_P(TooLarge, IsOutOfMemoryBeforeDecoding) {
    const std::string file = path(GetParam());
    // Cells of 400 x 300 are 360,000 bytes; with the montage still to come the need is three times that.
    EXPECT_EQ(pictureMemoryNeed(400, 300, 0), 3u * 400 * 300 * 3);
    setMemoryCeiling(1 << 20);
    for (auto read : {readSurface, readImage}) {
        try {
            read(file);
            ADD_FAILURE() << "no error for " << GetParam();
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 7);
        }
    }
    setMemoryCeiling(0);
    EXPECT_EQ(readSurface(file), DecodeStatus::Ok);
    EXPECT_EQ(readImage(file), DecodeStatus::Ok);
}

INSTANTIATE_TEST_SUITE_P(Formats, TooLarge, ::testing::Values("m1.bmp", "m1.jpg", "m1.gif"), [](const auto& info) {
    std::string name = info.param;
    for (char& c : name)
        if (c == '.') c = '_';
    return name;
});

// PNG files of every colour type read to the same cells as Qt's PNG reader gives (palette with
// transparency, grey of 1 bit, grey with alpha), and a damaged or cut PNG is refused
// in the program's words alone: libpng's own error handler would print its line on standard
// error first.
TEST_F(PictureFiles, PngFilesReadAsQtReadsThemAndDamageIsNotPrintedByLibpng) {
    QImage palette(5, 3, QImage::Format_Indexed8);
    palette.setColorTable({qRgba(200, 100, 50, 0), qRgba(10, 20, 30, 128), qRgb(0, 255, 0)});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) palette.setPixel(x, y, uint((x + y) % 3));
    QImage mono(9, 4, QImage::Format_Mono);
    mono.fill(0);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int x = 0; x < 9; x += 2) mono.setPixel(x, 1, 1);
    QImage greyAlpha(6, 5, QImage::Format_ARGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) greyAlpha.setPixel(x, y, qRgba(x * 40, x * 40, x * 40, y * 60));
    QImage colour(33, 17, QImage::Format_RGB32);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x) colour.setPixel(x, y, qRgb(x * 7, y * 13, (x * y) & 255));
    const std::pair<const char*, QImage> files[] = {
        {"palette.png", palette}, {"mono.png", mono}, {"greyalpha.png", greyAlpha}, {"colour.png", colour}};
    for (const auto& [name, image] : files) {
        ASSERT_TRUE(image.save(QString::fromStdString(path(name)), "PNG")) << name;
        QImage byQt(QString::fromStdString(path(name)), "PNG");
        ASSERT_FALSE(byQt.isNull()) << name;
        std::unique_ptr<MemorySurface> s;
        ASSERT_EQ(decodeToSurface(path(name), s), DecodeStatus::Ok) << name;
        EXPECT_EQ(s->rounded(), toRoundedBgr(byQt)) << name;
        QImage read;
        ASSERT_EQ(decodePicture(path(name), read), DecodeStatus::Ok) << name;
        EXPECT_EQ(toRoundedBgr(read), toRoundedBgr(byQt)) << name;
    }

    // A byte of the compressed data turned over, the file cut inside its data, and cut inside its header.
    std::vector<std::uint8_t> bytes = fileBytes(path("colour.png"));
    const auto idat = std::search(bytes.begin(), bytes.end(), std::begin("IDAT"), std::end("IDAT") - 1);
    ASSERT_NE(idat, bytes.end());
    std::vector<std::uint8_t> damaged = bytes;
    damaged[std::size_t(idat - bytes.begin()) + 12] ^= 0xFF;
    ASSERT_TRUE(putFileBytes(path("damaged.png"), damaged));
    ASSERT_TRUE(cutFile(path("colour.png"), path("cut.png"), std::size_t(idat - bytes.begin()) + 20));
    ASSERT_TRUE(cutFile(path("colour.png"), path("header.png"), 20));
    for (const char* name : {"damaged.png", "cut.png", "header.png"}) {
        ::testing::internal::CaptureStderr();
        const DecodeStatus surface = readSurface(path(name));
        const DecodeStatus image = readImage(path(name));
        int w = 0, h = 0;
        const DecodeStatus sized = readPictureSize(path(name), w, h);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(surface, DecodeStatus::Invalid) << name;
        EXPECT_EQ(image, DecodeStatus::Invalid) << name;
        if (std::string(name) == "header.png") {
            EXPECT_EQ(sized, DecodeStatus::Invalid);
        }
        EXPECT_EQ(said, "") << name;
    }
}

// A picture refused for its size is said to be too large, with its sides, in every format; one
// just within the limit, or one refused for damage, keeps the invalid-picture message.
TEST_F(PictureFiles, APictureRefusedForItsSizeIsSaidToBeTooLarge) {
    ASSERT_TRUE(writeBmpFile(path("w1.bmp"), 32764, 1, uniformRow(32764, {1, 2, 3})));
    ASSERT_TRUE(writeBmpFile(path("w2.bmp"), 32765, 1, uniformRow(32765, {1, 2, 3})));
    ASSERT_TRUE(writeJpegFile(path("w3.jpg"), 8, 40000, uniformRow(8, {9, 9, 9})));
    ASSERT_TRUE(writeGifLzwFile(path("w4.gif"), 32765, 1, [](int, int) { return std::uint8_t(1); }));
    QImage wide(33000, 2, QImage::Format_Grayscale8);
    wide.fill(5);
    ASSERT_TRUE(wide.save(QString::fromStdString(path("w5.png")), "PNG"));
    ASSERT_TRUE(wide.save(QString::fromStdString(path("w6.tif")), "TIFF"));
    ASSERT_TRUE(putFileBytes(path("w7.bmp"), std::vector<std::uint8_t>(100, 'x')));
    const std::pair<const char*, const char*> cases[] = {{"w2.bmp", "(32765,1)"}, {"w3.jpg", "(8,40000)"},
                                                         {"w4.gif", "(32765,1)"}, {"w5.png", "(33000,2)"},
                                                         {"w6.tif", "(33000,2)"}};
    for (const auto& [name, sides] : cases) {
        ASSERT_EQ(readSurface(path(name)), DecodeStatus::Invalid) << name;
        const Prompt said = refusedPicturePrompt(path(name));
        EXPECT_EQ(said, (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                                std::string("This picture ") + sides +
                                    " is too large for me: I can only cope with pictures of up to 32764 pixels a side.",
                                kTooLargePictureTitle, path(name)}));
    }
    for (const char* name : {"w1.bmp", "w7.bmp", "none.bmp"})
        EXPECT_EQ(refusedPicturePrompt(path(name)),
                  (Prompt{PromptIcon::Critical, PromptButtons::Ok, kInvalidPictureText, kInvalidPictureTitle, path(name)}))
            << name;
}

// A PNG or TIFF whose header claims sides the engine cannot take is refused as too large before
// its size is measured against the memory left (which would be error 7, out of memory), as a
// JPEG, GIF or BMP is.
TEST_F(PictureFiles, PngAndTiffHeadersClaimingHugeSidesAreTooLargeNotOutOfMemory) {
    setMemoryCeiling(std::uint64_t(64) << 20);
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(small.save(QString::fromStdString(path("claim.png")), "PNG"));
    std::vector<std::uint8_t> png = fileBytes(path("claim.png"));
    // IHDR's width and height: 40000 x 40000 (the chunk's check sum is left as it was).
    for (const int at : {16, 20}) png[std::size_t(at)] = 0, png[std::size_t(at + 1)] = 0, png[std::size_t(at + 2)] = 0x9C,
                                  png[std::size_t(at + 3)] = 0x40;
    ASSERT_TRUE(putFileBytes(path("claim.png"), png));
    const std::vector<std::uint8_t> tiff =
        tinyTiff({{256, 4, {40000}}, {257, 4, {40000}}, {258, 3, {8}}, {259, 3, {1}}, {262, 3, {1}}, {273, 4, {0}},
                  {277, 3, {1}}, {278, 4, {40000}}, {279, 4, {16}}},
                 std::vector<std::uint8_t>(16, 7));
    ASSERT_TRUE(putFileBytes(path("claim.tif"), tiff));
    for (const char* name : {"claim.png", "claim.tif"}) {
        SCOPED_TRACE(name);
        try {
            EXPECT_EQ(readSurface(path(name)), DecodeStatus::Invalid);
            EXPECT_EQ(readImage(path(name)), DecodeStatus::Invalid);
        } catch (const RuntimeError& e) {
            ADD_FAILURE() << "error " << e.number();
        }
        EXPECT_EQ(refusedPicturePrompt(path(name)).title, kTooLargePictureTitle);
    }
}
