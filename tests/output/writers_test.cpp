// The BMP and JPEG writers read back by Qt, the format choice of writePicture, the temporary BMP
// and the start of the conversion program.
#include "output/jpeg_writer.h"
#include "output/picture_writer.h"
#include "output/temp_bmp.h"
#include "test_pictures.h"

#include "base/runtime_error.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <sys/stat.h>

using namespace orv;
using namespace orv::test;

namespace {

int errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

// Four 16 x 16 quadrants: red top-left, green top-right, blue bottom-left, white bottom-right.
TestPicture quadrants() {
    TestPicture p(32, 32, 7);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (y < 16) x < 16 ? p.set(x, y, 230, 20, 20) : p.set(x, y, 20, 230, 20);
            else x < 16 ? p.set(x, y, 20, 20, 230) : p.set(x, y, 240, 240, 240);
        }
    return p;
}

::testing::AssertionResult closeTo(QRgb got, QRgb want, int tolerance = 12) {
    if (std::abs(qRed(got) - qRed(want)) <= tolerance && std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
        std::abs(qBlue(got) - qBlue(want)) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << QString::number(got, 16).toStdString() << " is not near "
                                         << QString::number(want, 16).toStdString();
}

// A GIF holds the cube's colours (20 becomes 0, 230 and 240 become 255), hence its tolerance.
void expectUprightQuadrants(const QImage& img, int tolerance = 12) {
    ASSERT_EQ(img.size(), QSize(32, 32));
    EXPECT_TRUE(closeTo(img.pixel(6, 6), qRgb(230, 20, 20), tolerance));
    EXPECT_TRUE(closeTo(img.pixel(25, 6), qRgb(20, 230, 20), tolerance));
    EXPECT_TRUE(closeTo(img.pixel(6, 25), qRgb(20, 20, 230), tolerance));
    EXPECT_TRUE(closeTo(img.pixel(25, 25), qRgb(240, 240, 240), tolerance));
}

QByteArray formatOf(const QString& path) { return QImageReader(path).format(); }

} // namespace

TEST(BmpWriter, QtReadsBackEveryPixelForAnyRowPadding) {
    QTemporaryDir dir;
    for (QSize s : {QSize(1, 1), QSize(2, 3), QSize(3, 2), QSize(5, 4), QSize(17, 9)}) {
        const TestPicture p = TestPicture::random(s.width(), s.height(), unsigned(s.width() + 100 * s.height()));
        const QString path = dir.filePath("b.bmp");
        writeBmp24(str(path), p.view());
        QImageReader reader(path);
        ASSERT_EQ(reader.format(), "bmp");
        const QImage back = reader.read();
        ASSERT_EQ(back.size(), s);
        for (int y = 0; y < s.height(); ++y)
            for (int x = 0; x < s.width(); ++x) ASSERT_EQ(back.pixel(x, y) | 0xff000000, p.at(x, y)) << x << "," << y;
    }
}

TEST(JpegWriter, QtReadsTheJpegUprightWithItsColours) {
    const TestPicture p = quadrants();
    const std::vector<std::uint8_t> jpeg = encodeJpeg(p.view());
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    expectUprightQuadrants(QImage::fromData(jpeg.data(), int(jpeg.size()), "JPEG"));
    // A lower quality makes a smaller file of the same picture.
    EXPECT_LT(encodeJpeg(TestPicture::random(64, 64, 3).view(), 30).size(),
              encodeJpeg(TestPicture::random(64, 64, 3).view(), 95).size());
}

struct FormatCase {
    const char* path;
    PictureFormat format;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.path; }

class FormatChoice : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatChoice, FollowsTheExtensionOfTheFileName) {
    EXPECT_EQ(pictureFormatFor(GetParam().path), GetParam().format) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Names, FormatChoice,
    ::testing::Values(FormatCase{"/p/a.gif", PictureFormat::Gif}, FormatCase{"/p/a.GiF", PictureFormat::Gif},
                      FormatCase{"/p/a.jpg", PictureFormat::Jpeg}, FormatCase{"/p/a.JPG", PictureFormat::Jpeg},
                      FormatCase{"/p/rock montage.jpeg", PictureFormat::Jpeg},
                      FormatCase{"a.JPEG", PictureFormat::Jpeg}, FormatCase{"/p/a.bmp", PictureFormat::Bmp},
                      FormatCase{"/p/a", PictureFormat::Bmp}, FormatCase{"/p/a.png", PictureFormat::Png},
                      FormatCase{"/p/agif", PictureFormat::Bmp}, FormatCase{"/p.gif/a", PictureFormat::Bmp},
                      FormatCase{"/p/a.gif.bmp", PictureFormat::Bmp}),
    [](const ::testing::TestParamInfo<FormatCase>& info) {
        std::string name;
        for (const char* c = info.param.path; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name + "_" + std::to_string(info.index);
    });

TEST(WritePicture, WritesTheFormatTheExtensionNames) {
    QTemporaryDir dir;
    const TestPicture p = quadrants();
    struct {
        const char* name;
        QByteArray format;
    } cases[] = {{"m.bmp", "bmp"}, {"m", "bmp"}, {"m.GIF", "gif"}, {"m.jpg", "jpeg"}, {"m.JPEG", "jpeg"}};
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        writePicture(str(path), p.view());
        EXPECT_EQ(formatOf(path), c.format) << c.name;
        expectUprightQuadrants(QImage(path, c.format.constData()), c.format == "gif" ? 25 : 12);
    }
}

