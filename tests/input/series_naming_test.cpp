// The series naming rule and the series loop, on names and on real files made here.
#include "input/picture_file.h"
#include "input/series_loader.h"
#include "input/series_naming.h"

#include "base/runtime_error.h"

#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace orv;

namespace {

std::vector<std::string> names(const std::string& completed, int count) {
    const auto s = parseSeriesName(completed);
    std::vector<std::string> out;
    if (!s) return out;
    for (int k = 1; k <= count; ++k) out.push_back(s->fileName(k));
    return out;
}

} // namespace

TEST(SeriesNaming, CountsUpTheDigitsBeforeTheFirstDotKeepingTheirWidth) {
    EXPECT_EQ(names("/pics/rock01.bmp", 11).back(), "/pics/rock11.bmp");
    EXPECT_EQ(names("/pics/rock01.bmp", 9).back(), "/pics/rock09.bmp");
    EXPECT_EQ(names("/pics/shot9.jpg", 3),
              (std::vector<std::string>{"/pics/shot9.jpg", "/pics/shot10.jpg", "/pics/shot11.jpg"}));
    EXPECT_EQ(names("/pics/img099.bmp", 2),
              (std::vector<std::string>{"/pics/img099.bmp", "/pics/img100.bmp"}));
    EXPECT_EQ(names("/pics/a05.gif", 1).front(), "/pics/a05.gif");
    EXPECT_EQ(names("/pics/ROCK1.JPG", 2).back(), "/pics/ROCK2.JPG");
    // Everything from the first dot stays as typed.
    EXPECT_EQ(names("/pics/x7.tar.bmp", 2).back(), "/pics/x8.tar.bmp");
}

TEST(SeriesNaming, RefusesANameWithoutADigitBeforeTheDot) {
    EXPECT_FALSE(parseSeriesName("/a/photo.bmp"));
    EXPECT_FALSE(parseSeriesName(completeSeriesName("/a/photo", "/prog/")));
    EXPECT_EQ(completeSeriesName("/a/photo", "/prog/"), "/a/photo.bmp");
}

TEST(SeriesNaming, ADotInAFolderNameIsNotTheExtension) {
    EXPECT_EQ(names("/home/ann.lee/pics/rock1.bmp", 2).back(), "/home/ann.lee/pics/rock2.bmp");
    EXPECT_EQ(completeSeriesName("/my.dir/rock1", "/p/"), "/my.dir/rock1.bmp");
}

TEST(SeriesNaming, AHiddenFilesLeadingDotIsNotTheExtension) {
    EXPECT_EQ(names("/pics/.shot1.bmp", 2), (std::vector<std::string>{"/pics/.shot1.bmp", "/pics/.shot2.bmp"}));
    EXPECT_EQ(names("/pics/..9.jpg", 2).back(), "/pics/..10.jpg");
    EXPECT_EQ(names("/pics/.1.bmp", 2).back(), "/pics/.2.bmp");
    EXPECT_EQ(completeSeriesName("/pics/.shot1", "/p/"), "/pics/.shot1.bmp");
    EXPECT_EQ(completeSeriesName(".shot1", "/p/"), "/p/.shot1.bmp");
    // A hidden name without a number is still refused.
    EXPECT_FALSE(parseSeriesName("/pics/.shot.bmp"));
    EXPECT_FALSE(parseSeriesName("/pics/.bmp"));
}

TEST(SeriesNaming, ABareNameGetsTheProgramFolderAndBmp) {
    EXPECT_EQ(completeSeriesName("rock", "/opt/orvanta/"), "/opt/orvanta/rock.bmp");
    EXPECT_EQ(completeSeriesName("rock3", "/opt/orvanta/"), "/opt/orvanta/rock3.bmp");
    EXPECT_EQ(completeSeriesName("/abs/rock3.jpg", "/opt/orvanta/"), "/abs/rock3.jpg");
}

TEST(SeriesNaming, ANumberBeyond16BitsIsAnOverflow) {
    EXPECT_THROW(parseSeriesName("/p/a99999.bmp"), RuntimeError);
    EXPECT_TRUE(parseSeriesName("/p/a32767.bmp"));
}

