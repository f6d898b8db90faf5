// What an alignment hands to the rest of Make Montage: the properties lines, where they go in
// the properties text, and the montage size and placement of each display area, checked through
// the engine's own block loop.
#include "support/case_name.h"
#include "align/alignment_report.h"
#include "engine/montage_run.h"
#include "engine/properties_text.h"
#include "fusion/pyramid_focus.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

PictureAlignment picture(int n, double scale, double rotation, double x, double y, bool converged = true) {
    PictureAlignment p;
    p.picture = n;
    p.aligned = true;
    p.converged = converged;
    p.similarity = align::Similarity{scale, rotation, x, y};
    return p;
}

struct LineCase {
    double scale, rotation, x, y;
    const char* line;
};

class AlignmentLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(AlignmentLine, WrittenWithFourTwoAndOneDecimals) {
    const auto& c = GetParam();
    EXPECT_EQ(alignmentLine(picture(3, c.scale, c.rotation, c.x, c.y)), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AlignmentLine,
    ::testing::Values(LineCase{1, 0, 0, 0, "  Image 3 scale =1.0000 , rotation =0.00 , shift =0.0 , 0.0"},
                      // content 2 % larger than the reference's
                      LineCase{1 / 1.02, 0.123, 12.46, -3.04, "  Image 3 scale =0.9804 , rotation =0.12 , shift =12.5 , -3.0"},
                      LineCase{1.07412, -1.005, -0.96, 250.0, "  Image 3 scale =1.0741 , rotation =-1.00 , shift =-1.0 , 250.0"},
                      // values that round to zero carry no minus sign
                      LineCase{1.00001, -0.004, -0.04, -0.049, "  Image 3 scale =1.0000 , rotation =0.00 , shift =0.0 , 0.0"}),
    [](const auto& info) {
        const LineCase& c = info.param;
        return "scale" + orv::testing::caseName(c.scale) + "_rotation" + orv::testing::caseName(c.rotation) + "_shift" +
               orv::testing::caseName(c.x) + "_" + orv::testing::caseName(c.y);
    });

AlignmentReport threePictures() {
    AlignmentReport r;
    r.reference = 2;
    r.frameWidth = 100;
    r.frameHeight = 80;
    r.pictures = {picture(1, 0.9804, 0.1, 2, 1), picture(2, 1, 0, 0, 0), picture(3, 1, 0, 0, 0, false)};
    r.pictures[1].reference = true;
    return r;
}

TEST(AlignmentProperties, LinesFollowTheMethodLineAndNameThePictureThatFailed) {
    PropertiesInput in;
    in.firstFileName = "/pics/shot01.bmp";
    in.pictureCount = 3;
    in.method = 1;
    in.incrementText = "20";
    in.map = "123\r\n";
    const std::string text = withAlignmentLines(buildPropertiesText(in), threePictures());
    EXPECT_EQ(text,
              "\r\n"
              "  First file name =/pics/shot01.bmp\r\n"
              "  Number of files found =3\r\n"
              "  Montage method used =1 (Linear Color Focus)\r\n"
              "  Automatic alignment =yes\r\n"
              "  Image 1 scale =0.9804 , rotation =0.10 , shift =2.0 , 1.0\r\n"
              "  Image 2 scale =1.0000 , rotation =0.00 , shift =0.0 , 0.0\r\n"
              "  Image 3 scale =1.0000 , rotation =0.00 , shift =0.0 , 0.0\r\n"
              "  Warning: image 3 could not be aligned automatically and is used as loaded\r\n"
              "  Increment size =20\r\n"
              "  Smoothing =no \r\n"
              "  Montage made from dominant image numbers:\r\n"
              "123\r\n\r\n");
    // A smoothing pass still finds its two places.
    EXPECT_NE(updatePropertiesAfterSmoothing(text, "333\r\n").find("Smoothing =yes"), std::string::npos);

    in.method = -1; // no method ticked: before the increment line
    const std::string noMethod = withAlignmentLines(buildPropertiesText(in), threePictures());
    EXPECT_NE(noMethod.find("  Number of files found =3\r\n  Automatic alignment =yes\r\n"), std::string::npos);
}

// Pictures kept as loaded or at their neighbour's place, or measured past a weak neighbour, say so
// after their line, in the properties and in the notices a front end prints; a picture that failed
// keeps its warning alone.
TEST(AlignmentProperties, PicturesNotMovedByTheirOwnMapSaySoAfterTheirLine) {
    AlignmentReport r = threePictures();
    r.pictures.push_back(picture(4, 0.9804, 0.1, 2, 1));
    r.pictures[0].placement = PicturePlacement::AsLoaded;
    r.pictures[0].similarity = align::Similarity{};
    r.pictures[0].neighbour = 3;
    r.pictures[0].pastWeak = 2;
    r.pictures[2].pastWeak = 2;
    r.pictures[3].placement = PicturePlacement::Neighbour;
    r.pictures[3].neighbour = 3;
    EXPECT_EQ(alignmentPropertiesLines(r),
              "  Automatic alignment =yes\r\n"
              "  Image 1 scale =1.0000 , rotation =0.00 , shift =0.0 , 0.0\r\n"
              "  Note: image 1 showed no clear move and is used as loaded\r\n"
              "  Note: image 1 is measured against image 3: image 2 matched too weakly to be its neighbour\r\n"
              "  Image 2 scale =1.0000 , rotation =0.00 , shift =0.0 , 0.0\r\n"
              "  Image 3 scale =1.0000 , rotation =0.00 , shift =0.0 , 0.0\r\n"
              "  Warning: image 3 could not be aligned automatically and is used as loaded\r\n"
              "  Image 4 scale =0.9804 , rotation =0.10 , shift =2.0 , 1.0\r\n"
              "  Note: image 4 showed no clear move against image 3 and is placed as image 3 is\r\n");
    EXPECT_EQ(alignmentNotices(r),
              (std::vector<std::string>{"image 1 showed no clear move and is used as loaded",
                                        "image 1 is measured against image 3: image 2 matched too weakly to be its neighbour",
                                        "image 3 could not be aligned automatically and is used as loaded",
                                        "image 4 showed no clear move against image 3 and is placed as image 3 is"}));
    r.pictures[0].aligned = false; // ignored pictures say nothing
    EXPECT_EQ(alignmentNotices(r).size(), 2u);
}

// A stack whose every cell tells where it is: blue and green the column, red the row.
ImageStack coordinateStack(int w, int h, int count) {
    ImageStack s;
    s.lastColumn = std::int16_t(roundUp4(w) - 1);
    s.lastRow = std::int16_t(roundUp4(h) - 1);
    s.count = std::int16_t(count);
    for (int n = 0; n < count; ++n) {
        std::vector<std::uint8_t> cells(std::size_t(roundUp4(w)) * roundUp4(h) * 3, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* c = &cells[(std::size_t(y) * roundUp4(w) + x) * 3];
                c[0] = std::uint8_t(x);
                c[1] = std::uint8_t(x);
                c[2] = std::uint8_t(y);
            }
        s.pictures.push_back(std::move(cells));
        s.sizes.push_back({w, h});
    }
    return s;
}

struct AreaCase {
    DisplayArea area;
    FrameRect common;
    int W, H;        // montage size
    int left, bottom; // frame pixel (rows from the bottom) of montage pixel (0, 0)
};

class AlignedArea : public ::testing::TestWithParam<AreaCase> {};

TEST_P(AlignedArea, MontageShowsTheFramePixelsOfTheArea) {
    const AreaCase& c = GetParam();
    AlignmentReport r = threePictures();
    r.common = c.common;
    PixelArrays mp;
    mp.stack = coordinateStack(100, 80, 3);
    MontageGeometry g;
    g.W = 100;
    g.H = 80;
    ASSERT_EQ(applyAlignedArea(g, r, c.area), AreaOutcome::Ready);
    EXPECT_EQ(g.W, float(c.W));
    EXPECT_EQ(g.H, float(c.H));

    // The block loop, and Pyramid Focus, which gives identical pictures back within 1: both show
    // the same frame pixels.
    for (const bool pyramid : {false, true}) {
        if (pyramid) {
            const OffsetTable offsets{};
            PyramidFocusOptions o;
            o.geometry = &g;
            o.offsets = &offsets;
            o.increment = 10;
            runPyramidFocus(mp, o);
        } else {
            montageOfFilledStack(mp, g, 10);
        }
        const auto& slot = mp.montage.slot(100);
        for (int y = 0; y < c.H; ++y)
            for (int x = 0; x < c.W; ++x) {
                const std::uint8_t* cell = &slot[(std::size_t(y) * mp.montage.width() + x) * 3];
                ASSERT_NEAR(int(cell[0]), x + c.left, pyramid) << x << "," << y << (pyramid ? " pyramid" : "");
                ASSERT_NEAR(int(cell[2]), y + c.bottom, pyramid) << x << "," << y << (pyramid ? " pyramid" : "");
            }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Areas, AlignedArea,
    ::testing::Values(
        // Same and Maximum keep the reference frame.
        AreaCase{DisplayArea::Same, {7, 5, 83, 70}, 100, 80, 0, 0},
        AreaCase{DisplayArea::Maximum, {7, 5, 83, 70}, 100, 80, 0, 0},
        // Minimum: columns 7 to 86 and rows 5 to 72 from the top (sides cut to 80 x 68); the
        // montage's bottom row is frame row 72 from the top, 7 from the bottom.
        AreaCase{DisplayArea::Minimum, {7, 5, 83, 70}, 80, 68, 7, 7},
        AreaCase{DisplayArea::Minimum, {0, 0, 100, 80}, 100, 80, 0, 0}),
    [](const auto& info) {
        const DisplayArea a = info.param.area;
        return std::string(a == DisplayArea::Same ? "Same" : a == DisplayArea::Minimum ? "Minimum" : "Maximum") + "_" +
               std::to_string(info.index);
    });

TEST(AlignedArea, MinimumWithNothingInCommonChangesNothing) {
    AlignmentReport r = threePictures();
    r.common = FrameRect{10, 10, 3, 50}; // narrower than 4 pixels
    MontageGeometry g;
    g.W = 100;
    g.H = 80;
    g.shiftX = 5;
    EXPECT_EQ(applyAlignedArea(g, r, DisplayArea::Minimum), AreaOutcome::MinimumEmpty);
    EXPECT_EQ(g.W, 100.0f);
    EXPECT_EQ(g.shiftX, 5);
}

} // namespace
} // namespace orv
