// Run-length coded BMP files: cut short, leaving pixels unset, or claiming endless rows, each read
// whole or refused as any other picture is.
#include "input/picture_files.h"
#include "input/picture_header.h"
#include "input/test_files.h"

#include "base/runtime_error.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace orv;
using namespace orv::test;

namespace {

// A run-length coded BMP, 8 or 4 bits a pixel, of grey levels: a run and a stretch of pixels as
// they are in every row, which they fill, each row ended, then the end-of-picture mark when `endMark`.
std::vector<std::uint8_t> rleBmp(int bits, int w, int h, bool endMark) {
    std::vector<std::uint8_t> data;
    for (int y = 0; y < h; ++y) {
        data.insert(data.end(), {std::uint8_t(w - 4), std::uint8_t(bits == 8 ? y * 5 : (y % 16) * 0x11)});
        data.insert(data.end(), {0, 4}); // four pixels as they are
        if (bits == 8)
            data.insert(data.end(), {1, 2, 3, 4});
        else
            data.insert(data.end(), {0x12, 0x34});
        data.insert(data.end(), {0, 0});
    }
    if (endMark) data.insert(data.end(), {0, 1});
    const int colours = 1 << bits;
    std::vector<std::uint8_t> b = {'B', 'M'};
    const std::uint32_t offset = 14 + 40 + 4 * std::uint32_t(colours);
    put32(b, offset + std::uint32_t(data.size()));
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, std::uint32_t(w));
    put32(b, std::uint32_t(h));
    put16(b, 1);
    put16(b, unsigned(bits));
    put32(b, bits == 8 ? 1 : 2);
    put32(b, std::uint32_t(data.size()));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, std::uint32_t(colours));
    put32(b, 0);
    for (int i = 0; i < colours; ++i) {
        const std::uint8_t g = std::uint8_t(i * 255 / (colours - 1));
        b.insert(b.end(), {g, g, g, 0});
    }
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

} // namespace

// A run-length coded BMP cut short is refused like any other cut picture: Qt's reader would give
// its missing rows black and pass it off as whole. A whole one, with or without its end mark, reads
// as Qt reads it.
TEST_F(PictureFiles, RunLengthCodedBmpsCutShortAreRefused) {
    for (const int bits : {8, 4}) {
        SCOPED_TRACE(bits);
        for (const bool endMark : {true, false}) {
            const std::string whole = path("whole.bmp");
            ASSERT_TRUE(putFileBytes(whole, rleBmp(bits, 24, 12, endMark)));
            const QImage byQt(QString::fromStdString(whole), "BMP");
            ASSERT_FALSE(byQt.isNull());
            std::unique_ptr<MemorySurface> s;
            ASSERT_EQ(decodeToSurface(whole, s), DecodeStatus::Ok);
            EXPECT_EQ(s->rounded(), toRoundedBgr(byQt));
            int w = 0, h = 0;
            EXPECT_EQ(readPictureSize(whole, w, h), DecodeStatus::Ok);
        }
        const std::vector<std::uint8_t> bytes = rleBmp(bits, 24, 12, true);
        for (const std::size_t cut : {bytes.size() - 2 - 30, bytes.size() - 2 - 7, bytes.size() - 4}) {
            SCOPED_TRACE(cut);
            ASSERT_TRUE(putFileBytes(path("cut.bmp"), {bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)}));
            EXPECT_EQ(readSurface(path("cut.bmp")), DecodeStatus::Invalid);
            EXPECT_EQ(readImage(path("cut.bmp")), DecodeStatus::Invalid);
            int w = 0, h = 0;
            EXPECT_EQ(readPictureSize(path("cut.bmp"), w, h), DecodeStatus::Invalid);
        }
    }
}