TEST(WritePicture, QualityAndProgressReachTheirWriters) {
    QTemporaryDir dir;
    const TestPicture p = TestPicture::random(64, 40, 9);
    PictureWriteOptions low;
    low.quality = 20;
    std::vector<int> progress;
    low.progress = [&](int percent) { progress.push_back(percent); };
    writePicture(str(dir.filePath("low.jpg")), p.view(), low);
    writePicture(str(dir.filePath("high.jpg")), p.view());
    EXPECT_LT(QFileInfo(dir.filePath("low.jpg")).size(), QFileInfo(dir.filePath("high.jpg")).size());
    EXPECT_TRUE(progress.empty());
    writePicture(str(dir.filePath("p.gif")), p.view(), low);
    EXPECT_EQ(progress, (std::vector<int>{25, 50, 75, 100}));

    PictureWriteOptions bad;
    bad.quality = 0;
    EXPECT_EQ(errorNumber([&] { writePicture(str(dir.filePath("bad.jpg")), p.view(), bad); }), 5);
    EXPECT_FALSE(QFile::exists(dir.filePath("bad.jpg")));
}

TEST(WritePicture, AFailedWriteLeavesTheOldFileAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.gif");
    writeBytes(path, {'o', 'l', 'd'});
    PictureWriteOptions options;
    options.progress = [](int) { throw RuntimeError(61); };
    EXPECT_EQ(errorNumber([&] { writePicture(str(path), TestPicture::random(5, 30, 1).view(), options); }), 61);
    EXPECT_EQ(readBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.gif"});
}

// The temporary folder is pointed at a private one for each test, and the random source restored.
class TempBmp : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QByteArray oldTmp = qgetenv("TMPDIR");
    void SetUp() override { qputenv("TMPDIR", dir.path().toUtf8()); }
    void TearDown() override {
        if (oldTmp.isNull()) qunsetenv("TMPDIR");
        else qputenv("TMPDIR", oldTmp);
        setTempBmpRandom({});
        setDetachedStarter({});
    }
};

TEST_F(TempBmp, IsANewPrivateFileNamedVrktempWithThreeLetters) {
    const QString path = QString::fromStdString(createTempBmp());
    const QRegularExpression pattern("^" + QRegularExpression::escape(QDir::tempPath()) + "/vrktemp[a-z]{3}\\.bmp$");
    EXPECT_TRUE(pattern.match(path).hasMatch()) << str(path);
    struct stat st {};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);
}

TEST_F(TempBmp, ATakenNameIsNeverReusedOrTouched) {
    // Draws: 0 -> "a", 0.04 -> round(98) = "b", 0.999 -> round(121.975) = "z".
    std::vector<double> draws = {0, 0, 0, 0.04, 0.04, 0.04, 0.999, 0, 0.999};
    std::size_t next = 0;
    setTempBmpRandom([&] { return draws[next++ % draws.size()]; });
    writeBytes(dir.filePath("vrktempaaa.bmp"), {'m', 'i', 'n', 'e'});
    writeBytes(dir.filePath("vrktempbbb.bmp"), {'t', 'o', 'o'});
    EXPECT_EQ(createTempBmp(), str(dir.filePath("vrktempzaz.bmp")));
    EXPECT_EQ(readBytes(dir.filePath("vrktempaaa.bmp")), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(readBytes(dir.filePath("vrktempbbb.bmp")), (std::vector<std::uint8_t>{'t', 'o', 'o'}));
}

TEST_F(TempBmp, TheConversionProgramGetsOneArgumentWithoutAShell) {
    const ProgramStart start = conversionStart("/opt/orv/", "/tmp/vrktempqkd.bmp", "/home/ann/rock1 montage, v2.jpg");
    EXPECT_EQ(start, (ProgramStart{"/opt/orv/orvantajpeg", {"/tmp/vrktempqkd.bmp,/home/ann/rock1 montage, v2.jpg"}}));
    std::vector<ProgramStart> started;
    setDetachedStarter([&](const ProgramStart& s) {
        started.push_back(s);
        return true;
    });
    EXPECT_TRUE(startDetached(start));
    EXPECT_EQ(started, std::vector<ProgramStart>{start});
}

TEST_F(TempBmp, TheDetachedConversionWritesTheJpeg) {
    const QString folder = QCoreApplication::applicationDirPath();
    ASSERT_TRUE(QFileInfo(folder + "/orvantajpeg").isExecutable());
    const std::string bmp = writeTempBmp(quadrants().view());
    const QString target = dir.filePath("rock1 montage, final.jpg");
    ASSERT_TRUE(startDetached(conversionStart(str(folder + "/"), bmp, str(target))));
    // The program renames a complete file into place, so its appearance means it is done.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(target); }, 30000));
    expectUprightQuadrants(QImage(target, "JPEG"));
}
