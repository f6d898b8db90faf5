// orvanta-cli end to end: option handling, exit statuses, messages, and the montage it writes.
#include "session/montage_session.h"
#include "session/prompting_observer.h"
#include "cli/cli_options.h"
#include "cli_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace orv;
using namespace orv::test;

namespace {

class CliSeries : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        const auto r = runProgram("make-sample-series",
                                  {dir_->path() + "/s", "--count", "4", "--size", "120x90"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    QString first() const { return dir_->path() + "/s/sample01.bmp"; }
    QString out(const QString& name) const { return dir_->path() + "/" + name; }
    static QTemporaryDir* dir_;
};

QTemporaryDir* CliSeries::dir_ = nullptr;

} // namespace

TEST(CliOptions, UnknownOptionsAndBadValuesAreUsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate", "a1.bmp"}, {"-m", "6", "a1.bmp"},        {"--ignore", "0", "a1.bmp"},
        {"--ignore", "11", "a1.bmp"}, {"--area", "middle", "a1.bmp"}, {"--offsets", "1;2", "a1.bmp"},
        {"a1.bmp", "b1.bmp"},         {},                          {"--output"}};
    for (const auto& args : bad) EXPECT_FALSE(parseCliOptions(args).options) << args.size();
    const auto ok = parseCliOptions({"-m", "green", "--ignore", "2,5", "--offsets", "152,98;160,95",
                                     "--area", "max", "-i", "abc", "x1.bmp"});
    ASSERT_TRUE(ok.options);
    EXPECT_EQ(ok.options->method, 3);
    EXPECT_TRUE(ok.options->ignored[1] && ok.options->ignored[4]);
    EXPECT_TRUE(ok.options->useOffsets);
    EXPECT_EQ(ok.options->offsets[1], (ImageOffset{160, 95}));
    EXPECT_EQ(ok.options->area, DisplayArea::Maximum);
    EXPECT_EQ(defaultMontageName("/a.b/shot01.x.bmp"), "/a.b/shot01 montage.bmp");
    // A hidden series' montage is named after it, not " montage.bmp" alone.
    EXPECT_EQ(defaultMontageName("/a.b/.shot01.bmp"), "/a.b/.shot01 montage.bmp");
}