// The pixels a run-length coded BMP leaves unset (a row ended early, a move, the end mark before
// the last row) have the palette's first colour, on every read: Qt's reader left them as its
// memory happened to be, other data showing through. A BMP stored top-down (a negative height)
// has its coded rows from the top, as Qt reads it: its set pixels are kept and its unset ones
// cleared, where the bottom-up rows were cleared instead, wiping pixels the file sets.
TEST_F(PictureFiles, PixelsARunLengthCodedBmpLeavesUnsetHaveThePalettesFirstColour) {
    const int w = 12, h = 5;
    const QRgb palette[4] = {qRgb(10, 20, 30), qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200)};
    for (const bool topDown : {false, true})
    for (const int bits : {8, 4}) {
        SCOPED_TRACE(bits);
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        auto index = [bits](int i) { return std::uint8_t(bits == 8 ? i : i * 0x11); };
        // Bottom row: 6 of colour 1, end of row; next: 4 of colour 2, a move 3 right and 1 up; then
        // 2 of colour 3 and the end mark.
        const std::vector<std::uint8_t> data = {6, index(1), 0, 0, 4, index(2), 0, 2, 3, 1, 2, index(3), 0, 1};
        const int colours = 1 << bits;
        std::vector<std::uint8_t> b = {'B', 'M'};
        const std::uint32_t offset = 14 + 40 + 4 * std::uint32_t(colours);
        for (const std::uint32_t v :
             {offset + std::uint32_t(data.size()), 0u, offset, 40u, std::uint32_t(w), std::uint32_t(topDown ? -h : h)})
            put32(b, v);
        put16(b, 1);
        put16(b, unsigned(bits));
        for (const std::uint32_t v : {bits == 8 ? 1u : 2u, std::uint32_t(data.size()), 2835u, 2835u, std::uint32_t(colours), 0u})
            put32(b, v);
        for (int i = 0; i < colours; ++i) {
            const QRgb c = i < 4 ? palette[i] : qRgb(255, 255, 255);
            b.insert(b.end(), {std::uint8_t(qBlue(c)), std::uint8_t(qGreen(c)), std::uint8_t(qRed(c)), 0});
        }
        b.insert(b.end(), data.begin(), data.end());
        ASSERT_TRUE(putFileBytes(path("holes.bmp"), b));
        // What every pixel must be, rows from the top.
        std::vector<int> expected(std::size_t(w * h), 0);
        auto set = [&](int codedRow, int from, int to, int colour) {
            for (int x = from; x < to; ++x)
                expected[std::size_t((topDown ? codedRow : h - 1 - codedRow) * w + x)] = colour;
        };
        set(0, 0, 6, 1);
        set(1, 0, 4, 2);
        set(2, 7, 9, 3);
        for (int round = 0; round < 3; ++round) {
            QImage read;
            ASSERT_EQ(decodePicture(path("holes.bmp"), read), DecodeStatus::Ok);
            std::unique_ptr<MemorySurface> cells;
            ASSERT_EQ(decodeToSurface(path("holes.bmp"), cells), DecodeStatus::Ok);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const QRgb want = palette[expected[std::size_t(y * w + x)]];
                    EXPECT_EQ(read.pixel(x, y) & 0xFFFFFF, want & 0xFFFFFF) << x << "," << y;
                    const std::uint8_t* cell = cells->pixelAt(x, y);
                    EXPECT_EQ(qRgb(cell[2], cell[1], cell[0]), want) << x << "," << y;
                }
        }
    }
}

// A run-length coded BMP whose header claims two thousand million rows behind a two-byte end mark
// (or a few moves down) is read as whole and refused as too large. The walk through its coded rows
// once took one step a row and kept the loader busy for seconds to minutes (at -O1) on a file of
// some sixty bytes; a return of that shows as this test's time, which the suite does not bound.
TEST_F(PictureFiles, RunLengthCodedBmpsClaimingEndlessRowsAreRefusedAtOnce) {
    for (const int bits : {8, 4}) {
        for (const bool moves : {false, true}) {
            SCOPED_TRACE(bits);
            SCOPED_TRACE(moves ? "moves down" : "end mark");
            std::vector<std::uint8_t> data;
            for (int i = 0; moves && i < 8; ++i) data.insert(data.end(), {0, 2, 0, 255});
            data.insert(data.end(), {0, 1});
            std::vector<std::uint8_t> b = {'B', 'M'};
            const std::uint32_t offset = 14 + 40 + 8;
            for (const std::uint32_t v : {offset + std::uint32_t(data.size()), 0u, offset, 40u, 1u, 0x7fffffffu})
                put32(b, v);
            put16(b, 1);
            put16(b, unsigned(bits));
            for (const std::uint32_t v : {bits == 8 ? 1u : 2u, std::uint32_t(data.size()), 2835u, 2835u, 2u, 0u})
                put32(b, v);
            b.insert(b.end(), {0, 0, 0, 0, 255, 255, 255, 0});
            b.insert(b.end(), data.begin(), data.end());
            ASSERT_TRUE(putFileBytes(path("endless.bmp"), b));
            ByteStream in(b.data(), b.size());
            const HeaderFacts facts = readBmpHeader(in, b.size());
            EXPECT_TRUE(facts.readable && facts.complete);
            EXPECT_EQ(facts.height, 0x7fffffff);
            EXPECT_EQ(readSurface(path("endless.bmp")), DecodeStatus::Invalid);
            int w = 0, h = 0;
            EXPECT_TRUE(pictureTooLarge(path("endless.bmp"), w, h));
            EXPECT_EQ(h, 0x7fffffff);
        }
    }
}
