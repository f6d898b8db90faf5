// cDIBSection: row layout, creation and release, block copies with raster operations,
// resampling, random fills and the clipboard.
#include "control_error.h"
#include "dib_section.h"
#include "host_services.h"
#include "support/data_limit.h"
#include "support/own_process.h"
#include "vantler_checks.h"

#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using vantler::cDIBSection;
using vantler::VantlerError;
namespace gdi = vantler::gdi;

namespace {

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VantlerError& e) {
        return e.number();
    }
    return 0;
}

void setPixel(cDIBSection& d, int row, int x, int b, int g, int r) {
    d.Byte(row, 3 * x) = std::uint8_t(b);
    d.Byte(row, 3 * x + 1) = std::uint8_t(g);
    d.Byte(row, 3 * x + 2) = std::uint8_t(r);
}

// Replaces the message box and clipboard for one test and records what reached them.
struct RecordedServices {
    QStringList messages;
    QList<QImage> clipboard;
    RecordedServices() {
        vantler::hostServices().message = [this](const QString& m) { messages << m; };
        vantler::hostServices().setClipboardBitmap = [this](const QImage& i) {
            clipboard << i;
            return true;
        };
    }
    ~RecordedServices() { vantler::resetHostServices(); }
};

}  // namespace

struct RowCase {
    int width;
    int bytes;
    friend std::ostream& operator<<(std::ostream& o, const RowCase& c) { return o << "width " << c.width; }
};

class BytesPerScanLine : public ::testing::TestWithParam<RowCase> {};

TEST_P(BytesPerScanLine, RowsArePaddedToFourBytes) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(GetParam().width, 3));
    EXPECT_EQ(dib.BytesPerScanLine(), GetParam().bytes);
    EXPECT_EQ(dib.header().biSizeImage, std::uint32_t(3 * GetParam().bytes));
    EXPECT_EQ(dib.header().biHeight, 3) << "positive height: rows stored bottom-up";
    EXPECT_EQ(dib.header().biBitCount, 24);
}

INSTANTIATE_TEST_SUITE_P(Widths, BytesPerScanLine,
                         ::testing::Values(RowCase{1, 4}, RowCase{2, 8}, RowCase{3, 12}, RowCase{4, 12}, RowCase{5, 16}),
                         [](const auto& info) { return "width" + std::to_string(info.param.width); });

TEST(DIBSection, RowLengthOverflowIsErrorSixAndLeavesNothingBehind) {
    const int before = gdi::liveObjectCount();
    cDIBSection dib;
    EXPECT_EQ(errorOf([&] { dib.Create(800'000'000, 1); }), vantler::errOverflow);
    EXPECT_EQ(dib.hdc(), 0u);
    EXPECT_EQ(gdi::liveObjectCount(), before);
}

TEST(DIBSection, SizesThatCannotBeMadeReportFalse) {
    cDIBSection dib;
    EXPECT_FALSE(dib.Create(0, 5));
    EXPECT_FALSE(dib.Create(5, -2));
    EXPECT_EQ(dib.hdc(), 0u);
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
}

TEST(DIBSection, ClearUpZeroesHandlesKeepsSizesAndFreesEverything) {
    const int before = gdi::liveObjectCount();
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(7, 3));
    EXPECT_NE(dib.hdc(), 0u);
    EXPECT_NE(dib.hDib(), 0u);
    EXPECT_NE(dib.DIBSectionBitsPtr(), nullptr);
    EXPECT_GT(gdi::liveObjectCount(), before);
    dib.ClearUp();
    EXPECT_EQ(dib.hdc(), 0u);
    EXPECT_EQ(dib.hDib(), 0u);
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(dib.Width(), 7);
    EXPECT_EQ(dib.Height(), 3);
    EXPECT_EQ(gdi::liveObjectCount(), before);
    EXPECT_EQ(errorOf([&] { dib.Byte(0, 0); }), vantler::errSubscriptOutOfRange);
}

