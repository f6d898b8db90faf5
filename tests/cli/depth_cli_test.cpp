// orvanta-cli and depth: --depth 16 writes TIFF and PNG at 16 bits per sample whose 8-bit view is
// the montage; a series of tiled TIFF files (which Qt's reader refuses) makes the same montage as
// the same pictures in BMP files.
#include "cli_support.h"
#include "output/deep_writer.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace orv;
using namespace orv::test;

namespace {

class CliDepth : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        const auto r = runProgram("make-sample-series", {dir_->path() + "/s", "--count", "3", "--size", "90x70"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static QString path(const QString& name) { return dir_->path() + "/" + name; }
    static QTemporaryDir* dir_;
};
QTemporaryDir* CliDepth::dir_ = nullptr;

DeepPicture deepOf(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    DeepPicture p(rgb.width(), rgb.height(), 3, 8);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width() * 3; ++x) p.row(y)[x] = std::uint16_t(rgb.constScanLine(y)[x] * 257);
    return p;
}

} // namespace

TEST_P(CliDepth, SixteenBitOutputHoldsTheMontageAtFullScale) {
    const QString eight = path(QString("m8.") + GetParam()), sixteen = path(QString("m16.") + GetParam());
    ASSERT_EQ(runProgram("orvanta-cli", {"-q", "-o", eight, path("s/sample01.bmp")}).exitCode, 0);
    const auto r = runProgram("orvanta-cli", {"-q", "--depth", "16", "-o", sixteen, path("s/sample01.bmp")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QImage a(eight), b(sixteen);
    ASSERT_LE(a.depth(), 32);
    ASSERT_GE(b.depth(), 48);
    ASSERT_EQ(a.size(), b.size());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb c = a.pixel(x, y);
            const QRgba64 d = b.pixelColor(x, y).rgba64();
            ASSERT_EQ(d.red(), qRed(c) * 257) << x << "," << y;
            ASSERT_EQ(d.green(), qGreen(c) * 257) << x << "," << y;
            ASSERT_EQ(d.blue(), qBlue(c) * 257) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, CliDepth, ::testing::Values("tif", "png"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(CliDepth, ATiledTiffSeriesMakesTheMontageOfItsPictures) {
    for (int k = 1; k <= 3; ++k) {
        const QImage bmp(path(QString("s/sample0%1.bmp").arg(k)));
        const std::vector<std::uint8_t> tiff = encodeDeepTiff(deepOf(bmp), 8, {TiffCompression::None, 16});
        std::ofstream(path(QString("t%1.tif").arg(k)).toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(tiff.data()), std::streamsize(tiff.size()));
    }
    ASSERT_EQ(runProgram("orvanta-cli", {"-q", "-o", path("from-bmp.bmp"), path("s/sample01.bmp")}).exitCode, 0);
    const auto r = runProgram("orvanta-cli", {"-q", "-o", path("from-tif.bmp"), path("t1.tif")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QFile a(path("from-bmp.bmp")), b(path("from-tif.bmp"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
}
