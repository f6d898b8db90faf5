// orvanta-cli and project files: the two options, a project written for a relative first file
// naming its series by a full path, and a project opened from another working folder.
#include "cli/cli_options.h"
#include "cli_support.h"
#include "raw_process.h"
#include "settings/project_file.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

using namespace orv;
using namespace orv::test;

namespace {

std::string readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

bool writeText(const QString& path, const std::string& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.c_str()) == qint64(text.size());
}

// make-sample-series' pictures sample01.bmp, sample02.bmp, ... in the folder `folder` of `dir`.
void writeSamples(const QTemporaryDir& dir, const QString& folder, const QStringList& options) {
    const auto g = runProgram("make-sample-series", QStringList{dir.path() + "/" + folder} + options);
    ASSERT_EQ(g.exitCode, 0) << g.err;
}

// The project p.mon in `dir` opened again: the montage it makes, again.bmp, is made.bmp byte for byte.
void expectMadeAgainAlike(const QTemporaryDir& dir) {
    const auto again = runProgram("orvanta-cli", {"-q", "-o", "again.bmp", "--open-project", "p.mon"}, dir.path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(readText(dir.path() + "/again.bmp"), readText(dir.path() + "/made.bmp"));
}

// The sample series s/sample01.bmp to s/sample03.bmp (80 x 60) and paint.strokes, one stroke from
// picture 3, in `dir`.
void writeSeriesAndStrokes(const QTemporaryDir& dir) {
    ASSERT_NO_FATAL_FAILURE(writeSamples(dir, "s", {"--count", "3", "--size", "80x60"}));
    ASSERT_TRUE(writeText(dir.path() + "/paint.strokes", "orvanta-strokes 1\nstroke 3 12 50 100 1 10,10 60,40\n"));
}

TEST(CliProjectOptions, OpenProjectTakesThePlaceOfTheFirstFile) {
    const CliParse open = parseCliOptions({"--open-project", "a.mon"});
    ASSERT_TRUE(open.options) << open.error;
    EXPECT_EQ(open.options->openProject, "a.mon");
    EXPECT_FALSE(parseCliOptions({"--open-project", "a.mon", "x01.bmp"}).options);
    EXPECT_FALSE(parseCliOptions({"--open-project"}).options);
    EXPECT_FALSE(parseCliOptions({"x01.bmp", "--save-project"}).options);
    const CliParse save = parseCliOptions({"--save-project", "p.mon", "x01.bmp"});
    ASSERT_TRUE(save.options) << save.error;
    EXPECT_EQ(save.options->saveProject, "p.mon");
}

// The project names its method, increment, ignored pictures, offsets and area: the same options
// given with it would be dropped without a word, so they are refused as a first file is.
TEST(CliProjectOptions, OptionsTheProjectSetsAreRefusedWithIt) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"-m", "3"}, "--open-project takes the method from the project: give no --method"},
        {{"--method", "linear"}, "--open-project takes the method from the project: give no --method"},
        {{"-i", "40"}, "--open-project takes the increment from the project: give no --increment"},
        {{"--ignore", "2"}, "--open-project takes the ignored pictures from the project: give no --ignore"},
        {{"--offsets", "1,2;3,4"}, "--open-project takes the target centres from the project: give no --offsets"},
        {{"--area", "max"}, "--open-project takes the display area from the project: give no --area"},
        {{"--area", "min", "-m", "2"}, "--open-project takes the display area from the project: give no --area"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--open-project", "a.mon"});
        const CliParse p = parseCliOptions(args);
        EXPECT_FALSE(p.options) << c.args[0];
        EXPECT_EQ(p.error, c.message);
        // Without a project they are the montage's settings.
        args.resize(args.size() - 2);
        args.push_back("x01.bmp");
        EXPECT_TRUE(parseCliOptions(args).options) << c.args[0];
    }
    // What the project does not set applies with it.
    EXPECT_TRUE(parseCliOptions({"--smooth", "--edge-factor", "0.2", "--align", "--score", "--open-project", "a.mon"}).options);
}