TEST(DIBSection, CreatingAgainReleasesTheFormerBitmap) {
    const int before = gdi::liveObjectCount();
    {
        cDIBSection dib;
        ASSERT_TRUE(dib.Create(4, 4));
        const int one = gdi::liveObjectCount();
        ASSERT_TRUE(dib.Create(9, 2));
        EXPECT_EQ(gdi::liveObjectCount(), one);
    }
    EXPECT_EQ(gdi::liveObjectCount(), before) << "destruction frees the bitmap and context";
}

TEST(DIBSection, PixelAccessOutsideTheRowsIsSubscriptError) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(5, 2));
    EXPECT_EQ(errorOf([&] { dib.Byte(2, 0); }), vantler::errSubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { dib.Byte(0, 16); }), vantler::errSubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { dib.Byte(-1, 0); }), vantler::errSubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { dib.Byte(1, 15); }), 0) << "the pad byte is inside the row";
}

TEST(DIBSection, PictureRowsLandBottomUpInBlueGreenRedOrder) {
    QImage picture = testvantler::filled(3, 2, Qt::black);
    picture.setPixel(0, 0, qRgb(10, 20, 30));  // top-left
    picture.setPixel(2, 1, qRgb(200, 150, 100));  // bottom-right
    cDIBSection dib;
    dib.CreateFromPicture(picture);
    ASSERT_EQ(dib.Width(), 3);
    ASSERT_EQ(dib.Height(), 2);
    EXPECT_EQ(dib.Byte(1, 0), 30);
    EXPECT_EQ(dib.Byte(1, 1), 20);
    EXPECT_EQ(dib.Byte(1, 2), 10);
    EXPECT_EQ(dib.Byte(0, 6), 100);
    EXPECT_EQ(dib.Byte(0, 7), 150);
    EXPECT_EQ(dib.Byte(0, 8), 200);
    EXPECT_EQ(dib.toImage(), picture);
}

struct RopCase {
    const char* name;
    std::uint32_t rop;
    std::function<std::uint8_t(std::uint8_t, std::uint8_t)> expected;  // (source, destination)
    friend std::ostream& operator<<(std::ostream& o, const RopCase& c) { return o << c.name; }
};

class RasterOperation : public ::testing::TestWithParam<RopCase> {};

TEST_P(RasterOperation, CombinesSourceWithDestination) {
    const std::uint8_t s = 0xCA, d = 0xA6;
    cDIBSection source, target;
    ASSERT_TRUE(source.Create(2, 1));
    ASSERT_TRUE(target.Create(2, 1));
    for (int k = 0; k < 6; ++k) {
        source.Byte(0, k) = s;
        target.Byte(0, k) = d;
    }
    target.LoadPictureBlt(source.hdc(), 0, 0, -1, -1, GetParam().rop);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(target.Byte(0, k), GetParam().expected(s, d)) << "byte " << k;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, RasterOperation,
    ::testing::Values(
        RopCase{"SRCCOPY", gdi::SRCCOPY, [](std::uint8_t s, std::uint8_t) { return s; }},
        RopCase{"SRCPAINT", gdi::SRCPAINT, [](std::uint8_t s, std::uint8_t d) { return std::uint8_t(s | d); }},
        RopCase{"SRCAND", gdi::SRCAND, [](std::uint8_t s, std::uint8_t d) { return std::uint8_t(s & d); }},
        RopCase{"SRCINVERT", gdi::SRCINVERT, [](std::uint8_t s, std::uint8_t d) { return std::uint8_t(s ^ d); }},
        RopCase{"SRCERASE", gdi::SRCERASE, [](std::uint8_t s, std::uint8_t d) { return std::uint8_t(s & ~d); }},
        RopCase{"NOTSRCCOPY", gdi::NOTSRCCOPY, [](std::uint8_t s, std::uint8_t) { return std::uint8_t(~s); }},
        RopCase{"NOTSRCERASE", gdi::NOTSRCERASE, [](std::uint8_t s, std::uint8_t d) { return std::uint8_t(~(s | d)); }},
        RopCase{"MERGEPAINT", gdi::MERGEPAINT, [](std::uint8_t s, std::uint8_t d) { return std::uint8_t(~s | d); }},
        RopCase{"DSTINVERT", gdi::DSTINVERT, [](std::uint8_t, std::uint8_t d) { return std::uint8_t(~d); }},
        RopCase{"BLACKNESS", gdi::BLACKNESS, [](std::uint8_t, std::uint8_t) { return std::uint8_t(0); }},
        RopCase{"WHITENESS", gdi::WHITENESS, [](std::uint8_t, std::uint8_t) { return std::uint8_t(255); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DIBSection, PatternRasterOperationsAreRefused) {
    cDIBSection a, b;
    ASSERT_TRUE(a.Create(2, 2));
    ASSERT_TRUE(b.Create(2, 2));
    EXPECT_EQ(errorOf([&] { a.LoadPictureBlt(b.hdc(), 0, 0, -1, -1, gdi::PATCOPY); }), vantler::errInvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { a.PaintPicture(b.hdc(), 0, 0, -1, -1, 0, 0, gdi::PATCOPY); }),
              vantler::errInvalidProcedureCall);
}

TEST(DIBSection, PaintPictureCopiesABlockToAnOffset) {
    cDIBSection source, target;
    ASSERT_TRUE(source.Create(2, 2));
    ASSERT_TRUE(target.Create(4, 4));
    setPixel(source, 1, 0, 1, 2, 3);  // top-left of the source
    source.PaintPicture(target.hdc(), 2, 1, -1, -1, 0, 0, gdi::SRCCOPY);
    // Destination (2, 1) counted from the top is storage row 4 - 1 - 1 = 2.
    EXPECT_EQ(target.Byte(2, 6), 1);
    EXPECT_EQ(target.Byte(2, 7), 2);
    EXPECT_EQ(target.Byte(2, 8), 3);
    EXPECT_EQ(target.Byte(3, 6), 0);
}

TEST(DIBSection, SameSizeResampleCopiesUnchanged) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(5, 3));
    dib.RandomiseBits(true);
    auto copy = dib.Resample(3, 5);
    ASSERT_TRUE(copy);
    for (int row = 0; row < 3; ++row)
        for (int k = 0; k < 15; ++k) EXPECT_EQ(copy->Byte(row, k), dib.Byte(row, k)) << row << "," << k;
}