class SeriesOnDisk : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path(const std::string& name) { return dir.path().toStdString() + "/" + name; }
    void picture(const std::string& name, int w = 8, int h = 6) {
        QImage img(w, h, QImage::Format_RGB888);
        img.fill(Qt::red);
        ASSERT_TRUE(img.save(QString::fromStdString(path(name)), "BMP"));
    }
    SeriesResult load(const std::string& first, int* limitCalls = nullptr) {
        const auto s = parseSeriesName(path(first));
        EXPECT_TRUE(s);
        return loadSeriesFiles(
            *s,
            [](int, const std::string& name) {
                QImage img;
                return decodePicture(name, img);
            },
            [limitCalls] {
                if (limitCalls) ++*limitCalls;
            });
    }
};

TEST_F(SeriesOnDisk, LoadsAcrossADigitCarry) {
    for (auto n : {"rock09.bmp", "rock10.bmp", "rock11.bmp", "rock12.bmp"}) picture(n);
    const auto r = load("rock09.bmp");
    EXPECT_EQ(r.count, 4);
    EXPECT_EQ(r.currentFileName, path("rock13.bmp"));
    for (auto n : {"b9.bmp", "b10.bmp"}) picture(n);
    EXPECT_EQ(load("b9.bmp").count, 2);
}

TEST_F(SeriesOnDisk, AGapEndsTheSeries) {
    for (auto n : {"g1.bmp", "g2.bmp", "g4.bmp"}) picture(n);
    EXPECT_EQ(load("g1.bmp").count, 2);
}

// The look-ahead past the end of a series: a later number of the same naming a few numbers on is
// found, and only where the series ended because the next file is not there at all.
TEST_F(SeriesOnDisk, AGapWithLaterFilesOfTheSeriesIsFoundAFewNumbersAhead) {
    for (auto n : {"g01.bmp", "g02.bmp", "g04.bmp", "g05.bmp"}) picture(n);
    const auto g = parseSeriesName(path("g01.bmp"));
    ASSERT_TRUE(g);
    const std::optional<SeriesGap> gap = seriesGapAfter(*g, 2);
    ASSERT_TRUE(gap);
    EXPECT_EQ(gap->last, path("g02.bmp"));
    EXPECT_EQ(gap->missing, path("g03.bmp"));
    EXPECT_EQ(gap->later, path("g04.bmp"));
    // The first later file is the one named, however many numbers are missing before it.
    picture("h1.bmp");
    picture("h6.bmp");
    picture("h7.bmp");
    const auto h = parseSeriesName(path("h1.bmp"));
    ASSERT_TRUE(h);
    ASSERT_TRUE(seriesGapAfter(*h, 1));
    EXPECT_EQ(seriesGapAfter(*h, 1)->later, path("h6.bmp"));
    // Beyond the look-ahead: nothing is said.
    EXPECT_FALSE(seriesGapAfter(*h, 1, 3));
    // No pictures read, or a series that ran to its end.
    EXPECT_FALSE(seriesGapAfter(*g, 0));
    EXPECT_FALSE(seriesGapAfter(*g, 5));
}

TEST_F(SeriesOnDisk, ASeriesThatEndsAtAFileThatIsThereHasNoGap) {
    for (auto n : {"f1.bmp", "f2.bmp", "f4.bmp"}) picture(n);
    const auto f = parseSeriesName(path("f1.bmp"));
    ASSERT_TRUE(f);
    // A folder of the next number's name ends the series as a picture that cannot be read.
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path("f3.bmp"))));
    EXPECT_FALSE(seriesGapAfter(*f, 2));
    // Nor is a folder or a dangling link a later file of the series.
    for (auto n : {"e1.bmp", "e2.bmp"}) picture(n);
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path("e4.bmp"))));
    ASSERT_EQ(::symlink("gone.bmp", path("e5.bmp").c_str()), 0);
    const auto e = parseSeriesName(path("e1.bmp"));
    ASSERT_TRUE(e);
    EXPECT_FALSE(seriesGapAfter(*e, 2));
    // The series cannot count past 32767: what lies there is not a later file of it.
    for (auto n : {"n32765.bmp", "n32766.bmp", "n32768.bmp"}) picture(n);
    const auto n = parseSeriesName(path("n32765.bmp"));
    ASSERT_TRUE(n);
    EXPECT_FALSE(seriesGapAfter(*n, 2));
    EXPECT_FALSE(seriesGapAfter(*n, 3));
}