TEST(CliProjectRun, ARelativeSeriesIsStoredWithItsFullPathAndReopensFromElsewhere) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSamples(dir, "s", {"--count", "3", "--size", "80x60"}));
    const auto saved = runProgram("orvanta-cli", {"-q", "-i", "16", "-m", "2", "--ignore", "3", "-o", "first.bmp",
                                                  "--save-project", "proj", "s/sample01.bmp"},
                                  dir.path());
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    // ".mon" was added; the picture sits beside it.
    const std::string text = readText(dir.path() + "/proj.mon");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("[project]\r\n\r\n  First file name =" + dir.path().toStdString() + "/s/sample01.bmp\r\n", 0), 0u);
    EXPECT_EQ(QImage(dir.path() + "/proj.vrk", "BMP").convertToFormat(QImage::Format_RGB888),
              QImage(dir.path() + "/first.bmp").convertToFormat(QImage::Format_RGB888));

    const auto again = runProgram("orvanta-cli", {"-q", "-o", dir.path() + "/again.bmp", "--open-project",
                                                  dir.path() + "/proj.mon"},
                                  dir.path() + "/s");
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(QImage(dir.path() + "/again.bmp"), QImage(dir.path() + "/first.bmp"));
    EXPECT_NE(again.out.find("  Ignore image number =3\r\n  Montage method used =2 (Preference Red Focus)\r\n"
                             "  Increment size =16\r\n"),
              std::string::npos);
}

// A project saved in a folder whose name is not UTF-8 and holds a line end opens from elsewhere.
TEST(CliProjectRun, AFolderNamedWithOddBytesAndALineEndSavesAndOpens) {
    QTemporaryDir dir;
    const std::string odd = dir.path().toStdString() + "/caf\xe9\nshots";
    ASSERT_EQ(::mkdir(odd.c_str(), 0700), 0);
    const std::string series = dir.path().toStdString() + "/s";
    ASSERT_EQ(runProgram("make-sample-series", {QString::fromStdString(series), "--count", "2", "--size", "40x30"}).exitCode, 0);
    for (const char* n : {"sample01.bmp", "sample02.bmp"}) std::filesystem::copy_file(series + "/" + n, odd + "/" + n);
    const RawResult saved = runRaw(binary("orvanta-cli").toStdString(),
                                   {"-q", "-o", "first.bmp", "--save-project", "proj", "sample01.bmp"}, RawRun{odd, 0, 60});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const RawResult again = runRaw(binary("orvanta-cli").toStdString(),
                                   {"-q", "-o", dir.path().toStdString() + "/again.bmp", "--open-project", odd + "/proj.mon"},
                                   RawRun{series, 0, 60});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("  First file name =" + odd + "/sample01.bmp\r\n"), std::string::npos) << again.out;
    std::ifstream a(dir.path().toStdString() + "/again.bmp", std::ios::binary), b(odd + "/first.bmp", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}), std::string(std::istreambuf_iterator<char>(b), {}));
}

