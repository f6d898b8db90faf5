// make-sample-series as the benchmarks use it: --frames names that orvanta-cli reads as one
// series in every format and depth, and the counts it refuses.
#include "cli_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orv::test;

namespace {

struct FormatCase {
    const char* name;
    const char* format;
    const char* depth;
};

class SampleSeriesFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SampleSeriesFormats, FramesAreReadAsOneSeries) {
    const FormatCase& c = GetParam();
    QTemporaryDir dir;
    const QString ext = c.format;
    const auto g = runProgram("make-sample-series", {dir.path() + "/s", "--frames", "3", "--size", "64x48", "--format",
                                                     c.format, "--depth", c.depth, "--no-truth"});
    ASSERT_EQ(g.exitCode, 0) << g.err;
    EXPECT_TRUE(QFile::exists(dir.path() + "/s/sample0003." + ext));
    EXPECT_FALSE(QFile::exists(dir.path() + "/s/sample0004." + ext));
    const auto r = runProgram("orvanta-cli", {"-q", "-o", dir.path() + "/m.bmp", dir.path() + "/s/sample0001." + ext});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Number of files found =3"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Formats, SampleSeriesFormats,
                         ::testing::Values(FormatCase{"Bmp", "bmp", "8"}, FormatCase{"Jpeg", "jpg", "8"},
                                           FormatCase{"Tiff8", "tif", "8"}, FormatCase{"Png8", "png", "8"},
                                           FormatCase{"Tiff16", "tif", "16"}, FormatCase{"Png16", "png", "16"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SampleSeriesCounts, TwoDigitCountsFourDigitFramesAndNothingElse) {
    QTemporaryDir dir;
    const std::vector<QStringList> refused = {
        {"--count", "100"},          {"--frames", "10000"}, {"--frames", "0"},
        {"--count", "3", "--frames", "3"}, {"--frames", "3", "--count", "3"}, {"--format", "gif"},
        {"--depth", "16", "--format", "jpg"}, {"--depth", "12"}};
    for (const QStringList& args : refused) {
        const auto r = runProgram("make-sample-series", QStringList{dir.path() + "/x", "--size", "16x12"} + args);
        EXPECT_EQ(r.exitCode, 2) << args.join(" ").toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.path() + "/x"));
    const auto ok = runProgram("make-sample-series", {dir.path() + "/c", "--count", "2", "--size", "16x12"});
    ASSERT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_TRUE(QFile::exists(dir.path() + "/c/sample02.bmp"));
}

} // namespace
