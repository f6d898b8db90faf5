// orvanta-cli's progress: the JSON lines' form, the time left from the rate so far, the bar only on
// a terminal, nothing at all with -q or --progress none, and a whole run with --progress json.
#include "cli/cli_options.h"
#include "cli/progress_report.h"
#include "cli_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

using namespace orv;
using namespace orv::test;

namespace {

struct JsonCase {
    const char* name;
    const char* phase;
    int done, total;
    std::optional<double> left;
    const char* expected;
};

class ProgressJsonLine : public ::testing::TestWithParam<JsonCase> {};

TEST_P(ProgressJsonLine, IsOneObjectALine) {
    const JsonCase& c = GetParam();
    EXPECT_EQ(progressJsonLine(c.phase, c.done, c.total, c.left), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgressJsonLine,
    ::testing::Values(
        JsonCase{"Known", "fusing", 12, 60, 8.4, "{\"phase\":\"fusing\",\"done\":12,\"total\":60,\"seconds_left\":8.4}\n"},
        JsonCase{"LeftRoundedToOneDecimal", "aligning", 1, 9, 12.3456, "{\"phase\":\"aligning\",\"done\":1,\"total\":9,\"seconds_left\":12.3}\n"},
        JsonCase{"Finished", "reading", 5, 5, 0.0, "{\"phase\":\"reading\",\"done\":5,\"total\":5,\"seconds_left\":0.0}\n"},
        JsonCase{"TotalNotKnown", "smoothing", 0, 0, std::nullopt, "{\"phase\":\"smoothing\",\"done\":0,\"total\":null,\"seconds_left\":null}\n"},
        JsonCase{"LeftNotKnown", "reading", 0, 4, std::nullopt, "{\"phase\":\"reading\",\"done\":0,\"total\":4,\"seconds_left\":null}\n"},
        JsonCase{"QuoteEscaped", "a\"b\\c", 1, 2, std::nullopt, "{\"phase\":\"a\\\"b\\\\c\",\"done\":1,\"total\":2,\"seconds_left\":null}\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct LeftCase {
    const char* name;
    double elapsed;
    int done, total;
    std::optional<double> expected;
};

class TimeLeft : public ::testing::TestWithParam<LeftCase> {};

TEST_P(TimeLeft, FollowsTheRateSoFar) {
    const LeftCase& c = GetParam();
    const std::optional<double> left = estimatedSecondsLeft(c.elapsed, c.done, c.total);
    ASSERT_EQ(left.has_value(), c.expected.has_value());
    if (left) {
        EXPECT_DOUBLE_EQ(*left, *c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeLeft,
                         ::testing::Values(LeftCase{"QuarterDone", 10, 5, 20, 30.0}, LeftCase{"AllDone", 7, 9, 9, 0.0},
                                           LeftCase{"OneOfMany", 2, 1, 200, 398.0},
                                           LeftCase{"NothingDone", 3, 0, 10, std::nullopt},
                                           LeftCase{"TotalNotKnown", 3, 2, 0, std::nullopt},
                                           LeftCase{"PastTheTotal", 3, 12, 10, std::nullopt},
                                           LeftCase{"NoTimePassed", 0, 2, 10, std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressDuration, ReadsAsTheBarSaysIt) {
    const std::vector<std::pair<double, std::string>> cases = {
        {0.4, "<1 s"}, {8.4, "8 s"}, {59.4, "59 s"}, {125, "2 min 05 s"}, {3780, "1 h 03 min"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(durationText(seconds), text) << seconds;
}

TEST(ProgressBarText, ShowsTheCountTheBarAndTheTimeLeft) {
    EXPECT_EQ(progressBarText("fusing", 15, 60, 8.4), "fusing    15 of 60 [#######                       ] 8 s left");
    EXPECT_EQ(progressBarText("reading", 3, 0, std::nullopt), "reading   3");
    EXPECT_EQ(progressBarText("aligning", 0, 4, std::nullopt), "aligning  0 of 4 [                              ]");
}

// A report writing into memory, with a clock the test moves.
class ProgressCapture : public ::testing::Test {
protected:
    void SetUp() override { out = ::open_memstream(&buffer, &size); }
    void TearDown() override {
        if (out) std::fclose(out);
        std::free(buffer);
    }
    // What was written so far: the report flushes each line itself.
    std::string written() const { return std::string(buffer, size); }
    ProgressReport::Clock clock() {
        return [this] { return now; };
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> all;
        std::istringstream in(written());
        for (std::string line; std::getline(in, line);) all.push_back(line);
        return all;
    }

    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = nullptr;
    double now = 100;
};

TEST_F(ProgressCapture, JsonLinesAreFlushedOneByOneWithTheTimeLeftOfTheirPhase) {
    ProgressReport report(ProgressStyle::Json, out, false, clock());
    now = 102; // the first picture read after 2 s
    report.report("reading", 1, 4);
    EXPECT_EQ(written(), "{\"phase\":\"reading\",\"done\":1,\"total\":4,\"seconds_left\":6.0}\n");
    now = 104;
    report.report("reading", 2, 4);
    report.report("reading", 2, 4); // a repeat is not written again
    now = 110;
    report.report("reading", 4, 4);
    // Fusing starts its own rate from the last report: 12 steps in 3 s.
    now = 113;
    report.report("fusing", 12, 60);
    // The next montage of a comparison counts from 1 again and starts its rate afresh.
    now = 123;
    report.report("fusing", 60, 60);
    now = 124;
    report.report("fusing", 1, 5);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "{\"phase\":\"reading\",\"done\":1,\"total\":4,\"seconds_left\":6.0}",
                           "{\"phase\":\"reading\",\"done\":2,\"total\":4,\"seconds_left\":4.0}",
                           "{\"phase\":\"reading\",\"done\":4,\"total\":4,\"seconds_left\":0.0}",
                           "{\"phase\":\"fusing\",\"done\":12,\"total\":60,\"seconds_left\":12.0}",
                           "{\"phase\":\"fusing\",\"done\":60,\"total\":60,\"seconds_left\":0.0}",
                           "{\"phase\":\"fusing\",\"done\":1,\"total\":5,\"seconds_left\":4.0}",
                       }));
    report.finish(); // the lines stay
    EXPECT_EQ(lines().size(), 6u);
}

TEST_F(ProgressCapture, NoneAndABarOffATerminalWriteNothing) {
    for (const auto& [style, terminal] : {std::pair{ProgressStyle::None, true}, std::pair{ProgressStyle::None, false},
                                          std::pair{ProgressStyle::Bar, false}}) {
        ProgressReport report(style, out, terminal, clock());
        EXPECT_FALSE(report.writes());
        report.report("reading", 1, 3);
        report.report("fusing", 2, 3);
        report.finish();
    }
    EXPECT_EQ(written(), "");
}

TEST_F(ProgressCapture, TheBarIsRedrawnInPlaceAndClearedAtTheEnd) {
    {
        ProgressReport report(ProgressStyle::Bar, out, true, clock());
        now = 110;
        report.report("aligning", 10, 40);
        report.report("aligning", 11, 40);
        EXPECT_EQ(written().find('\n'), std::string::npos);
        EXPECT_NE(written().find("\raligning  10 of 40 [#######                       ] 30 s left"), std::string::npos);
        // A shorter text covers what the longer one left.
        report.report("smoothing", 0, 0);
        const std::string shown = written().substr(written().rfind('\r') + 1);
        EXPECT_EQ(shown.rfind("smoothing 0 ", 0), 0u);
        EXPECT_EQ(shown.size(), progressBarText("aligning", 11, 40, estimatedSecondsLeft(10, 11, 40)).size());
    } // the report going away clears its line
    const std::string all = written();
    EXPECT_EQ(all.substr(all.size() - 1), "\r");
    EXPECT_EQ(all.find_first_not_of(' ', all.rfind('\r', all.size() - 2) + 1), all.size() - 1);
}

TEST(ProgressOption, NamesAStyleAndQuietIsNone) {
    const std::vector<std::pair<std::vector<std::string>, ProgressStyle>> cases = {
        {{"a01.bmp"}, ProgressStyle::Bar},
        {{"--progress", "json", "a01.bmp"}, ProgressStyle::Json},
        {{"--progress", "none", "a01.bmp"}, ProgressStyle::None},
        {{"-q", "a01.bmp"}, ProgressStyle::None},
        {{"-q", "--progress", "json", "a01.bmp"}, ProgressStyle::Json}, // the last one says
        {{"--progress", "json", "--quiet", "a01.bmp"}, ProgressStyle::None},
    };
    for (const auto& [args, style] : cases) {
        const CliParse r = parseCliOptions(args);
        ASSERT_TRUE(r.options) << args[0] << ": " << r.error;
        EXPECT_EQ(r.options->progress, style) << args[0];
        EXPECT_EQ(r.options->quiet, style == ProgressStyle::None) << args[0];
    }
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--progress", "loud", "a01.bmp"},
                                                 std::vector<std::string>{"a01.bmp", "--progress"}}) {
        const CliParse r = parseCliOptions(args);
        EXPECT_FALSE(r.options);
        EXPECT_EQ(r.error, "--progress takes bar, json or none");
    }
}

TEST(ProgressSeriesLength, CountsTheFilesThatFollowOneAnother) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString();
    for (const char* name : {"s01.bmp", "s02.bmp", "s03.bmp", "s05.bmp", "t0001.jpg", "t0002.jpg"})
        std::ofstream(d + "/" + name) << "x";
    EXPECT_EQ(seriesFilesPresent(d + "/s01.bmp", 30), 3); // s04 is missing
    EXPECT_EQ(seriesFilesPresent(d + "/s01.bmp", 2), 2);
    EXPECT_EQ(seriesFilesPresent(d + "/s02.bmp", 30), 2); // from the file named
    EXPECT_EQ(seriesFilesPresent(d + "/t0001.jpg", 30), 2);
    EXPECT_EQ(seriesFilesPresent(d + "/none01.bmp", 30), 0);
    EXPECT_EQ(seriesFilesPresent(d + "/s.bmp", 30), 0);       // no number
    EXPECT_EQ(seriesFilesPresent(d + "/s99999.bmp", 30), 0);  // past 16 bits
}

// The JSON lines orvanta-cli wrote to standard error, as objects; lines that are no JSON object
// (messages) are left out.
std::vector<QJsonObject> progressLines(const std::string& err) {
    std::vector<QJsonObject> objects;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] != '{') continue;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
        EXPECT_TRUE(doc.isObject()) << line;
        if (doc.isObject()) objects.push_back(doc.object());
    }
    return objects;
}

class CliProgress : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir();
        const auto r = runProgram("make-sample-series", {dir_->path() + "/s", "--frames", "4", "--size", "160x120",
                                                         "--scene", "natural", "--shift-step", "2,1", "--margin", "20"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static QString first() { return dir_->path() + "/s/sample0001.bmp"; }
    static QString out(const QString& name) { return dir_->path() + "/" + name; }
    static QTemporaryDir* dir_;
};
QTemporaryDir* CliProgress::dir_ = nullptr;

TEST_F(CliProgress, JsonWritesEveryPhaseStepByStepToStandardError) {
    const auto r = runProgram("orvanta-cli", {"--progress", "json", "--align", "-m", "pyramid", "-o", out("p.bmp"), first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("\"phase\""), std::string::npos); // the report on standard output has none
    const std::vector<QJsonObject> lines = progressLines(r.err);
    ASSERT_FALSE(lines.empty()) << r.err;
    std::map<std::string, std::vector<QJsonObject>> byPhase;
    for (const QJsonObject& o : lines) {
        EXPECT_EQ(o.keys(), (QStringList{"done", "phase", "seconds_left", "total"}));
        byPhase[o["phase"].toString().toStdString()].push_back(o);
    }
    ASSERT_EQ(byPhase.size(), 4u) << r.err;
    // Reading: picture 1 to 4 of 4, in order.
    const auto& reading = byPhase["reading"];
    ASSERT_EQ(reading.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(reading[std::size_t(k)]["done"].toInt(), k + 1);
        EXPECT_EQ(reading[std::size_t(k)]["total"].toInt(), 4);
    }
    // Writing the picture is a phase too, told up to its last row: a script waiting for the run's
    // end sees it done.
    for (const char* phase : {"aligning", "fusing", "saving"}) {
        const auto& steps = byPhase[phase];
        ASSERT_FALSE(steps.empty()) << phase;
        int before = -1;
        for (const QJsonObject& o : steps) {
            EXPECT_GT(o["done"].toInt(), before) << phase;
            before = o["done"].toInt();
            EXPECT_EQ(o["total"].toInt(), steps.back()["total"].toInt()) << phase;
            if (o["done"].toInt() > 0) {
                EXPECT_TRUE(o["seconds_left"].isDouble()) << phase;
            }
            if (o["seconds_left"].isDouble()) {
                EXPECT_GE(o["seconds_left"].toDouble(), 0.0) << phase;
            }
        }
        EXPECT_EQ(steps.back()["done"].toInt(), steps.back()["total"].toInt()) << phase;
        EXPECT_EQ(steps.back()["seconds_left"].toDouble(), 0.0) << phase;
    }
    // The phases come one after another.
    EXPECT_EQ(lines.front()["phase"].toString(), "reading");
    EXPECT_EQ(lines.back()["phase"].toString(), "saving");
}

// A TIFF is encoded and written in bands of rows (two steps a row here): told by the per cent, so
// that a tall picture does not give thousands of lines.
TEST_F(CliProgress, SavingIsToldByThePerCentNotByTheRow) {
    const auto r = runProgram("orvanta-cli", {"--progress", "json", "-o", out("t.tif"), first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<QJsonObject> saving;
    for (const QJsonObject& o : progressLines(r.err))
        if (o["phase"].toString() == "saving") saving.push_back(o);
    ASSERT_GT(saving.size(), 2u) << r.err;
    EXPECT_LE(saving.size(), 101u);
    EXPECT_EQ(saving.back()["total"].toInt(), 240);
    EXPECT_EQ(saving.back()["done"].toInt(), 240);
}

// Every phase a run reports is one the help names.
TEST_F(CliProgress, TheHelpNamesEveryPhaseAJsonRunReports) {
    const auto help = runProgram("orvanta-cli", {"--help"});
    const std::size_t from = help.out.find("(phases");
    ASSERT_NE(from, std::string::npos) << help.out;
    const std::string phases = help.out.substr(from, help.out.find(';', from) - from);
    const auto r = runProgram("orvanta-cli", {"--progress", "json", "--align", "--smooth", "--depth-map", out("d.png"), "-o", out("s.tif"), first()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::set<std::string> seen;
    for (const QJsonObject& o : progressLines(r.err)) seen.insert(o["phase"].toString().toStdString());
    EXPECT_EQ(seen, (std::set<std::string>{"reading", "aligning", "fusing", "smoothing", "saving"}));
    for (const std::string& phase : seen) EXPECT_NE(phases.find(phase), std::string::npos) << phase << " in " << phases;
}

TEST_F(CliProgress, QuietNoneAndTheBarOffATerminalWriteNothingToStandardError) {
    for (const QStringList& style : {QStringList{"-q"}, QStringList{"--progress", "none"}, QStringList{}}) {
        const auto r = runProgram("orvanta-cli", style + QStringList{"-m", "pyramid", "-o", out("q.bmp"), first()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "") << style.join(" ").toStdString();
    }
}

} // namespace