// A retouched project opens with its strokes painted again, as the desktop program opens it: saved
// over itself it keeps its retouched montage and its strokes. A strokes file gone missing stops
// the run before anything is written.
TEST(CliProjectRun, ARetouchedProjectIsMadeWithItsStrokes) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSeriesAndStrokes(dir));
    const auto made = runProgram("orvanta-cli", {"-q", "-m", "1", "--retouch", "paint.strokes", "-o", "made.bmp",
                                                 "--save-project", "p.mon", "s/sample01.bmp"},
                                 dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string project = readText(dir.path() + "/p.mon");
    ASSERT_NE(project.find("  Retouched =1 strokes\r\n"), std::string::npos);
    const std::string bitmap = readText(dir.path() + "/p.vrk");

    const auto again = runProgram("orvanta-cli", {"-q", "-o", "again.bmp", "--open-project", "p.mon",
                                                  "--save-project", "p.mon"},
                                  dir.path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(readText(dir.path() + "/again.bmp"), readText(dir.path() + "/made.bmp"));
    EXPECT_EQ(readText(dir.path() + "/p.mon"), project);
    EXPECT_EQ(readText(dir.path() + "/p.vrk"), bitmap);
    EXPECT_NE(readText(dir.path() + "/p.strokes").find("stroke 3 "), std::string::npos);

    // Other strokes given with the project make another montage: the run names them as the reason,
    // not the project's smoothing or its pictures.
    ASSERT_TRUE(writeText(dir.path() + "/other.strokes", "orvanta-strokes 1\nstroke 2 8 50 100 1 70,5 5,55\n"));
    const auto retouched = runProgram("orvanta-cli", {"-q", "-o", "other.bmp", "--open-project", "p.mon", "--retouch",
                                                      "other.strokes"},
                                      dir.path());
    ASSERT_EQ(retouched.exitCode, 0) << retouched.err;
    EXPECT_NE(retouched.err.find("is not the one it holds (p.vrk): the options given with it (--retouch) change it"),
              std::string::npos)
        << retouched.err;
    EXPECT_EQ(retouched.err.find("its pictures have changed"), std::string::npos) << retouched.err;

    ASSERT_TRUE(QFile::remove(dir.path() + "/p.strokes"));
    const auto lost = runProgram("orvanta-cli", {"-q", "-o", "lost.bmp", "--open-project", "p.mon"}, dir.path());
    EXPECT_EQ(lost.exitCode, 1);
    EXPECT_NE(lost.err.find("cannot use the project p.mon: its strokes p.strokes: File not found"), std::string::npos)
        << lost.err;
    EXPECT_FALSE(QFile::exists(dir.path() + "/lost.bmp"));
}

// A project made with --align --colour-match says so, and is made again with its colours matched.
TEST(CliProjectRun, AnAlignedProjectIsMadeAgainWithItsColoursMatchedAsTheyWere) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSamples(
        dir, "s", {"--count", "3", "--size", "96x72", "--scene", "natural", "--shift-step", "2,1", "--gain-step", "0.08"}));
    const auto made = runProgram("orvanta-cli", {"-q", "--align", "--colour-match", "-o", "made.bmp", "--save-project",
                                                 "p.mon", "s/sample01.bmp"},
                                 dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_NE(readText(dir.path() + "/p.mon").find("  Automatic alignment =yes\r\n  Colour matching =yes\r\n"),
              std::string::npos);
    expectMadeAgainAlike(dir);
}

// --align with a project that places its pictures by target centres is refused: the project's
// offsets took its place without a word, and the montage made by the targets was written as
// asked. A project without offsets is still aligned when --align is given.
TEST(CliProjectRun, AlignWithAProjectThatHasOffsetsIsRefused) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSamples(dir, "s", {"--count", "3", "--size", "80x60"}));
    const auto made = runProgram("orvanta-cli", {"-q", "--offsets", "10,10;15,13;20,16", "--area", "max", "-o",
                                                 "made.bmp", "--save-project", "p.mon", "s/sample01.bmp"},
                                 dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto aligned = runProgram("orvanta-cli", {"-q", "--align", "-o", "aligned.bmp", "--open-project", "p.mon"},
                                    dir.path());
    EXPECT_EQ(aligned.exitCode, 2);
    EXPECT_NE(aligned.err.find("the project p.mon places its pictures by target centres, which exclude --align: "
                               "give no --align with it"),
              std::string::npos)
        << aligned.err;
    EXPECT_FALSE(QFile::exists(dir.path() + "/aligned.bmp"));
    expectMadeAgainAlike(dir);

    ASSERT_EQ(runProgram("orvanta-cli", {"-q", "-o", "plain.bmp", "--save-project", "plain.mon", "s/sample01.bmp"},
                         dir.path())
                  .exitCode,
              0);
    const auto plain = runProgram("orvanta-cli", {"-q", "--align", "-o", "plain-aligned.bmp", "--open-project",
                                                  "plain.mon"},
                                  dir.path());
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_TRUE(QFile::exists(dir.path() + "/plain-aligned.bmp"));
}