TEST(DIBSection, ResampleTakesHeightFirst) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(4, 2));
    auto out = dib.Resample(6, 3);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->Width(), 3);
    EXPECT_EQ(out->Height(), 6);
}

// A 2 x 2 source enlarged to 4 x 4 samples at 0, 0.25, 0.5 and 0.75 in both directions.
// Blue channel: bottom row 0 | 100, top row 200 | 41.
struct SampleCase {
    int row;
    int column;
    int blue;
    friend std::ostream& operator<<(std::ostream& o, const SampleCase& c) {
        return o << "row " << c.row << " column " << c.column << " blue " << c.blue;
    }
};

class TwoByTwoToFourByFour : public ::testing::TestWithParam<SampleCase> {};

TEST_P(TwoByTwoToFourByFour, BilinearWithRoundingAfterEachPass) {
    cDIBSection source, target;
    ASSERT_TRUE(source.Create(2, 2));
    ASSERT_TRUE(target.Create(4, 4));
    setPixel(source, 0, 0, 0, 0, 0);
    setPixel(source, 0, 1, 100, 0, 0);
    setPixel(source, 1, 0, 200, 0, 0);
    setPixel(source, 1, 1, 41, 0, 0);
    source.ResampleDib(target);
    EXPECT_EQ(target.Byte(GetParam().row, 3 * GetParam().column), GetParam().blue);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, TwoByTwoToFourByFour,
    ::testing::Values(SampleCase{0, 0, 0},    // the corner itself
                      SampleCase{0, 3, 75},   // column 3 at 0.75: 0.25 x 0 + 0.75 x 100
                      SampleCase{1, 3, 76},   // rows first: 50 and 85, then 0.25 x 50 + 0.75 x 85 = 76.25
                      SampleCase{2, 0, 100},  // halfway up the left column
                      SampleCase{2, 2, 85},   // right column 70.5 rounds to 70, then (100 + 70) / 2
                      SampleCase{2, 1, 92},   // 0.75 x 100 + 0.25 x 70 = 92.5 rounds to even
                      SampleCase{3, 3, 80}),  // 150 and 55.75 -> 56, then 37.5 + 42 = 79.5 rounds to even
    [](const auto& info) {
        return "row" + std::to_string(info.param.row) + "col" + std::to_string(info.param.column);
    });

