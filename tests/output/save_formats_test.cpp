// The names the save commands propose, the format a name picks, and the PNG and TIFF writers
// checked with Qt's decoders.
#include "output/bgr_image.h"
#include "output/picture_writer.h"
#include "output/save_names.h"
#include "output/temp_bmp.h"
#include "output/tiff_writer.h"
#include "base/runtime_error.h"
#include "test_pictures.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

struct NameCase {
    const char* label;
    const char* caption;
    const char* suffix;
    const char* proposed;
};

class ProposedNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProposedNames, FollowTheCaption) {
    const NameCase& c = GetParam();
    EXPECT_EQ(proposedSaveName(c.caption, c.suffix), c.proposed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProposedNames,
    ::testing::Values(
        NameCase{"dashes", "Montage -- /pics/rock1.bmp", kMontageSuffix, "/pics/rock1 montage"},
        NameCase{"dot_in_folder", "x -- /my.pics/a1.bmp", kMontageSuffix, "/my.pics/a1 montage"},
        NameCase{"montage_caption", "Montage in focus image from /home/ann/beetle01.jpg", kMontageSuffix,
                 "/home/ann/beetle01 montage"},
        NameCase{"source_window", "Image3 -- /p/shot03.x.bmp", kCopySuffix, "/p/shot03 copy"},
        NameCase{"first_dashes_win", "a -- b -- c.bmp", kCopySuffix, "b -- c copy"},
        NameCase{"dashes_before_image_from", "Image1 -- /q/x image from y.bmp", kCopySuffix, "/q/x image from y copy"},
        NameCase{"no_marker", "Montage Orvanta", kMontageSuffix, "Montage Orvanta montage"},
        NameCase{"no_dot", "Image1 -- /pics/raw", kCopySuffix, "/pics/raw copy"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ProposedNames, WithoutExtensionCutsOnlyTheFileNamePart) {
    EXPECT_EQ(withoutExtension("/home/ann.lee/pics/a1.v2.gif"), "/home/ann.lee/pics/a1");
    EXPECT_EQ(withoutExtension("/home/ann.lee/pics/a1"), "/home/ann.lee/pics/a1");
    EXPECT_EQ(withoutExtension("a1.gif"), "a1");
}

struct FormatCase {
    const char* name;
    PictureFormat format;               // what the desktop program writes
    std::optional<PictureFormat> batch; // what the batch front end accepts
};

class FormatByName : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatByName, IsCaseBlindAndLooksOnlyAtTheFileName) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(pictureFormatFor(c.name), c.format) << c.name;
    EXPECT_EQ(writableFormatFor(c.name), c.batch) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatByName,
    ::testing::Values(FormatCase{"/p/a.JPG", PictureFormat::Jpeg, PictureFormat::Jpeg},
                      FormatCase{"/p/a.jpeg", PictureFormat::Jpeg, PictureFormat::Jpeg},
                      FormatCase{"/p/a.Gif", PictureFormat::Gif, PictureFormat::Gif},
                      FormatCase{"/p/a.png", PictureFormat::Png, PictureFormat::Png},
                      FormatCase{"/p/a.tif", PictureFormat::Tiff, PictureFormat::Tiff},
                      FormatCase{"/p/a.TIFF", PictureFormat::Tiff, PictureFormat::Tiff},
                      FormatCase{"/p/a.bmp", PictureFormat::Bmp, PictureFormat::Bmp},
                      FormatCase{"/p/rock1 montage", PictureFormat::Bmp, PictureFormat::Bmp},
                      FormatCase{"/p.jpg/a", PictureFormat::Bmp, PictureFormat::Bmp},
                      FormatCase{"/p/.hidden", PictureFormat::Bmp, PictureFormat::Bmp},
                      FormatCase{"/p/a.webp", PictureFormat::Bmp, std::nullopt},
                      FormatCase{"/p/a.jpg.txt", PictureFormat::Bmp, std::nullopt}));

class Writers : public ::testing::Test {
protected:
    QTemporaryDir dir;
    TestPicture picture = TestPicture::random(37, 23, 7);

