// The choice maps: the 3 x 3 majority vote and the block summary that becomes the dominant-image
// map, and reading the block methods' choices back from a map.
#include "fusion_fixtures.h"
#include "fusion/choice_map.h"
#include "fusion/picture_choices.h"

#include "base/runtime_error.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

// A map written as text rows, top row first, one digit per pixel ('a' stands for 10 ... and 'c'
// for 12), turned into bottom-up rows.
std::vector<std::uint8_t> grid(const std::vector<std::string>& rows) {
    std::vector<std::uint8_t> g;
    for (auto r = rows.rbegin(); r != rows.rend(); ++r)
        for (char ch : *r) g.push_back(std::uint8_t(ch >= 'a' ? 10 + ch - 'a' : ch - '0'));
    return g;
}

std::vector<std::uint8_t> vote(const std::vector<std::string>& rows, const std::vector<CoverRect>* cover = nullptr) {
    const std::vector<std::uint8_t> in = grid(rows);
    std::vector<std::uint8_t> out(in.size(), 99);
    const int w = int(rows[0].size()), h = int(rows.size());
    majorityVote3x3(in.data(), out.data(), w, h, cover, 0, h);
    return out;
}

} // namespace

struct VoteCase {
    const char* name;
    std::vector<std::string> in;
    std::vector<std::string> out;
};

class MajorityVote : public ::testing::TestWithParam<VoteCase> {};

