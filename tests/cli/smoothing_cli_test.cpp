// orvanta-cli's smoothing, score and comparison options end to end: what they print, and that the
// montage a comparison chooses is the one a plain run with the recommended settings makes.
#include "cli_support.h"
#include "smoothing/comparison.h"
#include "smoothing/smoothing_pass.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <vector>

using namespace orv;
using namespace orv::test;

namespace {

struct Line {
    int method = 0;
    int increment = 0;
    float score = 0;
};

std::vector<Line> candidateLines(const std::string& out) {
    static const std::regex line(R"(\(method (\d)\), increment (\d+): Quality score = (\S+)\r?\n)");
    std::vector<Line> v;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
        v.push_back({std::stoi((*it)[1]), std::stoi((*it)[2]), std::stof((*it)[3])});
    return v;
}

// The first of the lowest scores, as the comparisons pick it.
Line best(const std::vector<Line>& lines) {
    Line b = lines.at(0);
    for (const Line& l : lines)
        if (l.score < b.score) b = l;
    return b;
}

QByteArray bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

float printedScore(const std::string& out) {
    const auto at = out.rfind("Quality score = ");
    return at == std::string::npos ? -1 : std::stof(out.substr(at + 16));
}

class SmoothingCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        // 160 pixels wide: increments 10 and 20; 100 wide: only 10; 40 wide: none.
        for (const auto& [name, size] : {std::pair{"s", "160x120"}, {"n", "100x80"}, {"t", "40x40"}}) {
            const auto r = runProgram("make-sample-series", {dir_->path() + "/" + name, "--count", "4",
                                                             "--size", size, "--no-truth"});
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static QString series(const char* name) { return dir_->path() + "/" + name + "/sample01.bmp"; }
    static QString out(const QString& name) { return dir_->path() + "/" + name; }

    // A plain run with the given options; its montage goes to `output`.
    static ProcessResult plain(QStringList args, const QString& output, const char* name = "s") {
        args << "-q" << "-o" << output << series(name);
        return runProgram("orvanta-cli", args);
    }

    static QTemporaryDir* dir_;
};

QTemporaryDir* SmoothingCli::dir_ = nullptr;

} // namespace

