// orvanta-cli's output name: its ending picks the format, and an ending it cannot write is a
// usage error that writes nothing.
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

} // namespace
