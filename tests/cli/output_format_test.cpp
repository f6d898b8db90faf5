// orvanta-cli's output name: its ending picks the format, an ending it cannot write is a usage
// error that writes nothing, and an option the format cannot use is said.
#include "cli_support.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

class CliOutputFormat : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        const auto r = runProgram("make-sample-series", {dir_->path() + "/s", "--count", "3", "--size", "64x48"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static QString first() { return dir_->path() + "/s/sample01.bmp"; }
    static QString out(const QString& name) { return dir_->path() + "/" + name; }
    static QTemporaryDir* dir_;
};

QTemporaryDir* CliOutputFormat::dir_ = nullptr;

TEST_F(CliOutputFormat, PngAndTiffHoldTheMontagesPixels) {
    auto r = runProgram("orvanta-cli", {"-q", "-o", out("best.bmp"), first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QImage bmp = QImage(out("best.bmp")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(bmp.size(), QSize(64, 48));
    for (const char* name : {"best.png", "best.tif"}) {
        r = runProgram("orvanta-cli", {"-q", "-o", out(name), first()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        QImageReader reader(out(name));
        EXPECT_EQ(reader.format(), QString(name).endsWith(".png") ? "png" : "tiff") << name;
        EXPECT_EQ(reader.read().convertToFormat(QImage::Format_RGB32), bmp) << name;
    }
}

TEST_F(CliOutputFormat, AnUnknownEndingExitsWithStatusTwoAndWritesNothing) {
    for (const char* name : {"best.webp", "best.jpg.txt"}) {
        const auto r = runProgram("orvanta-cli", {"-q", "-o", out(name), first()});
        EXPECT_EQ(r.exitCode, 2) << name;
        EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
        EXPECT_FALSE(QFile::exists(out(name)));
    }
}

// --transparent is a GIF's: for any other picture it is said on standard error, and the montage is
// written as without it; a GIF, named by its ending or by --format, gets its transparent colour.
TEST_F(CliOutputFormat, TransparentForAnotherFormatIsSaidNotSilentlyDropped) {
    const auto plain = runProgram("orvanta-cli", {"-q", "-o", out("plain.png"), first()});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    struct Case {
        QStringList args;
        const char* said; // the format named, or none for a GIF
        QString written;
    };
    const Case cases[] = {{{"-o", out("t.png")}, "PNG", out("t.png")},
                          {{"-o", out("t.jpg")}, "JPEG", out("t.jpg")},
                          {{"-o", out("t.tif")}, "TIFF", out("t.tif")},
                          {{"-o", out("t.gif"), "--format", "bmp"}, "BMP", out("t.gif")},
                          {{}, "BMP", dir_->path() + "/s/sample01 montage.bmp"},
                          {{"-o", out("t.gif")}, nullptr, out("t.gif")},
                          {{"-o", out("g.png"), "--format", "gif"}, nullptr, out("g.png")}};
    for (const Case& c : cases) {
        const auto r = runProgram("orvanta-cli", QStringList{"-q", "--transparent"} + c.args + QStringList{first()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(QFile::exists(c.written)) << c.written.toStdString();
        if (c.said) {
            EXPECT_EQ(r.err, std::string("orvanta-cli: --transparent makes a colour of a GIF transparent; the ") + c.said +
                                 " montage is written without one\n");
        } else {
            EXPECT_EQ(r.err, "");
            EXPECT_TRUE(QImage(c.written).hasAlphaChannel()) << c.written.toStdString();
        }
    }
    // The PNG is the one written without the option.
    EXPECT_EQ(QImage(out("t.png")), QImage(out("plain.png")));
}

// So are --quality for a picture that is not JPEG and --depth 16 for one that is neither TIFF nor
// PNG; where the format takes them, not a word.
TEST_F(CliOutputFormat, QualityAndDepthForAFormatWithoutThemAreSaid) {
    struct Case {
        QStringList args;
        std::string said;
    };
    const Case cases[] = {
        {{"--quality", "50", "-o", out("q.png")},
         "orvanta-cli: --quality sets a JPEG's quality; the PNG montage is written as it always is\n"},
        {{"--quality", "90", "-o", out("q.gif")},
         "orvanta-cli: --quality sets a JPEG's quality; the GIF montage is written as it always is\n"},
        {{"--depth", "16", "-o", out("d.jpg")},
         "orvanta-cli: --depth 16 applies to TIFF and PNG; the JPEG montage is written at 8 bits per sample\n"},
        {{"--depth", "16", "-o", out("d.png"), "--format", "bmp"},
         "orvanta-cli: --depth 16 applies to TIFF and PNG; the BMP montage is written at 8 bits per sample\n"},
        {{"--quality", "50", "-o", out("q.jpg")}, ""},
        {{"--depth", "16", "-o", out("d.tif")}, ""},
        {{"--depth", "8", "-o", out("d8.bmp")}, ""}};
    for (const Case& c : cases) {
        const auto r = runProgram("orvanta-cli", QStringList{"-q"} + c.args + QStringList{first()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, c.said) << c.args.join(' ').toStdString();
    }
}

} // namespace