TEST_F(SmoothingCli, SmoothWritesTheReportToStandardErrorAndTheSmoothedMapEverywhere) {
    const auto rough = plain({"-m", "1"}, out("rough.bmp"));
    // The sample series is detailed everywhere: only a high diffFactor lets smoothing look at it.
    const auto r = plain({"-m", "1", "--smooth", "--diff-factor", "10000", "--map", out("smooth-map.txt")},
                         out("smooth.bmp"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(rough.exitCode, 0) << rough.err;
    EXPECT_EQ(r.err.rfind(kReportStart, 0), 0u) << r.err;
    EXPECT_NE(r.out.find("  Smoothing =yes\r\n"), std::string::npos);
    EXPECT_NE(bytes(out("smooth.bmp")), bytes(out("rough.bmp")));
    // The properties text quotes the smoothed map, which differs from the unsmoothed one.
    const std::string map = bytes(out("smooth-map.txt")).toStdString();
    const std::string quoted = r.out.substr(r.out.find("image numbers:\r\n") + 16);
    EXPECT_EQ(quoted, map);
    EXPECT_EQ(rough.out.find(map), std::string::npos);
}

TEST_F(SmoothingCli, SmoothingThatChangesNothingIsSilentButStillSaysYes) {
    const auto rough = plain({"-m", "1"}, out("rough0.bmp"));
    const auto r = plain({"-m", "1", "--smooth", "--diff-factor", "0"}, out("smooth0.bmp"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("  Smoothing =yes\r\n"), std::string::npos);
    EXPECT_EQ(bytes(out("smooth0.bmp")), bytes(out("rough0.bmp")));
}

// A Pyramid Focus montage has no seams: it is written unchanged, and the run says so.
TEST_F(SmoothingCli, SmoothingAPyramidMontageSaysItIsAlreadySmooth) {
    const auto plainPyramid = plain({"-m", "pyramid"}, out("pyramid.bmp"));
    const auto r = plain({"-m", "pyramid", "--smooth"}, out("pyramid-smooth.bmp"));
    ASSERT_EQ(plainPyramid.exitCode, 0) << plainPyramid.err;
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, std::string(kAlreadySmoothText) + "\n");
    EXPECT_EQ(bytes(out("pyramid-smooth.bmp")), bytes(out("pyramid.bmp")));
}

TEST_F(SmoothingCli, AFocusFactorOfZeroIsRefusedBeforeAnythingIsWritten) {
    const auto r = plain({"--smooth", "--focus-factor", "0"}, out("refused.bmp"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(kSmoothFocusFactorText), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out("refused.bmp").toStdString()));
}

// A project whose montage was smoothed is smoothed again unasked: a focus factor of 0 refuses that
// as it refuses --smooth, where the montage was written unsmoothed, its report saying
// "Smoothing =yes", and the run exited 0.
TEST_F(SmoothingCli, AFocusFactorOfZeroRefusesASmoothedProjectAsItRefusesSmooth) {
    const auto saved = plain({"-m", "1", "--smooth", "--diff-factor", "10000", "--save-project", out("smoothed.mon")},
                             out("smoothed.bmp"));
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const auto r = runProgram("orvanta-cli", {"-q", "--focus-factor", "0", "--diff-factor", "10000", "-o",
                                              out("reopened.bmp"), "--open-project", out("smoothed.mon")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(kSmoothFocusFactorText), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--focus-factor"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(out("reopened.bmp").toStdString()));
    // With a factor it can use, the project's own montage is made again.
    const auto again = runProgram("orvanta-cli", {"-q", "--diff-factor", "10000", "-o", out("reopened.bmp"),
                                                  "--open-project", out("smoothed.mon")});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(bytes(out("reopened.bmp")), bytes(out("smoothed.bmp")));
}

TEST_F(SmoothingCli, MethodComparisonScoresEachMethodAsAPlainRunDoesAndWritesTheBest) {
    const auto r = plain({"--evaluate", "methods", "-i", "20", "--score"}, out("methods.bmp"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = candidateLines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(lines[std::size_t(k)].method, 4 - k);
        const auto p = plain({"-m", QString::number(4 - k), "-i", "20", "--score"},
                             out("method.bmp"));
        ASSERT_EQ(p.exitCode, 0) << p.err;
        EXPECT_EQ(printedScore(p.out), lines[std::size_t(k)].score) << "method " << 4 - k;
    }
    const Line b = best(lines);
    EXPECT_NE(r.out.find(bestMethodText(b.method) + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  Montage method used =" + std::to_string(b.method)), std::string::npos);
    EXPECT_EQ(printedScore(r.out), b.score);
    plain({"-m", QString::number(b.method), "-i", "20"}, out("methods-plain.bmp"));
    EXPECT_EQ(bytes(out("methods.bmp")), bytes(out("methods-plain.bmp")));
}

// Asked for with Pyramid Focus, the comparisons compare what their score can measure, and say so:
// the method comparisons the five block methods (the same scores as without it), the increment
// evaluation Pyramid Focus's montage, whose increment sets only the map. Without it, not a word.
TEST_F(SmoothingCli, ComparisonsAskedForWithPyramidFocusSayWhatTheyCompare) {
    const auto blocks = plain({"--evaluate", "methods"}, out("blocks.bmp"));
    ASSERT_EQ(blocks.exitCode, 0) << blocks.err;
    EXPECT_EQ(blocks.err, "");
    for (const char* what : {"methods", "all", "increments"}) {
        const auto r = plain({"--evaluate", what, "-m", "pyramid"}, out("pyramid-asked.bmp"));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto lines = candidateLines(r.out);
        const bool increments = std::string(what) == "increments";
        ASSERT_EQ(lines.size(), increments ? 2u : std::string(what) == "all" ? 10u : 5u) << r.out;
        for (const Line& l : lines) EXPECT_EQ(l.method == 5, increments) << what << ": method " << l.method;
        EXPECT_NE(r.err.find(increments ? "Pyramid Focus makes the same montage whatever the increment"
                                        : std::string("--evaluate ") + what +
                                              " compares the five block methods; Pyramid Focus has no block edges"),
                  std::string::npos)
            << what << ": " << r.err;
        if (std::string(what) == "methods") {
            EXPECT_EQ(r.out, blocks.out);
            EXPECT_EQ(bytes(out("pyramid-asked.bmp")), bytes(out("blocks.bmp")));
        }
    }
}

TEST_F(SmoothingCli, IncrementEvaluationTriesTheWidthsIncrementsAndWritesTheBest) {
    const auto r = plain({"--evaluate", "increments", "-m", "1"}, out("incs.bmp"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = candidateLines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0].increment, 10);
    EXPECT_EQ(lines[1].increment, 20);
    const Line b = best(lines);
    EXPECT_NE(r.out.find(bestIncrementText(1, b.increment) + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  Increment size =" + std::to_string(b.increment) + "\r\n"), std::string::npos);
    plain({"-m", "1", "-i", QString::number(b.increment)}, out("incs-plain.bmp"));
    EXPECT_EQ(bytes(out("incs.bmp")), bytes(out("incs-plain.bmp")));
}

TEST_F(SmoothingCli, ANarrowMontageTriesOnlyTenAndRecommendsNothing) {
    const auto r = plain({"--evaluate", "increments", "-i", "30"}, out("narrow.bmp"), "n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = candidateLines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(lines[0].increment, 10);
    EXPECT_EQ(r.out.find("I think"), std::string::npos);
    EXPECT_NE(r.out.find("  Increment size =10\r\n"), std::string::npos);
    plain({"-i", "10"}, out("narrow-plain.bmp"), "n");
    EXPECT_EQ(bytes(out("narrow.bmp")), bytes(out("narrow-plain.bmp")));
}

TEST_F(SmoothingCli, EvaluateAllWithSmoothingChoosesWhatAPlainSmoothedRunMakes) {
    const auto r = plain({"--evaluate", "all", "--smooth"}, out("all.bmp"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = candidateLines(r.out);
    ASSERT_EQ(lines.size(), 10u) << r.out;
    const Line b = best(lines);
    EXPECT_NE(r.out.find(bestMethodAndIncrementText(b.method, b.increment) + "\n"), std::string::npos)
        << r.out;
    // Each candidate was smoothed before it was scored.
    for (const Line& l : lines) {
        const auto p = plain({"--smooth", "--score", "-m", QString::number(l.method), "-i",
                              QString::number(l.increment)},
                             out("all-candidate.bmp"));
        EXPECT_EQ(printedScore(p.out), l.score) << l.method << " " << l.increment;
    }
    plain({"--smooth", "-m", QString::number(b.method), "-i", QString::number(b.increment)},
          out("all-plain.bmp"));
    EXPECT_EQ(bytes(out("all.bmp")), bytes(out("all-plain.bmp")));
}

// Both increment comparisons say why a montage too narrow for the increment 10 gives nothing to
// compare.
TEST_F(SmoothingCli, EvaluateAllRefusesAMontageTooNarrowForAnyIncrement) {
    for (const char* what : {"all", "increments"}) {
        for (const char* method : {"0", "pyramid"}) {
            const auto r = plain({"--evaluate", what, "-m", method}, out("tiny.bmp"), "t");
            EXPECT_EQ(r.exitCode, 1) << what << " " << method;
            EXPECT_NE(r.err.find(kNothingToCompareText), std::string::npos) << what << " " << method << "\n" << r.err;
            EXPECT_TRUE(candidateLines(r.out).empty());
            EXPECT_FALSE(std::filesystem::exists(out("tiny.bmp").toStdString()));
        }
    }
}

TEST_F(SmoothingCli, BeetleEvaluateAllScoresFiveMethodsTimesEveryIncrement) {
    const std::string first = sharedData("stacks/beetle/beetle01.jpg");
    if (!std::filesystem::exists(first)) GTEST_SKIP() << "no beetle series at " << first;
    const auto r = runProgram("orvanta-cli", {"-q", "--evaluate", "all", "-o", out("beetle.bmp"),
                                              QString::fromStdString(first)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = candidateLines(r.out);
    // 750 pixels wide: increments 10 to 120.
    ASSERT_EQ(lines.size(), 5u * 12u) << r.out;
    EXPECT_EQ(lines.front().method, 4);
    EXPECT_EQ(lines.back().method, 0);
    EXPECT_EQ(lines.back().increment, 120);
    const Line b = best(lines);
    EXPECT_NE(r.out.find(bestMethodAndIncrementText(b.method, b.increment) + "\n"), std::string::npos)
        << r.out;
    const auto p = runProgram("orvanta-cli", {"-q", "-m", QString::number(b.method), "-i",
                                              QString::number(b.increment), "-o",
                                              out("beetle-plain.bmp"), QString::fromStdString(first)});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(bytes(out("beetle.bmp")), bytes(out("beetle-plain.bmp")));
}
