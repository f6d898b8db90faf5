// Pictures a turned camera stored with an orientation tag are read upright: the 8-bit cells and
// the source window's picture, the full-depth samples and the sides a header gives, for JPEG,
// PNG and TIFF of 8 and 16 bits and every turn the tag can name; the tag given, not the file's own.
#include "input/deep_reader.h"
#include "input/picture_file.h"
#include "output/picture_metadata.h"

#include "support/oriented_pictures.h"

#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace orv {
namespace {

enum class Format { Jpeg, Png8, Png16, Tiff8, Tiff16 };

struct OrientCase {
    Format format;
    int tag;
};

std::string caseName(const OrientCase& c) {
    static const char* const names[] = {"Jpeg", "Png8", "Png16", "Tiff8", "Tiff16"};
    return std::string(names[int(c.format)]) + "Tag" + std::to_string(c.tag);
}

std::vector<OrientCase> allCases() {
    std::vector<OrientCase> cases;
    for (const Format f : {Format::Jpeg, Format::Png8, Format::Png16, Format::Tiff8, Format::Tiff16})
        for (int tag = 1; tag <= 8; ++tag) cases.push_back({f, tag});
    return cases;
}

const char* extensionOf(Format f) {
    return f == Format::Jpeg ? ".jpg" : f == Format::Png8 || f == Format::Png16 ? ".png" : ".tif";
}

void writeStored(const std::string& path, Format f, const QImage& stored, int tag) {
    switch (f) {
    case Format::Jpeg: test::writeTaggedJpeg(path, stored, tag); break;
    case Format::Png8: test::writeTaggedPng(path, stored, tag, 8); break;
    case Format::Png16: test::writeTaggedPng(path, stored, tag, 16); break;
    case Format::Tiff8: test::writeTaggedTiff(path, stored, tag, 8); break;
    case Format::Tiff16: test::writeTaggedTiff(path, stored, tag, 16); break;
    }
}

// The largest difference of any channel between the cells and the upright picture, at every pixel
// (lossless formats) or at the centre of every 16 x 16 block (JPEG).
int largestDifference(const MemorySurface& cells, const QImage& upright, bool blockCentres) {
    int worst = 0;
    for (int r = 0; r < upright.height(); ++r)
        for (int c = 0; c < upright.width(); ++c) {
            if (blockCentres && (c % 16 != 8 || r % 16 != 8)) continue;
            const std::uint8_t* p = cells.pixelAt(c, r);
            const QRgb want = upright.pixel(c, r);
            worst = std::max({worst, std::abs(p[0] - qBlue(want)), std::abs(p[1] - qGreen(want)),
                              std::abs(p[2] - qRed(want))});
        }
    return worst;
}

class TaggedPicture : public ::testing::TestWithParam<OrientCase> {};

TEST_P(TaggedPicture, IsReadUprightByEveryRoute) {
    const OrientCase c = GetParam();
    const bool jpeg = c.format == Format::Jpeg;
    // Odd sides, so that the cells' margins move with a quarter turn.
    const QImage upright = jpeg ? test::uprightBlocks(3, 2) : test::uprightPicture(7, 5);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/p1" + extensionOf(c.format);
    writeStored(path, c.format, test::storedAs(upright, c.tag), c.tag);

    // The file holds the tag where viewers find it: Qt's own reader, told to follow it, turns the
    // picture upright (it reads no eXIf chunk of a PNG), and the program's tag reader finds it.
    if (c.format != Format::Png8 && c.format != Format::Png16) {
        QImageReader qt(QString::fromStdString(path));
        qt.setAutoTransform(true);
        ASSERT_EQ(qt.read().size(), upright.size());
    }
    EXPECT_EQ(readPictureOrientation(path), c.tag);

    // The cells and the picture a source window shows.
    std::unique_ptr<MemorySurface> cells;
    QImage shown;
    ASSERT_EQ(decodeToSurface(path, cells, &shown, MontageRoom::StillToCome, c.tag), DecodeStatus::Ok);
    ASSERT_EQ(cells->pictureWidth(), upright.width());
    ASSERT_EQ(cells->pictureHeight(), upright.height());
    EXPECT_LE(largestDifference(*cells, upright, jpeg), jpeg ? 6 : 0);
    EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32), shownPicture(*cells));
    // The margins stay black.
    for (std::size_t i = 0; i < cells->rounded().size(); ++i) {
        const std::size_t pixel = i / 3, W = std::size_t(cells->roundedWidth());
        const std::size_t x = pixel % W, y = pixel / W;
        if (x >= std::size_t(upright.width()) || y >= std::size_t(upright.height())) {
            ASSERT_EQ(cells->rounded()[i], 0) << "cell " << x << "," << y;
        }
    }

    // The sides from the header alone, as the size checks and the memory figure take them.
    int w = 0, h = 0;
    ASSERT_EQ(readPictureSize(path, w, h, c.tag), DecodeStatus::Ok);
    EXPECT_EQ(w, upright.width());
    EXPECT_EQ(h, upright.height());

    // At full depth, every sample where the 8-bit one is.
    if (jpeg) return;
    DeepPicture deep;
    ASSERT_EQ(readDeepPicture(path, deep, nullptr, c.tag), DecodeStatus::Ok);
    ASSERT_EQ(deep.width, upright.width());
    ASSERT_EQ(deep.height, upright.height());
    const bool sixteen = c.format == Format::Png16 || c.format == Format::Tiff16;
    EXPECT_EQ(deep.samples, test::deepOf(upright, sixteen).samples);
}

INSTANTIATE_TEST_SUITE_P(EveryTag, TaggedPicture, ::testing::ValuesIn(allCases()),
                         [](const auto& info) { return caseName(info.param); });

// A series keeps one turn for all its pictures: a picture is turned by the tag it is given (its
// series' first picture's), whatever its own tag says, and not at all by tag 1.
TEST(TaggedPicture, IsTurnedByTheTagGivenNotItsOwn) {
    const QImage upright = test::uprightPicture(6, 3);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/p2.png";
    test::writeTaggedPng(path, test::storedAs(upright, 6), 8, 8);
    std::unique_ptr<MemorySurface> cells;
    ASSERT_EQ(decodeToSurface(path, cells, nullptr, MontageRoom::StillToCome, 6), DecodeStatus::Ok);
    EXPECT_EQ(largestDifference(*cells, upright, false), 0);
    ASSERT_EQ(decodeToSurface(path, cells, nullptr, MontageRoom::StillToCome, 1), DecodeStatus::Ok);
    ASSERT_EQ(cells->pictureWidth(), 3);
    ASSERT_EQ(cells->pictureHeight(), 6);
    EXPECT_EQ(largestDifference(*cells, test::storedAs(upright, 6), false), 0);
}

} // namespace
} // namespace orv