TEST_F(CliSeries, WritesTheMontageTheMapAndThePropertiesText) {
    const auto r = runProgram("orvanta-cli", {"-q", "-o", out("m.bmp"), "--map", out("map.txt"),
                                              "-i", " 30 ", first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QImage m(out("m.bmp"));
    EXPECT_EQ(m.size(), QSize(120, 90)); // the picture, not the rounded buffer
    QFile map(out("map.txt"));
    ASSERT_TRUE(map.open(QIODevice::ReadOnly));
    const QByteArray text = map.readAll();
    EXPECT_EQ(text.count("\r\n"), 3); // 90 / 30 rows
    EXPECT_EQ(text.indexOf("\r\n"), 4); // 120 / 30 columns
    EXPECT_NE(r.out.find("  First file name =" + first().toStdString() + "\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("  Number of files found =4\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("  Increment size =30\r\n"), std::string::npos);
    EXPECT_NE(r.out.find(text.toStdString()), std::string::npos);
}

TEST_F(CliSeries, DefaultOutputSitsBesideTheFirstFile) {
    const auto r = runProgram("orvanta-cli", {"-q", "--report", out("report.txt"), first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(QFile::exists(dir_->path() + "/s/sample01 montage.bmp"));
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(QFile::exists(out("report.txt")));
}

TEST_F(CliSeries, RelativeNamesAreFoundFromTheWorkingFolder) {
    const auto r = runProgram("orvanta-cli", {"-q", "-o", "rel.bmp", "s/sample01.bmp"}, dir_->path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("  First file name =s/sample01.bmp\r\n"), std::string::npos);
    EXPECT_TRUE(QFile::exists(out("rel.bmp")));
}

TEST_F(CliSeries, AnIncrementBelowTenOrNotANumberBecomesTen) {
    for (const char* inc : {"5", "abc", ""}) {
        const auto r = runProgram("orvanta-cli", {"-q", "-o", out("t.bmp"), "-i", inc, first()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("  Increment size =10\r\n"), std::string::npos) << inc;
    }
    // A side that cannot fit 16 bits is refused with the options, before the series is read.
    // So is a number beyond single precision, an infinity or not-a-number.
    for (const char* inc : {"40000", "1e39", "inf", "nan"}) {
        const auto big = runProgram("orvanta-cli", {"-q", "-o", out("t.bmp"), "-i", inc, first()});
        EXPECT_EQ(big.exitCode, 2) << inc;
        EXPECT_NE(big.err.find("--increment"), std::string::npos) << inc;
    }
}

TEST_F(CliSeries, FailuresSpeakTheProgramsWordsAndExitOne) {
    auto r = runProgram("orvanta-cli", {"-q", out("nothing1.bmp")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("So very sorry, but I can't find that file."), std::string::npos);
    // The message names no file: the name looked for follows it, completed as it was looked for
    // (a name without a dot looks for NAME.bmp, whatever the series' pictures are).
    EXPECT_NE(r.err.find("the first file is " + out("nothing1.bmp").toStdString() + ", which is not there"),
              std::string::npos) << r.err;
    QFile::copy(first(), out("shot01.jpg"));
    r = runProgram("orvanta-cli", {"-q", "-m", "pyramid", out("shot01")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the first file is " + out("shot01.bmp").toStdString() + ", which is not there"),
              std::string::npos) << r.err;
    r = runProgram("orvanta-cli", {"-q", dir_->path() + "/s/sample.bmp"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("You must have a number as the last letter in the file name,  eg "
                         "c:\\thisdirectory\\myfile1.bmp, or c:\\myotherfile6"),
              std::string::npos);
    r = runProgram("orvanta-cli", {"--bogus", first()});
    EXPECT_EQ(r.exitCode, 2);
    // A corrupt picture in the series.
    QDir().mkpath(out("bad"));
    QFile::copy(first(), out("bad/b1.bmp"));
    QFile f(out("bad/b2.bmp"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, 'x'));
    f.close();
    r = runProgram("orvanta-cli", {"-q", "-o", out("bad.bmp"), out("bad/b1.bmp")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("This is not a valid picture file that I can read."), std::string::npos);
    EXPECT_FALSE(QFile::exists(out("bad.bmp")));
}

// The message about a damaged picture says which file it is, for the block methods that read the
// series first and for Pyramid Focus that reads it as it goes (its alignment first, when asked):
// a file that is no picture at all, and a JPEG whose header is whole but whose data stop short.
struct Damage {
    const char* name;
    const char* method;
    bool align;
    bool truncatedJpeg;
};

class CliDamagedPicture : public ::testing::TestWithParam<Damage> {};

TEST_P(CliDamagedPicture, IsNamed) {
    const Damage& d = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.path() + "/damaged";
    const QString ending = d.truncatedJpeg ? "jpg" : "bmp";
    ASSERT_EQ(runProgram("make-sample-series", {folder, "--count", "3", "--size", "64x48", "--format", ending}).exitCode, 0);
    QFile f(folder + "/sample02." + ending);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray whole = f.readAll();
    ASSERT_TRUE(f.resize(0));
    f.write(d.truncatedJpeg ? whole.left(whole.size() / 3) : QByteArray(100, 'x'));
    f.close();
    QStringList args{"-q", "-m", d.method, "-o", dir.path() + "/m.bmp", folder + "/sample01." + ending};
    if (d.align) args << "--align";
    const auto r = runProgram("orvanta-cli", args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("This is not a valid picture file that I can read.\norvanta-cli: the picture is "),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sample02." + ending.toStdString()), std::string::npos) << r.err;
    EXPECT_FALSE(QFile::exists(dir.path() + "/m.bmp"));
}

INSTANTIATE_TEST_SUITE_P(Methods, CliDamagedPicture,
                         ::testing::Values(Damage{"Block", "0", false, false}, Damage{"Pyramid", "pyramid", false, false},
                                           Damage{"BlockAlignedTruncatedJpeg", "0", true, true},
                                           Damage{"PyramidTruncatedJpeg", "pyramid", false, true},
                                           Damage{"PyramidAlignedTruncatedJpeg", "pyramid", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliSeries, PicturesOfAnotherSizeWarnButTheMontageIsMade) {
    QDir().mkpath(out("mixed"));
    QFile::copy(first(), out("mixed/p1.bmp"));
    QImage(60, 40, QImage::Format_RGB888).save(out("mixed/p2.bmp"));
    const auto r = runProgram("orvanta-cli", {"-q", "-o", out("mixed.bmp"), out("mixed/p1.bmp")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("Image 2 has a different dimension (60,40) from Image 1 (120,90)."),
              std::string::npos);
}

TEST_F(CliSeries, MinimumAreaThatLeavesNoPictureIsRefused) {
    auto r = runProgram("orvanta-cli", {"-q", "-o", out("min.bmp"), "--offsets", "0,0;200,0;0,0;0,0",
                                        "--area", "min", first()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("'minimum area'"), std::string::npos);
    r = runProgram("orvanta-cli", {"-q", "-o", out("min.bmp"), "--offsets", "10,10;14,12;10,10;10,10",
                                   "--area", "min", first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(QImage(out("min.bmp")).size(), QSize(116, 88));
    EXPECT_NE(r.out.find("  Offset display method =Minimum\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("  Image 2 offset X =14\r\n"), std::string::npos);
}

// Target centres so far apart that the shifts or the maximum area pass 16 bits: a usage error that
// names --offsets and what to change, besides the program's own overflow message; nothing written.
TEST_F(CliSeries, OffsetsTooFarApartAreAUsageErrorNamingThem) {
    struct Case {
        QStringList args;
        std::string said;
    };
    for (const Case& c : {Case{{"--offsets", "20000,0;-20000,0;0,0;0,0"},
                               "--offsets put the target centres 40000 pixels apart across and 0 down"},
                          Case{{"--offsets", "0,0;0,-32768;0,32767;0,0", "--evaluate", "increments"},
                               "--offsets put the target centres 0 pixels apart across and 65535 down"},
                          Case{{"--offsets", "32767,0;0,0;0,0;0,0", "--area", "max"},
                               "with --offsets the maximum area would be 32888x92 pixels"},
                          // The same area reads picture 1 from its block column plus 32700.
                          Case{{"--offsets", "32700,0;0,0;0,0;0,0"},
                               "--offsets put the target centres 32700 pixels apart across: in the same area"},
                          Case{{"--offsets", "0,0;-32700,5;0,0;0,0", "--smooth"},
                               "--offsets put the target centres 32700 pixels apart across: in the same area"}}) {
        const auto r = runProgram("orvanta-cli", QStringList{"-q", "-o", out("far.bmp")} + c.args + QStringList{first()});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find("error 6 (Overflow) at line 8100 of CommandGo"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_FALSE(QFile::exists(out("far.bmp")));
    }
    // Just inside the range (the last block column of the 120-pixel pictures is 100): a montage,
    // without a word, from the pictures the shift leaves in the area.
    const auto r = runProgram("orvanta-cli", {"-q", "-o", out("far.bmp"), "--offsets", "32667,0;0,0;0,0;0,0", first()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(QImage(out("far.bmp")).size(), QSize(120, 90));
}

// An --ignore list that names every picture of the series leaves nothing to take a block or a
// pixel from: a usage error that says so, with no (black) montage written, whatever the method,
// alignment, display area or comparison. One picture left is a montage of that picture.
TEST_F(CliSeries, IgnoringEveryPictureIsAUsageErrorNotABlackMontage) {
    const std::vector<std::vector<QString>> runs = {
        {"-m", "0"},         {"-m", "pyramid"},        {"-m", "3", "--align"},
        {"-m", "pyramid", "--align"}, {"--offsets", "1,1;3,2", "--area", "max"}, {"--smooth"},
        {"--evaluate", "methods"}, {"--max-pictures", "2", "--ignore", "1,2"}};
    for (const auto& extra : runs) {
        QStringList args{"-q", "-o", out("none.png"), "--ignore", "1,2,3,4"};
        for (const QString& a : extra) args << a;
        args << first();
        const auto r = runProgram("orvanta-cli", args);
        const QString what = args.join(' ');
        EXPECT_EQ(r.exitCode, 2) << what.toStdString() << "\n" << r.err;
        EXPECT_NE(r.err.find("--ignore names every picture of the series"), std::string::npos) << r.err;
        EXPECT_FALSE(QFile::exists(out("none.png"))) << what.toStdString();
        QFile::remove(out("none.png"));
    }
    const auto one = runProgram("orvanta-cli", {"-q", "-o", out("one.bmp"), "--ignore", "1,2,4", first()});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(QImage(out("one.bmp")).convertToFormat(QImage::Format_RGB888),
              QImage(dir_->path() + "/s/sample03.bmp").convertToFormat(QImage::Format_RGB888));
    // A project whose series lost the one picture it did not ignore says that the project ignores
    // every picture left.
    QDir().mkpath(out("p"));
    for (int k = 1; k <= 3; ++k)
        QFile::copy(dir_->path() + QString("/s/sample0%1.bmp").arg(k), out("p/q0%1.bmp").arg(k));
    const auto saved = runProgram("orvanta-cli", {"-q", "-o", out("p/m.bmp"), "--ignore", "1,2",
                                                  "--save-project", out("p/proj.mon"), out("p/q01.bmp")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    QFile::remove(out("p/q03.bmp"));
    const auto opened = runProgram("orvanta-cli", {"-q", "-o", out("p/again.bmp"), "--open-project", out("p/proj.mon")});
    EXPECT_EQ(opened.exitCode, 2) << opened.err;
    EXPECT_NE(opened.err.find("the project ignores every picture of the series (2)"), std::string::npos) << opened.err;
    EXPECT_FALSE(QFile::exists(out("p/again.bmp")));
}

// --offsets with fewer target centres than the series has pictures in use leaves the others at
// 0,0, which moves them against the given ones: said once, and the montage is still made.
TEST_F(CliSeries, OffsetsForFewerPicturesThanTheSeriesAreSaid) {
    auto r = runProgram("orvanta-cli", {"-q", "-o", out("few.bmp"), "--offsets", "10,10;14,12", first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("--offsets gives 2 target centres for a series of 4 pictures: pictures 3 to 4 have their "
                         "targets at 0,0"),
              std::string::npos)
        << r.err;
    r = runProgram("orvanta-cli", {"-q", "-o", out("few.bmp"), "--evaluate", "methods", "--offsets", "10,10;14,12;3,3",
                                   first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string said = "--offsets gives 3 target centres for a series of 4 pictures: picture 4 has its target at 0,0";
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(said), r.err.rfind(said)) << r.err;
    // Every picture in use has its centre: nothing is said.
    for (const QStringList& enough : {QStringList{"--offsets", "1,1;2,2;3,3;4,4"},
                                      QStringList{"--offsets", "1,1;2,2;3,3", "--ignore", "4"}}) {
        r = runProgram("orvanta-cli", QStringList{"-q", "-o", out("few.bmp")} + enough + QStringList{first()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err.find("--offsets gives"), std::string::npos) << r.err;
    }
}

// --ignore numbers and --offsets pairs past the series' last picture change nothing, so a typo
// passed for a montage made as asked: said once (not for each comparison montage), and the
// montage is made.
TEST_F(CliSeries, IgnoredPicturesAndOffsetsPastTheSeriesAreSaid) {
    auto r = runProgram("orvanta-cli", {"-q", "-o", out("past.bmp"), "--ignore", "2,6", first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "orvanta-cli: --ignore names picture 6, which a series of 4 pictures does not have\n");
    r = runProgram("orvanta-cli", {"-q", "-o", out("past.bmp"), "--evaluate", "methods", "--ignore", "5,7,10",
                                   "--offsets", "1,1;2,2;3,3;4,4;5,5", first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "orvanta-cli: --ignore names pictures 5, 7 and 10, which a series of 4 pictures does not have\n"
                     "orvanta-cli: --offsets gives 5 target centres for a series of 4 pictures: the last is not used\n");
    // Within the series: nothing is said.
    r = runProgram("orvanta-cli", {"-q", "-o", out("past.bmp"), "--ignore", "4", "--offsets", "1,1;2,2;3,3;4,4", first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST_F(CliSeries, TheFileMatchesTheEngineRunInProcess) {
    const auto r = runProgram("orvanta-cli", {"-q", "-m", "linear", "-i", "25", "-o", out("e.bmp"), first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    RecordingPrompter prompter;
    MontageRequest c;
    c.firstFileName = first().toStdString();
    c.incrementText = "25";
    c.method = FocusMethod::LinearColor;
    PromptingObserver observer(prompter);
    SessionState state;
    state.programFolder = "/";
    MontageSession session(state, observer);
    ASSERT_TRUE(session.makeMontage(c).made);
    const MemorySurface& m = session.record(MontageChoice{}).picture;
    const QImage file = QImage(out("e.bmp")).convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < 90; y += 7)
        for (int x = 0; x < 120; x += 5) {
            const std::uint8_t* p = m.pixelAt(x, y);
            ASSERT_EQ(file.pixelColor(x, y), QColor(p[2], p[1], p[0])) << x << "," << y;
        }
}

TEST(CliRealSeries, BeetleMontageIsMadeFromEveryFrame) {
    const std::string first = sharedData("stacks/beetle/beetle01.jpg");
    if (!std::filesystem::exists(first)) GTEST_SKIP() << "the shared beetle series is not here";
    QTemporaryDir dir;
    const auto r = runProgram("orvanta-cli", {"-q", "-o", dir.path() + "/b.bmp",
                                              QString::fromStdString(first)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("  Number of files found =10\r\n"), std::string::npos);
    EXPECT_EQ(QImage(dir.path() + "/b.bmp").size(), QSize(750, 500));
    // The map has 25 rows of 38 blocks, and more than one frame wins.
    const auto at = r.out.find("image numbers:\r\n");
    ASSERT_NE(at, std::string::npos);
    const std::string map = r.out.substr(at + 16);
    EXPECT_EQ(map.find("\r\n"), 38u);
    EXPECT_GT(std::set<char>(map.begin(), map.end()).size(), 4u);
}

TEST_F(CliSeries, PyramidFocusWritesItsMethodItsDepthMapAndIsNotSmoothed) {
    const auto r = runProgram("orvanta-cli", {"-q", "-m", "pyramid", "--smooth", "-o", out("p.png"), "--depth-map",
                                              out("depth.png"), first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("  Montage method used =5 (Pyramid Focus)\r\n"), std::string::npos);
    // A pyramid montage has no block seams: the automatic pass changes nothing and reports nothing.
    EXPECT_EQ(r.err.find("Smoothing occurred"), std::string::npos);
    const QImage depth(out("depth.png"));
    ASSERT_EQ(depth.size(), QImage(out("p.png")).size());
    EXPECT_TRUE(depth.isGrayscale());
    // Each of the four pictures is sharp somewhere, so more than one grey is used.
    std::set<int> greys;
    for (int y = 0; y < depth.height(); y += 5)
        for (int x = 0; x < depth.width(); x += 5) greys.insert(qGray(depth.pixel(x, y)));
    EXPECT_GT(greys.size(), 1u);

    // A block method's depth map follows its map: one grey per block.
    const auto b = runProgram("orvanta-cli", {"-q", "-m", "linear", "-i", "30", "-o", out("b.bmp"), "--depth-map",
                                              out("depth.bmp"), first()});
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_TRUE(QFile::exists(out("depth.bmp")));
}

TEST(CliAlign, AShiftedSeriesIsAlignedAndItsPropertiesSaySo) {
    QTemporaryDir dir;
    auto g = runProgram("make-sample-series", {dir.path() + "/m", "--count", "3", "--size", "320x240", "--scene",
                                               "natural", "--shift-step", "3,2", "--margin", "40"});
    ASSERT_EQ(g.exitCode, 0) << g.err;
    const QString first = dir.path() + "/m/sample01.bmp";
    const auto r = runProgram("orvanta-cli", {"-q", "--align", "-o", dir.path() + "/a.bmp", first});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("  Montage method used =0 (3D Color Space Focus)\r\n  Automatic alignment =yes\r\n"),
              std::string::npos);
    // The middle picture is the reference; its neighbours are moved back by about one step.
    EXPECT_NE(r.out.find("  Image 2 scale =1.0000 , rotation =0.00 , shift =0.0 , 0.0\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("  Image 1 scale =1.0000"), std::string::npos);
    // Without --align nothing of this appears; with offsets it is refused.
    const auto plain = runProgram("orvanta-cli", {"-q", "-o", dir.path() + "/p.bmp", first});
    EXPECT_EQ(plain.out.find("Automatic alignment"), std::string::npos);
    EXPECT_EQ(runProgram("orvanta-cli", {"--align", "--offsets", "1,1;2,2", first}).exitCode, 2);
    EXPECT_EQ(runProgram("orvanta-cli", {"--colour-match", first}).exitCode, 2);
}
