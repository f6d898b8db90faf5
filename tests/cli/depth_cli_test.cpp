// orvanta-cli and depth: --depth 16 writes TIFF and PNG at 16 bits per sample whose 8-bit view is
// the montage; a series of tiled TIFF files (which Qt's reader refuses) makes the same montage as
// the same pictures in BMP files.
#include "cli_support.h"
#include "input/deep_reader.h"
#include "output/deep_writer.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

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

// The picture at 16 bits: each 8-bit value c as c * 257 moved by up to 128 either way, so that
// its 8-bit view is the picture while most samples are no multiple of 257.
DeepPicture sixteenBitsOf(const QImage& image, unsigned seed) {
    DeepPicture p = deepOf(image);
    p.bitsPerSample = 16;
    std::mt19937 rng(seed);
    for (std::uint16_t& v : p.samples) v = std::uint16_t(std::clamp(int(v) + int(rng() % 257) - 128, 0, 65535));
    return p;
}

void writeBytes(const QString& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
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

TEST_F(CliDepth, ASixteenBitSeriesGivesASixteenBitMontageWhoseEightBitViewIsTodays) {
    for (int k = 1; k <= 3; ++k) {
        const QImage bmp(path(QString("s/sample0%1.bmp").arg(k)));
        writeBytes(path(QString("deep%1.tif").arg(k)), encodeDeepTiff(sixteenBitsOf(bmp, unsigned(k)), 16, {TiffCompression::Lzw, 0}));
    }
    for (const char* method : {"0", "2", "4"}) {
        const QString out = path(QString("deep-m%1.tif").arg(method)), view = path(QString("deep-m%1.bmp").arg(method));
        const auto r = runProgram("orvanta-cli", {"-q", "-m", method, "-o", out, path("deep1.tif")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "") << method;
        ASSERT_EQ(runProgram("orvanta-cli", {"-q", "-m", method, "-o", view, path("deep1.tif")}).exitCode, 0);
        const QImage deep(out), eight(view);
        ASSERT_GE(deep.depth(), 48) << method;
        ASSERT_EQ(deep.size(), eight.size());
        int notMultiples = 0;
        for (int y = 0; y < deep.height(); ++y)
            for (int x = 0; x < deep.width(); ++x) {
                const QRgba64 d = deep.pixelColor(x, y).rgba64();
                const QRgb e = eight.pixel(x, y);
                ASSERT_EQ(eightBitsOf(d.red()), qRed(e)) << method << " " << x << "," << y;
                ASSERT_EQ(eightBitsOf(d.green()), qGreen(e)) << method << " " << x << "," << y;
                ASSERT_EQ(eightBitsOf(d.blue()), qBlue(e)) << method << " " << x << "," << y;
                notMultiples += d.red() % 257 != 0;
            }
        EXPECT_GT(notMultiples, deep.width() * deep.height() / 2) << method;
    }
    // --depth 8 keeps it at 8 bits.
    ASSERT_EQ(runProgram("orvanta-cli", {"-q", "--depth", "8", "-o", path("d8.png"), path("deep1.tif")}).exitCode, 0);
    EXPECT_LE(QImage(path("d8.png")).depth(), 32);
}

TEST_F(CliDepth, PyramidFocusOfASixteenBitSeriesIsSixteenBit) {
    for (int k = 1; k <= 3; ++k) {
        const QImage bmp(path(QString("s/sample0%1.bmp").arg(k)));
        writeBytes(path(QString("py%1.png").arg(k)), encodeDeepPng(sixteenBitsOf(bmp, unsigned(10 + k)), 16));
    }
    const auto p = runProgram("orvanta-cli", {"-q", "-m", "pyramid", "-o", path("py.tif"), path("py1.png")});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(p.err, "");
    ASSERT_EQ(runProgram("orvanta-cli", {"-q", "-m", "pyramid", "-o", path("py.bmp"), path("py1.png")}).exitCode, 0);
    const QImage deep(path("py.tif")), eight(path("py.bmp"));
    ASSERT_GE(deep.depth(), 48);
    ASSERT_EQ(deep.size(), eight.size());
    int notMultiples = 0;
    double sum = 0;
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x) {
            const QRgba64 d = deep.pixelColor(x, y).rgba64();
            sum += std::abs(eightBitsOf(d.green()) - qGreen(eight.pixel(x, y)));
            notMultiples += d.green() % 257 != 0;
        }
    EXPECT_LT(sum / (deep.width() * deep.height()), 0.75);
    EXPECT_GT(notMultiples, deep.width() * deep.height() / 2);
}

TEST_F(CliDepth, ASeriesMixingDepthsIsReadAtSixteenBitsAndSaysSo) {
    for (int k = 1; k <= 3; ++k) {
        const QImage bmp(path(QString("s/sample0%1.bmp").arg(k)));
        const DeepPicture p = k == 2 ? deepOf(bmp) : sixteenBitsOf(bmp, unsigned(20 + k));
        writeBytes(path(QString("mix%1.tif").arg(k)), encodeDeepTiff(p, k == 2 ? 8 : 16));
    }
    const auto r = runProgram("orvanta-cli", {"-q", "-o", path("mix.tif"), path("mix1.tif")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "orvanta-cli: the series mixes 8- and 16-bit pictures; it is read at 16 bits\n");
    EXPECT_GE(QImage(path("mix.tif")).depth(), 48);
}

namespace {

// The montage's error against the truth in 16-bit units, as a peak signal-to-noise ratio (dB);
// 200 for no error at all.
double psnrAgainst(const DeepPicture& montage, const DeepPicture& truth) {
    EXPECT_EQ(montage.samples.size(), truth.samples.size());
    double sum = 0;
    for (std::size_t i = 0; i < truth.samples.size() && i < montage.samples.size(); ++i) {
        const double d = double(montage.samples[i]) - double(truth.samples[i]);
        sum += d * d;
    }
    if (sum == 0) return 200;
    return 10 * std::log10(65535.0 * 65535.0 / (sum / double(truth.samples.size())));
}

} // namespace

TEST(CliDeepSeries, ASixteenBitSampleSeriesGivesAMontageCloserToItsTruthThanTheEightBitOne) {
    QTemporaryDir dir;
    const QString deep = dir.path() + "/d", eight = dir.path() + "/e";
    ASSERT_EQ(runProgram("make-sample-series", {deep, "--count", "4", "--size", "160x120", "--depth", "16"}).exitCode, 0);
    ASSERT_EQ(runProgram("make-sample-series", {eight, "--count", "4", "--size", "160x120"}).exitCode, 0);
    DeepPicture truth;
    ASSERT_EQ(readDeepPicture((deep + "/sample-truth.tif").toStdString(), truth), DecodeStatus::Ok);
    EXPECT_EQ(truth.bitsPerSample, 16);
    const auto a = runProgram("orvanta-cli", {"-q", "-o", dir.path() + "/deep.tif", deep + "/sample01.tif"});
    ASSERT_EQ(a.exitCode, 0) << a.err;
    const auto b = runProgram("orvanta-cli", {"-q", "-o", dir.path() + "/eight.tif", eight + "/sample01.bmp"});
    ASSERT_EQ(b.exitCode, 0) << b.err;
    DeepPicture fromDeep, fromEight;
    ASSERT_EQ(readDeepPicture((dir.path() + "/deep.tif").toStdString(), fromDeep), DecodeStatus::Ok);
    ASSERT_EQ(readDeepPicture((dir.path() + "/eight.tif").toStdString(), fromEight), DecodeStatus::Ok);
    EXPECT_EQ(fromDeep.bitsPerSample, 16);
    EXPECT_EQ(fromEight.bitsPerSample, 8);
    const double deepDb = psnrAgainst(fromDeep, truth), eightDb = psnrAgainst(fromEight, truth);
    // The block choices' own error dominates at this size; the 8-bit rounding is only added to it.
    EXPECT_GT(deepDb, eightDb) << "16-bit " << deepDb << " dB, 8-bit " << eightDb << " dB";
}

// Smooth gradients are where 8 bits show bands: the same gradient series at 16 bits and at 8, each
// merged by Pyramid Focus, against the truth at 16 bits. The blur leaves the gradients as they are,
// so the 8-bit montage's error is its rounding (about 74 units), and the 16-bit one must keep at
// least 10 dB below it: a deep pyramid that rounded or clamped to 8 bits anywhere would not.
TEST(CliDeepSeries, OnSmoothGradientsTheSixteenBitPyramidIsTenDbCloserToTheTruthThanTheEightBitOne) {
    QTemporaryDir dir;
    const QString deep = dir.path() + "/d", eight = dir.path() + "/e";
    const QStringList scene{"--scene", "gradient", "--count", "5", "--size", "240x180"};
    ASSERT_EQ(runProgram("make-sample-series", QStringList{deep, "--depth", "16"} + scene).exitCode, 0);
    ASSERT_EQ(runProgram("make-sample-series", QStringList{eight} + scene).exitCode, 0);
    DeepPicture truth;
    ASSERT_EQ(readDeepPicture((deep + "/sample-truth.tif").toStdString(), truth), DecodeStatus::Ok);
    const auto a = runProgram("orvanta-cli", {"-q", "-m", "pyramid", "-o", dir.path() + "/deep.tif", deep + "/sample01.tif"});
    ASSERT_EQ(a.exitCode, 0) << a.err;
    const auto b = runProgram("orvanta-cli", {"-q", "-m", "pyramid", "-o", dir.path() + "/eight.tif", eight + "/sample01.bmp"});
    ASSERT_EQ(b.exitCode, 0) << b.err;
    DeepPicture fromDeep, fromEight;
    ASSERT_EQ(readDeepPicture((dir.path() + "/deep.tif").toStdString(), fromDeep), DecodeStatus::Ok);
    ASSERT_EQ(readDeepPicture((dir.path() + "/eight.tif").toStdString(), fromEight), DecodeStatus::Ok);
    ASSERT_EQ(fromDeep.bitsPerSample, 16);
    ASSERT_EQ(fromEight.bitsPerSample, 8); // held as v * 257
    const double deepDb = psnrAgainst(fromDeep, truth), eightDb = psnrAgainst(fromEight, truth);
    EXPECT_GE(deepDb - eightDb, 10.0) << "16-bit " << deepDb << " dB, 8-bit " << eightDb << " dB";
}

// --format is the picture's format whatever the name's ending, and a 16-bit series is written at
// 16 bits in whichever of TIFF and PNG it names, standard output included.
struct FormatCase {
    const char* label;
    const char* output; // "-": standard output
    const char* format;
    const char* written; // as QImageReader names it
    bool sixteenBits;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.label; }

class CliDepthFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(CliDepthFormat, TheFormatOptionDecidesWhateverTheName) {
    const FormatCase& c = GetParam();
    QTemporaryDir dir;
    const auto p = [&](const QString& name) { return dir.path() + "/" + name; };
    ASSERT_EQ(runProgram("make-sample-series", {p("s"), "--count", "3", "--size", "90x70"}).exitCode, 0);
    for (int k = 1; k <= 3; ++k)
        writeBytes(p(QString("deep%1.png").arg(k)),
                   encodeDeepPng(sixteenBitsOf(QImage(p(QString("s/sample0%1.bmp").arg(k))), unsigned(k)), 16));
    const bool toStdout = std::string(c.output) == "-";
    const QString out = toStdout ? QString("-") : p(c.output);
    const auto r = runProgram("orvanta-cli", {"-q", "--format", c.format, "-o", out, p("deep1.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QString written = toStdout ? p("stdout.picture") : out;
    if (toStdout) writeBytes(written, std::vector<std::uint8_t>(r.out.begin(), r.out.end()));
    QImageReader reader(written);
    EXPECT_EQ(reader.format().toStdString(), c.written);
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(90, 70));
    if (c.sixteenBits)
        EXPECT_GE(image.depth(), 48);
    else
        EXPECT_LE(image.depth(), 32);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliDepthFormat,
    ::testing::Values(FormatCase{"png_by_name", "m.png", "png", "png", true},
                      FormatCase{"png_named_bmp", "m.bmp", "png", "png", true},
                      FormatCase{"tiff_to_standard_output", "-", "tiff", "tiff", true},
                      FormatCase{"bmp_named_png", "m.png", "bmp", "bmp", false},
                      FormatCase{"jpg_named_tif", "m.tif", "jpg", "jpeg", false},
                      FormatCase{"gif_named_png", "m.png", "gif", "gif", false}),
    [](const auto& info) { return std::string(info.param.label); });
