// The names the save commands propose, the format a name picks, failed writes, the temporary
// BMP's folder and the GIF encoder's view of an indexed picture.
#include "support/case_name.h"
#include "output/bgr_image.h"
#include "output/picture_writer.h"
#include "output/save_names.h"
#include "output/temp_bmp.h"
#include "base/runtime_error.h"
#include "test_pictures.h"

#include <QFile>
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
        NameCase{"dashes_before_image_from", "Image1 -- /q/x image from y.bmp", kCopySuffix, "/q/x image from y copy"},
        NameCase{"no_marker", "Montage Orvanta", kMontageSuffix, "Montage Orvanta montage"},
        // A hidden series' name keeps the dot it starts with.
        NameCase{"hidden_series", "Montage in focus image from /p/.rock01.bmp", kMontageSuffix, "/p/.rock01 montage"},
        NameCase{"hidden_source", "Image2 -- /p/..rock02.bmp", kCopySuffix, "/p/..rock02 copy"}),
    [](const auto& info) { return std::string(info.param.label); });

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
                      FormatCase{"/p/a.jpg.txt", PictureFormat::Bmp, std::nullopt}),
    [](const auto& info) { return orv::testing::caseName(info.param.name); });

TEST(Writers, AFailedPngOrTiffWriteKeepsTheOldFile) {
    QTemporaryDir dir;
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
