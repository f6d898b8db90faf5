// The strokes file: what a hand-written file means, the round trip, and every error naming its line.
#include "retouch/strokes_file.h"

#include "base/runtime_error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace orv::retouch {
namespace {

TEST(StrokesFile, AHandWrittenFileWithCommentsBlankLinesAndCrLf) {
    const std::string text =
        "orvanta-strokes 1\r\n"
        "# picture 3 over the hair\r\n"
        "\r\n"
        "stroke 3 40 50 100 1 10,20 30,-5\r\n"
        "  stroke\t12 1 0 1 0   7,7\n";
    const std::vector<Stroke> s = parseStrokes(text, 12);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0], (Stroke{3, Brush{40, 50, 100, true}, {{10, 20}, {30, -5}}}));
    EXPECT_EQ(s[1], (Stroke{12, Brush{1, 0, 1, false}, {{7, 7}}}));
}

TEST(StrokesFile, WrittenAndReadBackUnchanged) {
    const std::vector<Stroke> strokes = {Stroke{1, Brush{1000, 0, 1, false}, {{0, 0}}},
                                         Stroke{30, Brush{200, 100, 100, true}, {{-12, 4}, {6000, 3999}, {5, 5}}}};
    const std::string text = formatStrokes(strokes);
    EXPECT_EQ(text.substr(0, text.find('\n')), "orvanta-strokes 1");
    EXPECT_EQ(parseStrokes(text, 30), strokes);
    EXPECT_TRUE(parseStrokes(formatStrokes({})).empty());

    const std::string path = (std::filesystem::temp_directory_path() / "orvanta-strokes-test.strokes").string();
    writeStrokesFile(path, strokes);
    EXPECT_EQ(readStrokesFile(path, 30), strokes);
    std::remove(path.c_str());
    EXPECT_THROW(readStrokesFile(path), RuntimeError);
}

struct BadCase {
    const char* name;
    std::string text;
    int line;
    std::string says;
};

class StrokesFileError : public ::testing::TestWithParam<BadCase> {};

TEST_P(StrokesFileError, NamesTheLine) {
    const BadCase& c = GetParam();
    try {
        parseStrokes(c.text, 5);
        FAIL() << "accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.line(), c.line);
        EXPECT_EQ(e.description().rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << e.description();
        EXPECT_NE(e.description().find(c.says), std::string::npos) << e.description();
    }
}

const std::string V = "orvanta-strokes 1\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, StrokesFileError,
    ::testing::Values(BadCase{"Empty", "", 1, "first line"},
                      BadCase{"NoVersionLine", "stroke 1 40 50 100 1 0,0\n", 1, "first line"},
                      BadCase{"CommentBeforeVersion", "# hi\n" + V, 1, "first line"},
                      BadCase{"UnknownVersion", "orvanta-strokes 2\n", 1, "version 2"},
                      BadCase{"UnknownLine", V + "# ok\nbrush 1 2 3\n", 3, "unknown line"},
                      BadCase{"NoPath", V + "stroke 1 40 50 100 1\n", 2, "needs"},
                      BadCase{"PictureZero", V + "stroke 0 40 50 100 1 0,0\n", 2, "picture 0"},
                      BadCase{"PictureBeyondSeries", V + "stroke 6 40 50 100 1 0,0\n", 2, "picture 6 is outside 1 to 5"},
                      BadCase{"RadiusZero", V + "stroke 1 0 50 100 1 0,0\n", 2, "radius 0"},
                      BadCase{"RadiusTooLarge", V + "stroke 1 1001 50 100 1 0,0\n", 2, "radius 1001"},
                      BadCase{"HardnessTooLarge", V + "stroke 1 40 101 100 1 0,0\n", 2, "hardness 101"},
                      BadCase{"OpacityZero", V + "stroke 1 40 50 0 1 0,0\n", 2, "opacity 0"},
                      BadCase{"MatchTwo", V + "stroke 1 40 50 100 2 0,0\n", 2, "match 2"},
                      BadCase{"NegativeRadius", V + "stroke 1 -4 50 100 1 0,0\n", 2, "radius \"-4\""},
                      BadCase{"DecimalRadius", V + "stroke 1 4.5 50 100 1 0,0\n", 2, "radius \"4.5\""},
                      BadCase{"PointWithoutComma", V + "\nstroke 1 40 50 100 1 0,0 12\n", 3, "path point \"12\""},
                      BadCase{"PointNotNumbers", V + "stroke 1 40 50 100 1 a,b\n", 2, "path point"},
                      BadCase{"PointFarAway", V + "stroke 1 40 50 100 1 0,99999999\n", 2, "too far"},
                      BadCase{"HugeNumber", V + "stroke 99999999999 40 50 100 1 0,0\n", 2, "picture"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StrokesFile, BesideTheProject) {
    EXPECT_EQ(strokesNameFor("/x/pcb.mon"), "/x/pcb.strokes");
    EXPECT_EQ(strokesNameFor("/x/pcb.MON"), "/x/pcb.strokes");
    EXPECT_EQ(strokesNameFor("/x/pcb"), "/x/pcb.strokes");
}

} // namespace
} // namespace orv::retouch
