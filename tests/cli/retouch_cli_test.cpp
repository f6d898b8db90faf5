// orvanta-cli --retouch: a hand-written strokes file painted into the montage before it is written,
// exactly as the brush describes it; every line it cannot use is a usage error naming the line.
#include "cli/cli_options.h"
#include "cli_support.h"
#include "retouch/retouch.h"
#include "retouch/strokes_file.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace orv;
using namespace orv::test;

namespace {

void writeText(const QString& path, const std::string& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), qint64(text.size()));
}

// A picture's pixels top row first, blue, green, red.
std::vector<std::uint8_t> bgr(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = rgb.pixel(x, y);
            out.insert(out.end(), {std::uint8_t(qBlue(c)), std::uint8_t(qGreen(c)), std::uint8_t(qRed(c))});
        }
    return out;
}

// The seam score of a written montage worked out from its pixels: the mean colour distance of 8
// samples across the right seam and 8 across the seam above of every block with both neighbours,
// rows counted from the bottom.
double seamScore(const QImage& image, int inc) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const int w = rgb.width(), h = rgb.height();
    auto at = [&](int x, int y) { return rgb.pixel(x, h - 1 - y); };
    auto distance = [](QRgb a, QRgb b) {
        const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
        return std::sqrt(double(dr * dr + dg * dg + db * db));
    };
    double total = 0;
    int count = 0;
    for (int y = 0; y + inc < h; y += inc)
        for (int x = 0; x + inc < w; x += inc)
            for (int i = 1; i <= 8; ++i) {
                const int d = int(std::nearbyint(i * inc / 9.0));
                total += distance(at(x + inc - 1, y + d), at(x + inc, y + d));
                total += distance(at(x + d, y + inc - 1), at(x + d, y + inc));
                count += 2;
            }
    return count ? total / count : 0;
}

double printedScore(const std::string& out) {
    const auto at = out.rfind("Quality score = ");
    return at == std::string::npos ? -1 : std::stod(out.substr(at + 16));
}

class CliRetouch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runProgram("make-sample-series", {dir.path() + "/s", "--count", "3", "--size", "80x60"}).exitCode, 0);
    }
    QString path(const char* name) const { return dir.path() + "/" + name; }
    ProcessResult run(const QStringList& extra) {
        return runProgram("orvanta-cli", QStringList{"-q", "-i", "10"} + extra + QStringList{path("s/sample01.bmp")});
    }
    QTemporaryDir dir;
};

TEST(CliRetouchOptions, TheOptionNeedsAFile) {
    const CliParse p = parseCliOptions({"--retouch", "a.strokes", "x01.bmp"});
    ASSERT_TRUE(p.options) << p.error;
    EXPECT_EQ(p.options->retouchFile, "a.strokes");
    EXPECT_FALSE(parseCliOptions({"x01.bmp", "--retouch"}).options);
}

