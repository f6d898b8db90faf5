// orvanta-cli on a series longer than 30 pictures: Pyramid Focus reads all of it, a block method
// reads 30 and names the options that read more or fewer, --max-pictures stops earlier.
#include "cli_folder.h"

#include "input/series_loader.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orv;
using namespace orv::test;

namespace {

class LongSeriesCli : public CliFolderTest {
protected:
    void SetUp() override {
        CliFolderTest::SetUp();
        series("s", 40);
    }
    static std::string found(int n) { return "Number of files found =" + std::to_string(n) + "\r\n"; }
};

struct LongCase {
    const char* name;
    std::vector<std::string> options;
    int pictures;      // read
    bool limitMessage; // the 30-picture message and the options' names on standard error
    // What the options' names are said with: the block methods read 30, Pyramid Focus all unless
    // its montage is smoothed, retouched or compared.
    const char* hint = "the block methods read 30 pictures; -m pyramid reads the whole series";
};

class LongSeriesRuns : public LongSeriesCli, public ::testing::WithParamInterface<LongCase> {};

TEST_P(LongSeriesRuns, ReadAsManyPicturesAsTheMethodAndLimitAllow) {
    const LongCase& c = GetParam();
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-o", path("out.bmp"), path("s01.bmp")});
    const RawResult r = run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(found(c.pictures)), std::string::npos) << r.out;
    const bool limit = r.err.find(kLimitText) != std::string::npos;
    EXPECT_EQ(limit, c.limitMessage) << r.err;
    EXPECT_EQ(r.err.find(c.hint) != std::string::npos && r.err.find("--max-pictures N reads the first N") != std::string::npos,
              c.limitMessage)
        << r.err;
    // A Pyramid Focus run is never told that -m pyramid would read more.
    if (std::find(c.options.begin(), c.options.end(), "pyramid") != c.options.end()) {
        EXPECT_EQ(r.err.find("-m pyramid reads the whole series"), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, LongSeriesRuns,
    ::testing::Values(LongCase{"PyramidReadsTheWholeSeries", {"-m", "pyramid"}, 40, false},
                      LongCase{"PyramidAlignedReadsTheWholeSeries", {"-m", "pyramid", "--align"}, 40, false},
                      LongCase{"PyramidStopsAtMaxPictures", {"-m", "pyramid", "--max-pictures", "33"}, 33, false},
                      LongCase{"ABlockMethodReads30AndSaysHowToReadMore", {"-m", "0"}, 30, true},
                      LongCase{"ABlockMethodBelowItsLimitIsQuiet", {"-m", "linear", "--max-pictures", "12"}, 12, false},
                      // Smoothing reads the pictures again from the stack: the montage is made in memory.
                      LongCase{"PyramidSmoothedReads30", {"-m", "pyramid", "--smooth"}, 30, true,
                               "Pyramid Focus reads the whole series only when the montage is written as made: "
                               "with --smooth, --retouch or --evaluate it reads 30 pictures"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LongSeriesCli, AGapEndsTheSeries) {
    std::filesystem::remove(path("s36.bmp"));
    const RawResult r = run({"-m", "pyramid", "--depth-map", path("depth.png"), "-o", path("out.bmp"), path("s01.bmp")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(found(35)), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::exists(path("depth.png")));
}

class MaxPicturesRefused : public CliFolderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MaxPicturesRefused, IsAUsageErrorNamingTheOption) {
    const RawResult r = run({"--max-pictures", GetParam(), "-o", path("out.bmp"), path("s01.bmp")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--max-pictures takes a whole number from 1 to 9999"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("out.bmp")));
}

INSTANTIATE_TEST_SUITE_P(Cli, MaxPicturesRefused, ::testing::Values("0", "10000", "-3", "many"),
                         [](const auto& info) {
                             const std::string v = info.param;
                             return v == "0" ? std::string("Zero") : v == "10000" ? std::string("TooMany")
                                                                    : v == "-3"   ? std::string("Negative")
                                                                                  : std::string("NotANumber");
                         });

} // namespace
