// Pictures written at a chosen depth: 16-bit TIFF and PNG keep every sample (as Qt reads them
// back), carry the metadata, and the other formats take the 8-bit view.
#include "output/deep_output.h"
#include "output/deep_writer.h"
#include "test_pictures.h"
#include "base/runtime_error.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace orv;
using namespace orv::test;

namespace {

DeepPicture fullRange(int w, int h, unsigned seed) {
    DeepPicture p(w, h, 3, 16);
    std::mt19937 rng(seed);
    for (std::uint16_t& s : p.samples) s = std::uint16_t(rng());
    return p;
}

class DeepOutput : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(DeepOutput, SixteenBitsComeBackSampleForSample) {
    const DeepPicture picture = fullRange(19, 11, 3);
    QTemporaryDir dir;
    const QString path = dir.path() + "/d." + GetParam();
    writeDeepPicture(path.toStdString(), picture, 16);
    const QImage back(path);
    ASSERT_EQ(back.size(), QSize(19, 11));
    ASSERT_GE(back.depth(), 48) << "read back at 8 bits";
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 19; ++x) {
            const QRgba64 c = back.pixelColor(x, y).rgba64();
            ASSERT_EQ(c.red(), picture.at(x, y, 0)) << x << "," << y;
            ASSERT_EQ(c.green(), picture.at(x, y, 1)) << x << "," << y;
            ASSERT_EQ(c.blue(), picture.at(x, y, 2)) << x << "," << y;
        }
}

TEST_P(DeepOutput, EightBitsAreTheViewOfTheTwentyFourBitPicture) {
    const TestPicture source = TestPicture::random(23, 9, 4);
    const DeepPicture deep = deepFromBgr(source.view());
    QTemporaryDir dir;
    const QString path = dir.path() + "/e." + GetParam();
    writeDeepPicture(path.toStdString(), deep, 8);
    const QImage back(path);
    ASSERT_EQ(back.depth() <= 32, true);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 23; ++x) ASSERT_EQ(back.pixel(x, y) | 0xff000000u, source.at(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Formats, DeepOutput, ::testing::Values("tif", "png"),
                         [](const auto& info) { return std::string(info.param); });

TEST(DeepOutputOther, BmpAndJpegTakeTheEightBitView) {
    DeepPicture picture(8, 8, 1, 16);
    for (std::size_t i = 0; i < picture.samples.size(); ++i) picture.samples[i] = std::uint16_t(i * 1000 + 300);
    QTemporaryDir dir;
    const QString bmp = dir.path() + "/g.bmp";
    writeDeepPicture(bmp.toStdString(), picture, 16);
    const QImage back(bmp);
    ASSERT_EQ(back.size(), QSize(8, 8));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int v = eightBitsOf(picture.at(x, y, 0));
            ASSERT_EQ(back.pixel(x, y) | 0xff000000u, qRgb(v, v, v)) << x << "," << y;
        }
    EXPECT_THROW(writeDeepPicture((dir.path() + "/x.png").toStdString(), picture, 12), RuntimeError);
}

TEST(DeepOutputOther, SixteenBitFilesCarryTheMetadata) {
    PictureMetadata m;
    m.icc.assign(160, 0);
    m.icc[3] = 160;
    std::memcpy(&m.icc[36], "acsp", 4);
    QTemporaryDir dir;
    for (const char* ext : {"tif", "png"}) {
        const std::string path = dir.path().toStdString() + "/m." + ext;
        PictureWriteOptions w;
        w.metadata = &m;
        writeDeepPicture(path, fullRange(10, 10, 1), 16, w);
        std::vector<std::string> problems;
        EXPECT_EQ(readPictureMetadata(path, problems).icc, m.icc) << ext;
        EXPECT_GE(QImage(QString::fromStdString(path)).depth(), 48) << ext;
    }
}