// A project of an aligned montage cut to the rectangle every aligned picture covers (--area min)
// keeps that area: opened again it was made over the whole frame, a picture of another size than
// the one the project holds, and the run said the pictures had changed.
TEST(CliProjectRun, AnAlignedProjectIsMadeAgainOverItsDisplayArea) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(
        writeSamples(dir, "s", {"--count", "3", "--size", "96x72", "--scene", "natural", "--shift-step", "3,2"}));
    for (const char* area : {"min", "max"}) {
        SCOPED_TRACE(area);
        const auto made = runProgram("orvanta-cli", {"-q", "--align", "--area", area, "-o", "made.bmp",
                                                     "--save-project", "p.mon", "s/sample01.bmp"},
                                     dir.path());
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const std::string line = std::string("  Aligned display area =") + (area == std::string("min") ? "Minimum" : "Maximum");
        EXPECT_NE(readText(dir.path() + "/p.mon").find("  Automatic alignment =yes\r\n" + line + "\r\n"),
                  std::string::npos);
        const auto again = runProgram("orvanta-cli", {"-q", "-o", "again.bmp", "--open-project", "p.mon"}, dir.path());
        ASSERT_EQ(again.exitCode, 0) << again.err;
        EXPECT_EQ(again.err.find("is not the one it holds"), std::string::npos) << again.err;
        EXPECT_EQ(readText(dir.path() + "/again.bmp"), readText(dir.path() + "/made.bmp"));
        EXPECT_NE(again.out.find(line + "\r\n"), std::string::npos) << again.out;
    }
    // The minimum area is smaller than the frame: else the test proves nothing.
    ASSERT_EQ(runProgram("orvanta-cli", {"-q", "--align", "--area", "min", "-o", "made.bmp", "s/sample01.bmp"}, dir.path())
                  .exitCode,
              0);
    EXPECT_LT(QImage(dir.path() + "/made.bmp").width(), 96);
}

// A project whose montage was smoothed is made again with the smoothing pass: without it the
// run wrote the unsmoothed montage, unlike the one the project holds, while saying nothing.
TEST(CliProjectRun, ASmoothedProjectIsMadeAgainSmoothed) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSamples(dir, "s", {"--count", "4", "--size", "160x120", "--scene", "natural"}));
    const auto made = runProgram("orvanta-cli", {"-q", "--smooth", "-o", "made.bmp", "--save-project", "p.mon",
                                                 "s/sample01.bmp"},
                                 dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ASSERT_NE(readText(dir.path() + "/p.mon").find("  Smoothing =yes\r\n"), std::string::npos);
    // The series is one the pass changes: else the test proves nothing.
    ASSERT_NE(made.err.find("Smoothing occurred at co-ordinates"), std::string::npos) << made.err;
    const auto again = runProgram("orvanta-cli", {"-q", "-o", "again.bmp", "--open-project", "p.mon"}, dir.path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(readText(dir.path() + "/again.bmp"), readText(dir.path() + "/made.bmp"));
    EXPECT_NE(again.out.find("  Smoothing =yes\r\n"), std::string::npos) << again.out;
    EXPECT_EQ(again.err.find("is not the one it holds"), std::string::npos) << again.err;
}

// The project records that its montage was smoothed, not with which factors or increment: made
// again with others, the montage written is not the project's, and the run says so rather than
// passing it off as the project's montage.
TEST(CliProjectRun, AMontageUnlikeTheProjectsOwnPictureIsSaid) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSamples(dir, "s", {"--count", "4", "--size", "160x120", "--scene", "natural"}));
    const auto made = runProgram("orvanta-cli", {"-q", "--smooth", "--edge-factor", "0", "-o", "made.bmp",
                                                 "--save-project", "p.mon", "s/sample01.bmp"},
                                 dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto again = runProgram("orvanta-cli", {"-q", "-o", "again.bmp", "--open-project", "p.mon"}, dir.path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    ASSERT_NE(readText(dir.path() + "/again.bmp"), readText(dir.path() + "/made.bmp"));
    EXPECT_NE(again.err.find("orvanta-cli: the montage made again from the project p.mon is not the one it holds "
                             "(p.vrk)"),
              std::string::npos)
        << again.err;
    // Written to a format that can hold 16 bits, the 8-bit series' montage is compared all the same.
    const auto againPng = runProgram("orvanta-cli", {"-q", "-o", "again.png", "--open-project", "p.mon"}, dir.path());
    ASSERT_EQ(againPng.exitCode, 0) << againPng.err;
    EXPECT_NE(againPng.err.find("is not the one it holds"), std::string::npos) << againPng.err;

    // A 16-bit series' Pyramid Focus montage written at 16 bits has the 16-bit picture's view for
    // its 8-bit one, which rounds otherwise than the project's: it is the same montage, not said.
    ASSERT_NO_FATAL_FAILURE(
        writeSamples(dir, "d", {"--count", "3", "--size", "120x90", "--depth", "16", "--scene", "natural"}));
    const auto deep = runProgram("orvanta-cli", {"-q", "-m", "pyramid", "-o", "deep.bmp", "--save-project", "d.mon",
                                                 "d/sample01.tif"},
                                 dir.path());
    ASSERT_EQ(deep.exitCode, 0) << deep.err;
    const auto deepAgain = runProgram("orvanta-cli", {"-q", "-o", "deep.tif", "--open-project", "d.mon"}, dir.path());
    ASSERT_EQ(deepAgain.exitCode, 0) << deepAgain.err;
    EXPECT_EQ(deepAgain.err.find("is not the one it holds"), std::string::npos) << deepAgain.err;
}

// A project name that is there but is no file (a folder, a FIFO) is not said to be missing.
TEST(CliProjectRun, AProjectThatIsAFolderOrAFifoIsNotSaidToBeMissing) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("d.mon"));
    ASSERT_EQ(::mkfifo((dir.path() + "/f.mon").toLocal8Bit().constData(), 0600), 0);
    for (const auto& [name, said] : {std::pair{"d.mon", "cannot use the project d.mon: it is a folder, not a project file"},
                                     std::pair{"f.mon", "cannot use the project f.mon: it is no regular file (a FIFO, "
                                                        "a device or a socket), not a project file"},
                                     std::pair{"none.mon", "cannot find the project none.mon\n"}}) {
        const auto r = runProgram("orvanta-cli", {"-q", "-o", "x.bmp", "--open-project", name}, dir.path());
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        EXPECT_FALSE(QFile::exists(dir.path() + "/x.bmp"));
    }
}