TEST_F(CliRetouch, PaintsTheStrokesOfAHandWrittenFileExactly) {
    writeText(path("f.strokes"),
              "orvanta-strokes 1\n# from picture 3 across the top\nstroke 3 9 100 100 0 5,5 70,12\n"
              "stroke 1 14 20 60 0 40,50\n");
    const auto plain = run({"-o", path("plain.bmp")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const auto painted = run({"-o", path("painted.bmp"), "--retouch", path("f.strokes")});
    ASSERT_EQ(painted.exitCode, 0) << painted.err;
    EXPECT_NE(painted.out.find("  Retouched =2 strokes\r\n"), std::string::npos) << painted.out;

    // The same strokes painted here on the plain montage, from the sample pictures as loaded (no
    // offsets: picture pixel (x, y) lies under montage pixel (x, y)).
    std::vector<std::uint8_t> montage = bgr(QImage(path("plain.bmp")));
    const retouch::Raster raster{montage.data(), 80, 60, 80 * 3};
    const std::vector<retouch::Stroke> strokes = retouch::readStrokesFile(path("f.strokes").toStdString());
    std::vector<std::vector<std::uint8_t>> sources;
    for (const char* name : {"s/sample01.bmp", "s/sample02.bmp", "s/sample03.bmp"}) sources.push_back(bgr(QImage(path(name))));
    for (const retouch::Stroke& s : strokes) {
        const auto& src = sources[std::size_t(s.picture - 1)];
        retouch::paintStroke(raster, retouch::SourcePlacement{src.data(), 80, 60, 80 * 3, 0, 0}, s);
    }
    const std::vector<std::uint8_t> written = bgr(QImage(path("painted.bmp")));
    EXPECT_EQ(written, montage);
    EXPECT_NE(written, bgr(QImage(path("plain.bmp"))));
}

TEST_F(CliRetouch, AProjectSavedWithStrokesGetsItsStrokesFile) {
    writeText(path("f.strokes"), "orvanta-strokes 1\nstroke 2 6 50 100 1 10,10 20,20\n");
    const auto r = run({"-o", path("m.bmp"), "--retouch", path("f.strokes"), "--save-project", path("p.mon")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(retouch::readStrokesFile(path("p.strokes").toStdString()),
              retouch::readStrokesFile(path("f.strokes").toStdString()));
}

// A retouched project is saved with its strokes beside it (p.mon, p.vrk, p.strokes): another
// output naming that file would be written over by the strokes, or write over them, and the run
// would end as if both were there. It is refused as any two outputs naming one file are.
TEST_F(CliRetouch, AnOutputNamingTheSavedProjectsStrokesIsAUsageError) {
    writeText(path("f.strokes"), "orvanta-strokes 1\nstroke 2 6 50 100 1 10,10 20,20\n");
    ASSERT_EQ(run({"-o", path("q.bmp"), "--retouch", path("f.strokes"), "--save-project", path("q.mon")}).exitCode, 0);
    const QStringList project{"--save-project", path("p.mon")};
    for (const QStringList& args :
         {QStringList{"-o", path("m.bmp"), "--retouch", path("f.strokes"), "--map", path("p.strokes")},
          QStringList{"-o", path("m.bmp"), "--retouch", path("f.strokes"), "--report", path("p.strokes")},
          QStringList{"-o", path("./p.strokes"), "--format", "bmp", "--retouch", path("f.strokes")},
          QStringList{"-o", path("m.bmp"), "--open-project", path("q.mon"), "--map", path("p.strokes")}}) {
        const ProcessResult r = args.contains("--open-project")
                                    ? runProgram("orvanta-cli", QStringList{"-q"} + args + project)
                                    : run(args + project);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString() << ": " << r.err;
        EXPECT_NE(r.err.find("--save-project names the same file as --"), std::string::npos) << r.err;
        for (const char* name : {"m.bmp", "p.mon", "p.vrk", "p.strokes"}) EXPECT_FALSE(QFile::exists(path(name))) << name;
    }
    // A project without strokes writes no strokes file: the name is the map's to take.
    const auto plain = run({"-o", path("m.bmp"), "--map", path("p.strokes"), "--save-project", path("p.mon")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    QFile map(path("p.strokes"));
    ASSERT_TRUE(map.open(QIODevice::ReadOnly));
    EXPECT_FALSE(map.readAll().startsWith("orvanta-strokes"));
}

// --score printed the score of the montage as made, before the strokes were painted into it: the
// number did not describe the picture written. Alone and after a comparison.
TEST_F(CliRetouch, TheQualityScoreIsTheWrittenMontagesWithItsStrokes) {
    writeText(path("f.strokes"), "orvanta-strokes 1\nstroke 3 12 100 100 0 5,5 75,55\nstroke 1 12 100 100 0 5,55 75,5\n");
    for (const QStringList& compare : {QStringList{}, QStringList{"--evaluate", "methods"}}) {
        const auto plain = run(compare + QStringList{"--score", "-o", path("plain.bmp")});
        ASSERT_EQ(plain.exitCode, 0) << plain.err;
        const auto painted = run(compare + QStringList{"--score", "-o", path("painted.bmp"), "--retouch", path("f.strokes")});
        ASSERT_EQ(painted.exitCode, 0) << painted.err;
        const double before = seamScore(QImage(path("plain.bmp")), 10), after = seamScore(QImage(path("painted.bmp")), 10);
        ASSERT_GT(std::abs(after - before), 0.01) << "strokes that leave the seams as they were tell nothing";
        EXPECT_NEAR(printedScore(plain.out), before, 1e-3 * before) << plain.out;
        EXPECT_NEAR(printedScore(painted.out), after, 1e-3 * after) << painted.out;
    }
}

struct BadFile {
    const char* name;
    std::string text;
    std::string says;
};

class CliRetouchErrors : public CliRetouch, public ::testing::WithParamInterface<BadFile> {};

TEST_P(CliRetouchErrors, AreUsageErrorsNamingTheLineAndWriteNothing) {
    writeText(path("bad.strokes"), GetParam().text);
    const auto r = run({"-o", path("m.bmp"), "--retouch", path("bad.strokes")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("m.bmp").toStdString()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliRetouchErrors,
    ::testing::Values(BadFile{"UnknownLine", "orvanta-strokes 1\n\nerase 1 2\n", "line 3: unknown line"},
                      BadFile{"PictureOutsideTheSeries", "orvanta-strokes 1\nstroke 4 9 100 100 0 5,5\n",
                              "line 2: picture 4 is outside 1 to 3"},
                      BadFile{"RadiusOutOfRange", "orvanta-strokes 1\n# r\nstroke 1 1001 100 100 0 5,5\n", "line 3: radius 1001"},
                      BadFile{"NoVersionLine", "stroke 1 9 100 100 0 5,5\n", "line 1: the first line"},
                      BadFile{"Missing", "", "line 1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliRetouch, AStrokesFileThatIsNotThereIsAUsageError) {
    const auto r = run({"-o", path("m.bmp"), "--retouch", path("none.strokes")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("none.strokes"), std::string::npos) << r.err;
}

} // namespace