TEST_P(MajorityVote, TakesThePictureChosenMostOftenAround) {
    EXPECT_EQ(vote(GetParam().in), grid(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(
    ChoiceMap, MajorityVote,
    ::testing::Values(
        VoteCase{"AnIsolatedChoiceIsOutvoted", {"111", "121", "111"}, {"111", "111", "111"}},
        // The corner counts only the four pixels inside the map: 3, 3, 1, 1 is a tie it keeps.
        VoteCase{"ATiedPixelKeepsItsOwn", {"33", "11"}, {"33", "11"}},
        // The centre's 2 has one vote, 4 and 3 have four each: the lower of the two wins.
        VoteCase{"ATieWithoutItsOwnTakesTheLowerPicture", {"434", "324", "343"}, {"344", "334", "334"}},
        VoteCase{"PixelsNoPictureReachesStayEmptyAndDoNotVote", {"000", "020", "011"}, {"000", "010", "011"}},
        VoteCase{"PicturesAboveNineCount", {"ccc", "c5c", "ccc"}, {"ccc", "ccc", "ccc"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChoiceMap, ANeighboursPictureCountsOnlyWhereItReaches) {
    // Picture 2 reaches only column 0. Counted everywhere its three votes would carry column 1;
    // counted where it reaches, column 1 is voted among pictures 1 and 3.
    std::vector<CoverRect> cover(4);
    cover[1] = CoverRect{0, 2, 0, 3};
    cover[2] = CoverRect{0, 1, 0, 3};
    cover[3] = CoverRect{0, 2, 0, 3};
    EXPECT_EQ(vote({"21", "23", "21"}, &cover), grid({"21", "21", "21"}));
    EXPECT_EQ(vote({"21", "23", "21"}), grid({"22", "22", "22"}));
}

struct BlockCase {
    const char* name;
    std::vector<std::string> choices; // top row first
    int increment;
    std::string line;
};

class BlockSummary : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockSummary, NamesThePictureChosenMostOftenInTheBlock) {
    const BlockCase& c = GetParam();
    const int w = int(c.choices[0].size()), h = int(c.choices.size());
    const std::vector<std::uint8_t> g = grid(c.choices);
    EXPECT_EQ(blockMapLine(g.data(), w, h, 0, c.increment, blockCount(float(w), c.increment)), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    ChoiceMap, BlockSummary,
    ::testing::Values(BlockCase{"MostChosenWins", {"3311", "3331", "3311", "3311"}, 4, "3"},
                      BlockCase{"TieTakesTheLowerPicture", {"5522", "5522", "5522", "5522"}, 4, "2"},
                      BlockCase{"PictureTwelveShowsItsLastDigit", {"cc", "c1"}, 2, "2"},
                      BlockCase{"PictureTenShowsZero", {"aa", "a1"}, 2, "0"},
                      BlockCase{"NoPictureNamesPictureOne", {"00", "00"}, 2, "1"},
                      BlockCase{"PixelsNoPictureReachesDoNotCount", {"00", "07"}, 2, "7"},
                      // Three blocks of 2: the last one is cut at the map's last column.
                      BlockCase{"TheLastBlockIsCutAtTheEdge", {"11224", "11244"}, 2, "124"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BlockChoices, ReadTheMapBottomRowFirstWithZeroForPictureTen) {
    MontageGeometry g;
    g.W = 40;
    g.H = 30; // 2 x 2 blocks of 20, the top row cut
    const PictureChoices c = blockChoices("12\r\n30\r\n", BlockChoiceContext{&g, 20, 10, nullptr, nullptr});
    EXPECT_EQ(c.cell, 20);
    EXPECT_EQ(c.columns, 2);
    EXPECT_EQ(c.rows, 2);
    EXPECT_EQ(c.at(0, 0), 3);
    EXPECT_EQ(c.at(39, 19), 10);
    EXPECT_EQ(c.at(0, 20), 1);
    EXPECT_EQ(c.at(39, 29), 2);
}

struct BadMapCase {
    const char* name;
    std::string map;
    int pictures;
};

class BadMaps : public ::testing::TestWithParam<BadMapCase> {};

TEST_P(BadMaps, AreRefusedNotGuessed) {
    MontageGeometry g;
    g.W = 40;
    g.H = 40;
    try {
        blockChoices(GetParam().map, BlockChoiceContext{&g, 20, GetParam().pictures, nullptr, nullptr});
        FAIL() << "accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 5);
    }
}

INSTANTIATE_TEST_SUITE_P(BlockChoices, BadMaps,
                         ::testing::Values(BadMapCase{"TooFewLines", "12\r\n", 3},
                                           BadMapCase{"ALineTooLong", "12\r\n123\r\n", 3},
                                           BadMapCase{"NoLineEnd", "12\r\n12", 3},
                                           BadMapCase{"NotADigit", "12\r\n1x\r\n", 3},
                                           BadMapCase{"APictureBeyondTheSeries", "12\r\n14\r\n", 3},
                                           BadMapCase{"PictureTenOfNine", "12\r\n10\r\n", 9},
                                           BadMapCase{"MoreThanTenPicturesWithoutTheirArrays", "12\r\n12\r\n", 12}),
                         [](const auto& info) { return std::string(info.param.name); });

// Twelve pictures: picture 12 is the sharpest in the left block and picture 2 in the right one,
// so the block loop's map reads "22"; the choices name the real pictures.
TEST(BlockChoices, ResolveLastDigitsOfLargeSeriesAsTheBlockLoopChose) {
    std::vector<Painter> painters(12, [](int, int) { return Rgb{90, 90, 90}; });
    auto stripes = [](int from, int to, int amplitude) {
        return [=](int x, int) {
            const int v = x >= from && x < to && x % 2 ? 90 + amplitude : 90;
            return Rgb{v, v, v};
        };
    };
    painters[1] = [=](int x, int y) { return x < 20 ? stripes(0, 20, 40)(x, y) : stripes(20, 40, 100)(x, y); };
    painters[11] = [=](int x, int y) { return x < 20 ? stripes(0, 20, 120)(x, y) : stripes(20, 40, 20)(x, y); };
    painters[0] = [=](int x, int y) { return stripes(0, 40, 10)(x, y); }; // picture 1 never wins
    Stack s(40, 20, painters);

    FocusContext focus;
    const std::string map = blockMap(s.mp, s.g, 20, 12, focus);
    ASSERT_EQ(map, "22\r\n");

    const PictureChoices c = blockChoices(map, BlockChoiceContext{&s.g, 20, 12, &s.mp, &focus});
    EXPECT_EQ(c.at(0, 0), 12);
    EXPECT_EQ(c.at(20, 0), 2);
}
