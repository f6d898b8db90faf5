// The depth map: grey levels per picture, the picture's orientation and cells, and the files it is
// written to, read back with Qt's readers.
#include "support/case_name.h"
#include "fusion_fixtures.h"
#include "output/depth_map.h"

#include "base/runtime_error.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

// A 5 x 3 montage in cells of 2: three columns and two rows of cells, bottom row first.
PictureChoices cells() {
    PictureChoices c;
    c.width = 5;
    c.height = 3;
    c.cell = 2;
    c.columns = 3;
    c.rows = 2;
    c.pictures = {1, 2, 3,  // bottom two rows of pixels
                  4, 5, 0}; // top row of pixels
    return c;
}

} // namespace

struct GreyCase {
    int picture, count, grey;
};

class DepthGrey : public ::testing::TestWithParam<GreyCase> {};

TEST_P(DepthGrey, RunsFromBlackForTheFirstToWhiteForTheLast) {
    EXPECT_EQ(depthGrey(GetParam().picture, GetParam().count), GetParam().grey);
}

INSTANTIATE_TEST_SUITE_P(DepthMap, DepthGrey,
                         ::testing::Values(GreyCase{1, 7, 0}, GreyCase{7, 7, 255}, GreyCase{4, 7, 128},
                                           GreyCase{2, 3, 128}, // 127.5 rounds to the even 128
                                           GreyCase{2, 5, 64},  // 63.75
                                           GreyCase{30, 30, 255}, GreyCase{1, 1, 0},
                                           GreyCase{0, 5, 0}), // no picture: black
                         [](const auto& info) {
                             return "picture" + std::to_string(info.param.picture) + "_of" + std::to_string(info.param.count);
                         });

TEST(DepthMap, PixelsTopRowFirstOneGreyPerCell) {
    // Five pictures: 1 -> 0, 2 -> 64, 3 -> 128, 4 -> 191, 5 -> 255 (63.75 steps, half to even).
    const std::vector<std::uint8_t> p = depthMapPixels(cells(), 5);
    const std::vector<std::uint8_t> expected = {191, 191, 255, 255, 0,   // top row: cells 4, 5, none
                                                0,   0,   64,  64,  128, // the two bottom rows
                                                0,   0,   64,  64,  128};
    EXPECT_EQ(p, expected);
}

TEST(DepthMap, RefusesChoicesThatDoNotCoverTheMontage) {
    PictureChoices c = cells();
    c.width = 7; // a fourth column of cells would be needed
    EXPECT_THROW(depthMapPixels(c, 5), RuntimeError);
    c = cells();
    c.pictures.pop_back();
    EXPECT_THROW(depthMapPixels(c, 5), RuntimeError);
    EXPECT_THROW(depthMapPixels(PictureChoices{}, 5), RuntimeError);
}

struct FileCase {
    const char* name;
    const char* file;
    const char* format; // what Qt finds in the file
    int tolerance;      // JPEG is lossy
};

class DepthFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(DepthFiles, AreWrittenInTheFormatOfTheExtension) {
    if (std::string(GetParam().format) == "tiff" && !QImageWriter::supportedImageFormats().contains("tif"))
        GTEST_SKIP() << "Qt's TIFF plugin is not installed";
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromUtf8(GetParam().file));
    // A 24 x 16 map whose halves came from pictures 1 and 3 of 3, so black and white.
    PictureChoices c;
    c.width = c.columns = 24;
    c.height = c.rows = 16;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) c.pictures.push_back(x < 12 ? 1 : 3);
    c.pictures[0] = 2; // bottom-left pixel: grey 128

    writeDepthMap(path.toStdString(), c, 3);

    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    EXPECT_EQ(reader.format().toStdString(), GetParam().format);
    const QImage image = reader.read().convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(image.size(), QSize(24, 16));
    const int t = GetParam().tolerance;
    EXPECT_NEAR(image.pixelColor(3, 3).value(), 0, t);
    EXPECT_NEAR(image.pixelColor(20, 3).value(), 255, t);
    if (t == 0) {
        EXPECT_EQ(qGray(image.pixel(0, 15)), 128);
    }
    // Nothing is left beside the file.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(DepthMap, DepthFiles,
                         ::testing::Values(FileCase{"Png", "depth.png", "png", 0},
                                           FileCase{"Bmp", "depth.BMP", "bmp", 0},
                                           FileCase{"GifKeepsEveryGrey", "depth.gif", "gif", 0},
                                           FileCase{"Jpeg", "depth.jpeg", "jpeg", 3},
                                           FileCase{"Tiff", "depth.tif", "tiff", 0},
                                           FileCase{"NoExtensionIsPng", "depth", "png", 0},
                                           FileCase{"UnknownExtensionIsPng", "depth.dmap", "png", 0},
                                           FileCase{"IconEndingIsPng", "depth.ico", "png", 0},
                                           FileCase{"BlackAndWhiteEndingIsPng", "depth.xbm", "png", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Qt writes icons and black-and-white pictures too, but an icon comes out scaled to an icon's
// size and those hold two levels: a map wider than an icon, of three pictures, lost its size or its
// middle picture. Such endings are not taken for formats (the command line refuses them), and a
// map written under one is a PNG at the montage's own size with every grey.
TEST(DepthMap, FormatsThatCannotHoldTheMapAreNotTaken) {
    for (const char* name : {"depth.ico", "depth.cur", "depth.icns", "depth.xbm", "depth.pbm", "depth.wbmp"})
        EXPECT_FALSE(depthMapFormatKnown(name)) << name;
    for (const char* name : {"depth.png", "depth.pgm", "depth.ppm", "depth.xpm", "depth.tif", "depth"})
        EXPECT_TRUE(depthMapFormatKnown(name)) << name;

    QTemporaryDir dir;
    PictureChoices c;
    c.width = c.columns = 300;
    c.height = c.rows = 4;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) c.pictures.push_back(std::uint16_t(1 + x / 100));
    for (const char* name : {"depth.ico", "depth.pbm"}) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        writeDepthMap(path.toStdString(), c, 3);
        const QImage image = QImage(path).convertToFormat(QImage::Format_Grayscale8);
        ASSERT_EQ(image.size(), QSize(300, 4)) << name;
        EXPECT_EQ(qGray(image.pixel(50, 0)), 0) << name;
        EXPECT_EQ(qGray(image.pixel(150, 0)), 128) << name;
        EXPECT_EQ(qGray(image.pixel(250, 0)), 255) << name;
    }
}

TEST(DepthMap, AFailedWriteLeavesNoFileAndSaysSo) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("missing/depth.png").toStdString();
    try {
        writeDepthMap(path, cells(), 5);
        FAIL() << "reported success";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.number(), 0);
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}

// The halves series through Pyramid Focus: the left half came from picture 1 (black), the right
// from picture 2 (white).
TEST(DepthMap, OfAPyramidMontageShowsWhereEachPixelCameFrom) {
    const int W = 96, H = 64;
    const Painter blurred = blurredTexture(W, H, 3);
    Stack s(W, H, {[&](int x, int y) { return x < W / 2 ? texture(x, y) : blurred(x, y); },
                   [&](int x, int y) { return x < W / 2 ? blurred(x, y) : texture(x, y); }});
    const PyramidFocusResult r = s.fuse();
    const std::vector<std::uint8_t> grey = depthMapPixels(r.choices, 2);
    ASSERT_EQ(grey.size(), std::size_t(W * H));
    int right = 0, wrong = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int v = grey[std::size_t(y) * W + x];
            if (std::abs(x - W / 2) < 4) continue;
            (v == (x < W / 2 ? 0 : 255) ? right : wrong)++;
        }
    EXPECT_GT(right, 50 * wrong);
}
