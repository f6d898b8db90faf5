// The JPEG bridge: the fields it fills from the bitmap, and the files it writes, read back with
// Qt's JPEG reader and a quantisation-table parser of the tests' own.
#include "support/case_name.h"
#include "control_error.h"
#include "dib_section.h"
#include "jpeg_bridge.h"
#include "jpeg_inspect.h"
#include "vantler_checks.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using vantler::cDIBSection;

namespace {

// A picture with a red top half and a blue bottom half, as the bridge's input.
void fillHalves(cDIBSection& dib, int width, int height) {
    QImage picture = testvantler::filled(width, height, qRgb(0, 0, 255));
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, qRgb(255, 0, 0));
    dib.CreateFromPicture(picture);
}

}  // namespace

class PadBytes : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(PadBytes, AreTheRowPaddingBeyondThreeBytesAPixel) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(GetParam().first, 3));
    const auto p = vantler::jpegPropertiesFor(dib, QStringLiteral("/tmp/x.jpg"), 95);
    EXPECT_EQ(p.DIBPadBytes, GetParam().second);
    EXPECT_EQ(p.DIBWidth, GetParam().first);
    EXPECT_EQ(p.JPGWidth, GetParam().first);
    EXPECT_EQ(p.DIBHeight, -3);
    EXPECT_EQ(p.JPGHeight, 3);
    EXPECT_EQ(p.DIBBytes, dib.DIBSectionBitsPtr());
}

INSTANTIATE_TEST_SUITE_P(Widths, PadBytes,
                         ::testing::Values(std::pair{1, 1}, std::pair{2, 2}, std::pair{3, 3}, std::pair{4, 0},
                                           std::pair{5, 1}, std::pair{8, 0}),
                         [](const auto& info) { return "width" + std::to_string(info.param.first); });

TEST(JpegBridge, FileNameIsLocalEightBitWithOneEndingZero) {
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(2, 2));
    const QString name = QStringLiteral("/tmp/bl\u00e5b\u00e6r.jpg");
    const auto p = vantler::jpegPropertiesFor(dib, name, -7);
    EXPECT_EQ(p.JPGFile, QFile::encodeName(name) + QByteArray(1, '\0'));
    EXPECT_EQ(p.jquality, -7) << "the quality is passed on unchanged";
}

TEST(JpegBridge, WritesADecodableFileTheRightWayUp) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("halves.jpg"));
    cDIBSection dib;
    fillHalves(dib, 21, 16);  // 21 pixels: rows carry 1 pad byte
    ASSERT_TRUE(vantler::SaveDibAsJpeg(dib, path, 95));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    const QImage decoded = reader.read();
    ASSERT_FALSE(decoded.isNull());
    ASSERT_EQ(decoded.size(), QSize(21, 16));
    const QColor top = decoded.pixelColor(10, 2), bottom = decoded.pixelColor(10, 13);
    EXPECT_GT(top.red(), 200);
    EXPECT_LT(top.blue(), 60);
    EXPECT_GT(bottom.blue(), 200);
    EXPECT_LT(bottom.red(), 60);
}

class QualityInFile : public ::testing::TestWithParam<int> {};

TEST_P(QualityInFile, QuantisationTableMatchesTheQuality) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("q.jpg"));
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(16, 16));
    dib.RandomiseBits(true);
    ASSERT_TRUE(vantler::SaveDibAsJpeg(dib, path, std::int16_t(GetParam())));
    const auto table = testjpeg::luminanceTable(path);
    ASSERT_TRUE(table);
    EXPECT_EQ(*table, testjpeg::expectedLuminanceTable(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Qualities, QualityInFile, ::testing::Values(1, 40, 75, 95, 100),
                         ::testing::PrintToStringParamName());

TEST(JpegBridge, QualityTheEncoderRefusesIsAFailureAndWritesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("refused.jpg"));
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(8, 8));
    EXPECT_FALSE(vantler::SaveDibAsJpeg(dib, path, 150));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(JpegBridge, FailedWriteLeavesAnExistingFileIntact) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.jpg"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("previous contents");
    }
    cDIBSection empty;
    EXPECT_FALSE(vantler::SaveDibAsJpeg(empty, path, 95)) << "no bitmap: nothing to write";
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(8, 8));
    EXPECT_FALSE(vantler::SaveDibAsJpeg(dib, path, -5));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("previous contents"));
}

TEST(JpegBridge, MissingFolderIsAFailure) {
    QTemporaryDir dir;
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(8, 8));
    EXPECT_FALSE(vantler::SaveDibAsJpeg(dib, dir.filePath(QStringLiteral("no/such/folder/x.jpg")), 95));
}

TEST(JpegBridge, PipeAtTheNameIsWrittenThroughAndStaysAPipe) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("pipe.jpg")));
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    // A reader that never waits, so that opening the pipe to write does not block; one small
    // JPEG fits in the pipe's buffer.
    const int reader = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    cDIBSection dib;
    fillHalves(dib, 9, 6);
    const bool saved = vantler::SaveDibAsJpeg(dib, QFile::decodeName(path), 90);
    QByteArray received(65536, '\0');
    const ssize_t got = ::read(reader, received.data(), std::size_t(received.size()));
    ::close(reader);
    struct stat info {};
    ASSERT_EQ(::stat(path.constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "a regular file was put in the pipe's place";
    EXPECT_TRUE(saved);
    ASSERT_GT(got, 0) << "nothing came through the pipe";
    received.truncate(int(got));
    const QImage decoded = QImage::fromData(received, "JPEG");
    EXPECT_EQ(decoded.size(), QSize(9, 6));
}

TEST(JpegBridge, FullDeviceIsAFailureAndStaysADevice) {
    struct stat before {};
    if (::stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode)) GTEST_SKIP() << "no /dev/full here";
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(8, 8));
    EXPECT_FALSE(vantler::SaveDibAsJpeg(dib, QStringLiteral("/dev/full"), 95));
    struct stat after {};
    ASSERT_EQ(::stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, before.st_rdev);
}

TEST(JpegBridge, NameWithAZeroCharacterIsRefusedAndWritesNoShorterName) {
    QTemporaryDir dir;
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(8, 8));
    const QString name = dir.filePath(QStringLiteral("photo.jpg")) + QChar(0) + QStringLiteral(".txt");
    EXPECT_FALSE(vantler::SaveDibAsJpeg(dib, name, 95));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{}) << "the name up to the zero was written";
}

TEST(JpegBridge, StandardOutputRedirectedToAFileGetsTheJpegAfterWhatItHeld) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("output.log")));
    const int log = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(log, 0);
    ASSERT_EQ(::write(log, "before\n", 7), 7);
    cDIBSection dib;
    fillHalves(dib, 5, 4);
    std::fflush(stdout);
    const int saved = ::dup(1);
    ASSERT_GE(saved, 0);
    ::dup2(log, 1);
    const bool written = vantler::SaveDibAsJpeg(dib, QStringLiteral("/dev/stdout"), 90);
    ::dup2(saved, 1);
    ::close(saved);
    EXPECT_TRUE(written);
    // Read through the descriptor the output went to: the file it was redirected to must still
    // be that file, holding its earlier lines and then the picture.
    QByteArray contents(65536, '\0');
    const ssize_t got = ::pread(log, contents.data(), std::size_t(contents.size()), 0);
    ::close(log);
    ASSERT_GT(got, 7);
    contents.truncate(int(got));
    EXPECT_TRUE(contents.startsWith("before\n"));
    EXPECT_EQ(QImage::fromData(contents.mid(7), "JPEG").size(), QSize(5, 4)) << "the JPEG went elsewhere";
}