// A project opened with --max-pictures below its count is made from fewer pictures: the run names
// the option as the reason the montage is not the project's, not the project's smoothing or pictures.
TEST(CliProjectRun, MaxPicturesThatCutTheProjectsSeriesIsNamedAsTheReason) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSamples(dir, "s", {"--count", "4", "--size", "160x120", "--scene", "natural"}));
    const auto made = runProgram("orvanta-cli", {"-q", "-o", "made.bmp", "--save-project", "p.mon", "s/sample01.bmp"},
                                 dir.path());
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto cut = runProgram("orvanta-cli", {"-q", "-o", "cut.bmp", "--open-project", "p.mon", "--max-pictures", "2"},
                                dir.path());
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    ASSERT_NE(readText(dir.path() + "/cut.bmp"), readText(dir.path() + "/made.bmp"));
    EXPECT_NE(cut.err.find("is not the one it holds (p.vrk): the options given with it (--max-pictures) change it"),
              std::string::npos)
        << cut.err;
    EXPECT_EQ(cut.err.find("its pictures have changed"), std::string::npos) << cut.err;
    // A limit the series does not reach changes nothing, and nothing is said.
    const auto whole = runProgram("orvanta-cli", {"-q", "-o", "whole.bmp", "--open-project", "p.mon", "--max-pictures", "4"},
                                  dir.path());
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_EQ(readText(dir.path() + "/whole.bmp"), readText(dir.path() + "/made.bmp"));
    EXPECT_EQ(whole.err.find("is not the one it holds"), std::string::npos) << whole.err;
}