    void expectPixels(const QImage& read) const {
        ASSERT_EQ(read.size(), QSize(picture.width, picture.height));
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                ASSERT_EQ(read.pixel(x, y) & 0xFFFFFF, picture.at(x, y) & 0xFFFFFF) << x << "," << y;
    }
};

TEST_F(Writers, PngHoldsEveryPixel) {
    const QString path = dir.filePath("m.PNG");
    writePicture(str(path), picture.view());
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "png");
    expectPixels(reader.read());
}

TEST_F(Writers, TiffHoldsEveryPixel) {
    const QString path = dir.filePath("m.tiff");
    writePicture(str(path), picture.view());
    const std::vector<std::uint8_t> bytes = readBytes(path);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), std::string("II*\0", 4));
    EXPECT_EQ(bytes.size(), 192u + 37u * 23u * 3u);
    if (!QImageReader::supportedImageFormats().contains("tiff")) GTEST_SKIP() << "no TIFF reader installed";
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "tiff");
    expectPixels(reader.read());
}

TEST_F(Writers, AFailedWriteKeepsTheOldFile) {
    for (const char* name : {"old.png", "old.tif"}) {
        const QString path = dir.filePath(name);
        writeBytes(path, {'o', 'l', 'd'});
        try {
            writePicture(str(path), BgrView{});
            ADD_FAILURE() << name << ": an empty picture was written";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 5) << name;
        }
        EXPECT_EQ(readBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'})) << name;
    }
    EXPECT_THROW(writePicture(str(dir.filePath("no/such/folder.png")), picture.view()), RuntimeError);
}

TEST(TempBmpFolder, AMissingTmpdirFallsBackToTmpNotTheRootFolder) {
    QTemporaryDir dir;
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.filePath("gone")));
    const std::string path = createTempBmp();
    if (old.isNull()) qunsetenv("TMPDIR");
    else qputenv("TMPDIR", old);
    EXPECT_EQ(path.rfind("/tmp/vrktemp", 0), 0u) << path;
    QFile::remove(QString::fromStdString(path));
}

TEST(BgrImage, ViewsAWindowPictureBottomUpAtFullSize) {
    QImage shown(5, 3, QImage::Format_ARGB32);
    shown.fill(qRgba(10, 20, 30, 0));
    shown.setPixel(0, 0, qRgb(200, 100, 50)); // top-left
    const BgrImage rows(shown);
    const BgrView v = rows.view();
    ASSERT_EQ(v.width, 5);
    ASSERT_EQ(v.height, 3);
    const std::uint8_t* topLeft = v.bits + v.stride * 2;
    EXPECT_EQ((std::vector<int>{topLeft[0], topLeft[1], topLeft[2]}), (std::vector<int>{50, 100, 200}));
    EXPECT_EQ((std::vector<int>{v.bits[0], v.bits[1], v.bits[2]}), (std::vector<int>{30, 20, 10}));
}

TEST(GifImage, AnIndexedPictureKeepsItsPalette) {
    QImage indexed(4, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(250, 7, 9)});
    indexed.fill(0);
    indexed.setPixel(3, 0, 1);
    const GifImage gif(indexed);
    EXPECT_TRUE(gif.picture().indexed);
    EXPECT_EQ(gif.picture().palette[1], (Rgb{250, 7, 9}));
    EXPECT_EQ(gif.picture().reducedColourAt(3, 0), (Rgb{250, 7, 9}));
    EXPECT_EQ(gif.picture().reducedColourAt(0, 1), (Rgb{1, 2, 3}));
    const GifImage rgb(indexed.convertToFormat(QImage::Format_RGB888));
    EXPECT_FALSE(rgb.picture().indexed);
    EXPECT_EQ(rgb.picture().reducedColourAt(3, 0), (Rgb{255, 0, 0}));
}

} // namespace
