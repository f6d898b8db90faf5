// Every GIF the encoder writes must decode, with Qt's reader, to exactly the picture reduced to
// the 125-colour cube (or to the indexed picture's own palette).
#include "support/case_name.h"
#include "output/gif_encoder.h"
#include "output/picture_writer.h"
#include "test_pictures.h"

#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace orv;
using namespace orv::test;

namespace {

// Oracle for the reduction: the nearest of the five levels, the lower one on a tie.
int nearestLevel(int c) {
    const int levels[5] = {0, 64, 128, 192, 255};
    int best = 0;
    for (int l : levels)
        if (std::abs(c - l) < std::abs(c - best)) best = l;
    return best;
}

QRgb reduced(QRgb c) { return qRgb(nearestLevel(qRed(c)), nearestLevel(qGreen(c)), nearestLevel(qBlue(c))); }

QImage readGif(const QString& path) {
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "gif");
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

// Reports the first mismatch only, with its place.
::testing::AssertionResult matchesReduction(const TestPicture& p, const QImage& back) {
    if (back.size() != QSize(p.width, p.height))
        return ::testing::AssertionFailure() << "size " << back.width() << "x" << back.height();
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (back.pixel(x, y) != reduced(p.at(x, y)))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex
                                                     << back.pixel(x, y) << ", expected " << reduced(p.at(x, y));
    return ::testing::AssertionSuccess();
}

struct Shape {
    int width;
    int height;
    int colours; // per channel; 256 = any value
};

void PrintTo(const Shape& s, std::ostream* os) { *os << s.width << "x" << s.height << " c" << s.colours; }

class GifRoundTrip : public ::testing::TestWithParam<Shape> {};

} // namespace

TEST_P(GifRoundTrip, DecodesToTheCubeReducedPicture) {
    const Shape s = GetParam();
    const TestPicture p = TestPicture::random(s.width, s.height, unsigned(s.width * 7919 + s.height), s.colours);
    QTemporaryDir dir;
    GIF gif;
    ASSERT_TRUE(gif.SaveGIF(GifPicture::fromBgr(p.view()), str(dir.filePath("r.gif")), false, {}));
    EXPECT_TRUE(matchesReduction(p, readGif(dir.filePath("r.gif"))));
}

// Wide rows reset the table inside the row several times; few colours make long strings
// (including strings used right after they are added).
INSTANTIATE_TEST_SUITE_P(Shapes, GifRoundTrip,
                         ::testing::Values(Shape{1, 1, 256}, Shape{1, 37, 256}, Shape{37, 1, 256},
                                           Shape{13, 7, 256}, Shape{255, 3, 256}, Shape{701, 4, 256},
                                           Shape{97, 61, 2}, Shape{640, 9, 3}, Shape{33, 65, 5}),
                         [](const auto& info) {
                             const Shape& s = info.param;
                             return std::to_string(s.width) + "x" + std::to_string(s.height) +
                                    (s.colours == 256 ? std::string("_any_colour") : "_" + std::to_string(s.colours) + "_levels");
                         });

TEST(GifRoundTripPhoto, ARealPhotoDecodesToItsCubeReduction) {
    const QString photo = QString(ORVANTA_SHARED_DATA) + "/stacks/beetle/beetle01.jpg";
    const QImage source(photo);
    if (source.isNull()) GTEST_SKIP() << "no photo at " << photo.toStdString();
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    TestPicture p(rgb.width(), rgb.height(), 1);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = rgb.pixel(x, y);
            p.set(x, y, qRed(c), qGreen(c), qBlue(c));
        }
    QTemporaryDir dir;
    GIF gif;
    ASSERT_TRUE(gif.SaveGIF(GifPicture::fromBgr(p.view()), str(dir.filePath("photo.gif")), false, {}));
    EXPECT_TRUE(matchesReduction(p, readGif(dir.filePath("photo.gif"))));
}

TEST(GifRoundTripIndexed, AnIndexedPictureKeepsItsOwnPalette) {
    std::mt19937 rng(5);
    std::array<Rgb, 256> palette{};
    for (int i = 0; i < 256; ++i) palette[i] = Rgb{std::uint8_t(i), std::uint8_t(rng()), std::uint8_t(rng())};
    const int w = 50, h = 21;
    const std::size_t stride = 52;
    std::vector<std::uint8_t> bits(stride * h);
    for (auto& b : bits) b = std::uint8_t(rng() % 40);
    QTemporaryDir dir;
    GIF gif;
    ASSERT_TRUE(gif.SaveGIF(GifPicture::fromIndexed(bits.data(), w, h, stride, palette),
                            str(dir.filePath("i.gif")), false, {}));
    const QImage back = readGif(dir.filePath("i.gif"));
    ASSERT_EQ(back.size(), QSize(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = palette[bits[stride * std::size_t(h - 1 - y) + std::size_t(x)]];
            ASSERT_EQ(back.pixel(x, y), qRgb(c.r, c.g, c.b)) << x << "," << y;
        }
}

TEST(GifTransparency, TheTopLeftColourAfterReductionBecomesTransparent) {
    // The corner's colour is off the cube; handing its unreduced value would miss the palette and
    // make black (entry 0) transparent instead.
    TestPicture p(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) p.set(x, y, 0, 0, 0);
    p.set(0, 0, 200, 30, 100);
    p.set(5, 3, 190, 20, 120); // same cube colour as the corner
    p.set(3, 1, 230, 30, 100); // a different one
    QTemporaryDir dir;
    PictureWriteOptions options;
    options.transparent = true;
    writePicture(str(dir.filePath("t.gif")), p.view(), options);
    const QImage back = readGif(dir.filePath("t.gif"));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool clear = (x == 0 && y == 0) || (x == 5 && y == 3);
            EXPECT_EQ(qAlpha(back.pixel(x, y)), clear ? 0 : 255) << x << "," << y;
            if (!clear) {
                EXPECT_EQ(back.pixel(x, y), reduced(p.at(x, y)));
            }
        }
}