// A project whose numbers the command line would refuse as options is refused with its message.
TEST(CliProjectRun, AProjectWithValuesOutOfRangeIsRefused) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSamples(dir, "s", {"--count", "2", "--size", "40x30"}));
    const std::string first = dir.path().toStdString() + "/s/sample01.bmp";
    const std::pair<const char*, const char*> cases[] = {
        {"  Montage method used =4294967297\r\n", "--method takes"},
        {"  Montage method used =7\r\n", "--method takes"},
        {"  Increment size =1e39\r\n", "--increment takes"},
        {"  Image 1 offset X =0\r\n  Image 1 offset Y =0\r\n  Image 2 offset X =65618\r\n  Image 2 offset Y =3\r\n",
         "--offsets takes"},
        {"  Image 1 offset X =1e30\r\n  Image 1 offset Y =0\r\n", "--offsets takes"}};
    for (const auto& [line, message] : cases) {
        ASSERT_TRUE(writeText(dir.path() + "/p.mon", "[project]\r\n  First file name =" + first + "\r\n" + line));
        const auto r = runProgram("orvanta-cli", {"-q", "-o", dir.path() + "/m.bmp", "--open-project", dir.path() + "/p.mon"});
        EXPECT_EQ(r.exitCode, 1) << line;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_FALSE(QFile::exists(dir.path() + "/m.bmp")) << line;
    }
}


// A folder holding a project and its pictures, moved (renamed here): the project still names the
// pictures where they were. They are read from the project's own folder, which is said on standard
// error, and a project saved from the run names them there; pictures in neither place fail as before.
TEST(CliProjectRun, AProjectMovedWithItsPicturesReadsThemFromItsOwnFolder) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSeriesAndStrokes(dir));
    const auto saved = runProgram("orvanta-cli", {"-q", "-m", "1", "--retouch", "../paint.strokes", "-o", "made.bmp",
                                                  "--save-project", "p.mon", "sample01.bmp"},
                                  dir.path() + "/s");
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    ASSERT_TRUE(QDir(dir.path()).rename("s", "moved"));
    const std::string moved = dir.path().toStdString() + "/moved/";

    const auto again = runProgram("orvanta-cli", {"-q", "-o", "again.bmp", "--open-project", "moved/p.mon",
                                                  "--save-project", "moved/q.mon"},
                                  dir.path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.err.find("orvanta-cli: " + movedSeriesText(dir.path().toStdString() + "/s/sample01.bmp", moved)),
              std::string::npos)
        << again.err;
    EXPECT_EQ(readText(dir.path() + "/again.bmp"), readText(dir.path() + "/moved/made.bmp"));
    EXPECT_NE(readText(dir.path() + "/moved/q.mon").find("  First file name =" + moved + "sample01.bmp\r\n"),
              std::string::npos);

    ASSERT_TRUE(QFile::remove(dir.path() + "/moved/sample01.bmp"));
    const auto gone = runProgram("orvanta-cli", {"-q", "-o", "gone.bmp", "--open-project", "moved/p.mon"}, dir.path());
    EXPECT_NE(gone.exitCode, 0);
    EXPECT_EQ(gone.err.find("own folder"), std::string::npos) << gone.err;
    EXPECT_FALSE(QFile::exists(dir.path() + "/gone.bmp"));
}

// Projects of one folder whose names end in fewer than three characters after the dot each keep
// their own montage: a.b and c.d do not share one bitmap, the second replacing the first's.
TEST(CliProjectRun, ProjectsWithShortEndingsKeepTheirOwnMontages) {
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(writeSamples(dir, "s", {"--count", "3", "--size", "80x60"}));
    for (const auto& [method, name] : {std::pair{"1", "a.b"}, std::pair{"pyramid", "c.d"}}) {
        const auto saved = runProgram("orvanta-cli", {"-q", "-m", method, "-o", QString(name) + ".bmp",
                                                      "--save-project", name, "s/sample01.bmp"},
                                      dir.path());
        ASSERT_EQ(saved.exitCode, 0) << saved.err;
    }
    for (const char* name : {"a.b", "c.d"}) {
        const QString n = QString::fromLatin1(name);
        EXPECT_EQ(readText(dir.path() + "/" + n + ".vrk"), readText(dir.path() + "/" + n + ".bmp")) << name;
        const auto again = runProgram("orvanta-cli", {"-q", "-o", "again.bmp", "--open-project", n}, dir.path());
        ASSERT_EQ(again.exitCode, 0) << again.err;
        EXPECT_EQ(again.err.find("is not the one it holds"), std::string::npos) << again.err;
    }
    EXPECT_FALSE(QFile::exists(dir.path() + "/vrk"));
}

} // namespace