TEST(DIBSection, ResamplingFromOnePixelWideIsSubscriptError) {
    cDIBSection source, target;
    ASSERT_TRUE(source.Create(1, 3));
    ASSERT_TRUE(target.Create(2, 2));
    EXPECT_EQ(errorOf([&] { source.ResampleDib(target); }), vantler::errSubscriptOutOfRange);
}

TEST(DIBSection, ColourRandomFillLeavesBlueZeroAndPaddingAlone) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(5, 6));
    for (int row = 0; row < 6; ++row)
        for (int k = 0; k < 16; ++k) dib.Byte(row, k) = 77;
    dib.RandomiseBits(false);
    int nonZero = 0;
    for (int row = 0; row < 6; ++row) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(dib.Byte(row, 3 * x), 0);
            nonZero += dib.Byte(row, 3 * x + 1) != 77 || dib.Byte(row, 3 * x + 2) != 77;
        }
        EXPECT_EQ(dib.Byte(row, 15), 77) << "pad byte of row " << row;
    }
    EXPECT_GT(nonZero, 0);
}

TEST(DIBSection, GreyRandomFillWritesEqualChannels) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(4, 4));
    dib.RandomiseBits(true);
    for (int row = 0; row < 4; ++row) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(dib.Byte(row, 3 * x), dib.Byte(row, 3 * x + 1));
            EXPECT_EQ(dib.Byte(row, 3 * x), dib.Byte(row, 3 * x + 2));
        }
    }
}

TEST(DIBSection, CopyAsDibShowsTheMessageAndLeavesTheClipboardAlone) {
    QGuiApplication::clipboard()->setText(QStringLiteral("keep me"));
    RecordedServices services;
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(3, 3));
    EXPECT_FALSE(dib.CopyToClipboard(true));
    EXPECT_EQ(services.messages,
              QStringList{QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!")});
    EXPECT_TRUE(services.clipboard.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("keep me"));
}

TEST(DIBSection, CopyAsBitmapHandsOverThePixels) {
    RecordedServices services;
    QImage picture = testvantler::filled(3, 2, qRgb(1, 2, 3));
    picture.setPixel(1, 0, qRgb(250, 0, 9));
    cDIBSection dib;
    dib.CreateFromPicture(picture);
    const int before = gdi::liveObjectCount();
    EXPECT_TRUE(dib.CopyToClipboard(false));
    ASSERT_EQ(services.clipboard.size(), 1);
    EXPECT_EQ(services.clipboard.front(), picture);
    EXPECT_TRUE(services.messages.isEmpty());
    EXPECT_EQ(gdi::liveObjectCount(), before) << "the temporary bitmap and context are freed";
}

// A picture of the bitmap for which memory runs out is no picture, not a write through the rows
// of an image that was never made.
TEST(DIBSection, APictureOfTheBitmapWithoutMemoryForItIsNull) {
    if (!orv::test::runsAlone()) return orv::test::runInAProcessOfItsOwn();
    orv::test::mapLargeBlocks();
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(2000, 1500));
    QImage copy;
    {
        orv::test::DataLimit limit(2 << 20);
        if (!limit.active()) GTEST_SKIP() << "the address space cannot be capped here";
        copy = dib.toImage();
    }
    EXPECT_TRUE(copy.isNull());
    EXPECT_EQ(dib.toImage().size(), QSize(2000, 1500));
}

TEST(DIBSection, CopyWithoutABitmapReportsFalseAndLeavesTheClipboardAlone) {
    RecordedServices services;
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(4, 3));
    dib.ClearUp();  // keeps its 4 x 3 size, but no pixels
    EXPECT_FALSE(dib.CopyToClipboard(false));
    cDIBSection failed;
    EXPECT_FALSE(failed.Create(6, -2));
    EXPECT_FALSE(failed.CopyToClipboard(false));
    EXPECT_TRUE(services.clipboard.isEmpty()) << "a black picture replaced the clipboard's contents";
    EXPECT_TRUE(services.messages.isEmpty());
}