TEST_F(SeriesOnDisk, ThirtyFilesShowTheLimitBeforeAnyThirtyFirstAttempt) {
    for (int k = 1; k <= 30; ++k) picture("s" + std::to_string(k) + ".bmp", 2, 2);
    int limit = 0;
    auto r = load("s1.bmp", &limit);
    EXPECT_EQ(r.count, 30);
    EXPECT_EQ(limit, 1);
    EXPECT_TRUE(r.limitReached);
    picture("s31.bmp", 2, 2);
    r = load("s1.bmp", &limit);
    EXPECT_EQ(r.count, 30);
    EXPECT_EQ(limit, 2);
}

TEST_F(SeriesOnDisk, AnUnreadableFileIsAnInvalidPictureNotTheEndOfTheSeries) {
    picture("c1.bmp");
    {
        QFile f(QString::fromStdString(path("c2.bmp")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM this is not a bitmap");
    }
    const auto r = load("c1.bmp");
    EXPECT_EQ(r.count, 1);
    EXPECT_TRUE(r.invalidPicture);
}

TEST_F(SeriesOnDisk, ZeroByteAndTruncatedFilesAreInvalid) {
    QImage img;
    {
        QFile f(QString::fromStdString(path("z1.bmp")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(decodePicture(path("z1.bmp"), img), DecodeStatus::Invalid);
    picture("t1.bmp", 40, 40);
    QFile f(QString::fromStdString(path("t1.bmp")));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(60);
    f.close();
    EXPECT_EQ(decodePicture(path("t1.bmp"), img), DecodeStatus::Invalid);
    EXPECT_EQ(decodePicture(path("none1.bmp"), img), DecodeStatus::Missing);
}

TEST(PictureLayout, RowsAreStoredBottomUpInBlueGreenRedWithBlackMargins) {
    QImage img(5, 3, QImage::Format_RGB888);
    img.fill(Qt::black);
    img.setPixelColor(0, 0, QColor(10, 20, 30)); // top-left
    img.setPixelColor(4, 2, QColor(1, 2, 3));    // bottom-right
    const auto cells = toRoundedBgr(img);
    ASSERT_EQ(cells.size(), 8u * 4u * 3u);
    const auto at = [&](int ch, int x, int y) { return cells[ch + 3 * (x + 8 * y)]; };
    EXPECT_EQ(at(0, 0, 2), 30); // top row is array row h - 1
    EXPECT_EQ(at(2, 0, 2), 10);
    EXPECT_EQ(at(0, 4, 0), 3);
    EXPECT_EQ(at(2, 4, 0), 1);
    EXPECT_EQ(at(0, 5, 0), 0); // margin
    QImage back(5, 3, QImage::Format_RGB888);
    fromRoundedBgr(cells.data(), 8, 4, back);
    EXPECT_EQ(back, img);
}

TEST(PictureLayout, ThirtyTwoBitPicturesConvertLikeTwentyFourBitOnes) {
    QImage img(7, 5, QImage::Format_ARGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) img.setPixel(x, y, qRgba(x * 30, y * 50, (x * y) % 256, 128));
    const QImage rgb = img.convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(toRoundedBgr(img), toRoundedBgr(rgb));
    EXPECT_EQ(toRoundedBgr(img.convertToFormat(QImage::Format_RGB32)), toRoundedBgr(rgb));
}

TEST_F(SeriesOnDisk, TheParallelLoaderKeepsTheSeriesOrderAndRules) {
    for (int k = 1; k <= 6; ++k) {
        QImage img(4 + k, 3, QImage::Format_RGB888); // each picture recognisable by its width
        img.fill(Qt::blue);
        ASSERT_TRUE(img.save(QString::fromStdString(path("p" + std::to_string(k) + ".bmp")), "BMP"));
    }
    std::vector<std::unique_ptr<MemorySurface>> out;
    std::vector<int> seen;
    auto r = loadSeriesSurfaces(*parseSeriesName(path("p1.bmp")), out, [&](int k) { seen.push_back(k); });
    EXPECT_EQ(r.count, 6);
    ASSERT_EQ(out.size(), 6u);
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(out[std::size_t(k - 1)]->pictureWidth(), 4 + k);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    // A damaged third file ends the series there as an invalid picture.
    QFile f(QString::fromStdString(path("p3.bmp")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("garbage");
    f.close();
    out.clear();
    r = loadSeriesSurfaces(*parseSeriesName(path("p1.bmp")), out);
    EXPECT_EQ(r.count, 2);
    EXPECT_TRUE(r.invalidPicture);
    EXPECT_EQ(out.size(), 2u);
}

// The batch front end decodes JPEG files itself; the desktop program reads them through Qt. Both
// must give the same pixels, or the two would make different montages.
class JpegPaths : public ::testing::Test {
protected:
    QTemporaryDir dir;
    static void expectSamePixels(const std::string& path) {
        std::unique_ptr<MemorySurface> direct;
        ASSERT_EQ(decodeToSurface(path, direct), DecodeStatus::Ok) << path;
        QImage viaQt;
        ASSERT_EQ(decodePicture(path, viaQt), DecodeStatus::Ok) << path;
        ASSERT_EQ(direct->pictureWidth(), viaQt.width());
        ASSERT_EQ(direct->pictureHeight(), viaQt.height());
        EXPECT_TRUE(direct->rounded() == toRoundedBgr(viaQt)) << path;
    }
    std::string write(const QImage& img, const char* name, int quality, bool progressive = false) {
        const QString p = dir.path() + "/" + name;
        QImageWriter w(p, "jpeg");
        w.setQuality(quality);
        w.setProgressiveScanWrite(progressive);
        EXPECT_TRUE(w.write(img));
        return p.toStdString();
    }
};

TEST_F(JpegPaths, DirectDecodingMatchesQtsReader) {
    QImage img(123, 77, QImage::Format_RGB32);
    std::uint32_t seed = 3;
    for (int y = 0; y < 77; ++y)
        for (int x = 0; x < 123; ++x) {
            seed = seed * 1664525u + 1013904223u;
            img.setPixel(x, y, qRgb(x * 2, (y * 3 + int(seed >> 28)) % 256, int(seed >> 24)));
        }
    expectSamePixels(write(img, "c.jpg", 90));
    expectSamePixels(write(img, "p.jpg", 60, true));
    expectSamePixels(write(img.convertToFormat(QImage::Format_Grayscale8), "g.jpg", 85));
}

TEST_F(JpegPaths, DirectDecodingOfRealPhotosMatchesQtsReader) {
    for (const char* real : {"stacks/beetle/beetle01.jpg", "stacks/pcb/pcb01.jpg"}) {
        const std::string p = std::string(ORVANTA_SHARED_DATA) + "/" + real;
        if (!QFile::exists(QString::fromStdString(p))) GTEST_SKIP() << "no shared photo at " << p;
        expectSamePixels(p);
    }
}

TEST_F(JpegPaths, ATruncatedJpegFallsBackToQtsVerdict) {
    QImage img(64, 64, QImage::Format_RGB32);
    img.fill(qRgb(200, 10, 10));
    const std::string p = write(img, "t.jpg", 90);
    QFile f(QString::fromStdString(p));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(f.size() / 2);
    f.close();
    std::unique_ptr<MemorySurface> direct;
    QImage viaQt;
    const DecodeStatus a = decodeToSurface(p, direct);
    EXPECT_EQ(a, decodePicture(p, viaQt));
    if (a == DecodeStatus::Ok) {
        EXPECT_TRUE(direct->rounded() == toRoundedBgr(viaQt));
    }
}
