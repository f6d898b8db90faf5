// The picture box's unit conversions on their own: twips per pixel from the resolution, units
// per pixel for each scale mode, lengths between modes and coordinates between units and pixels.
#include "control_error.h"
#include "scale_units.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using vantler::ScaleAxis;

int errorOf(auto&& f) {
    try {
        f();
    } catch (const vantler::VantlerError& e) {
        return e.number();
    }
    return 0;
}

ScaleAxis across(int tpp, int pixels = 97, double userExtent = 0) { return {true, tpp, pixels, userExtent}; }
ScaleAxis down(int tpp, int pixels = 113, double userExtent = 0) { return {false, tpp, pixels, userExtent}; }

}  // namespace

TEST(TwipsPerPixel, IsRoundedAndNeverBelowOne) {
    EXPECT_EQ(vantler::twipsPerPixel(96), 15);
    EXPECT_EQ(vantler::twipsPerPixel(120), 12);
    EXPECT_EQ(vantler::twipsPerPixel(100), 14) << "14.4 rounds down";
    EXPECT_EQ(vantler::twipsPerPixel(110), 13) << "13.09 rounds down";
    EXPECT_EQ(vantler::twipsPerPixel(2000), 1);
    EXPECT_EQ(vantler::twipsPerPixel(4000), 1) << "0.36 would round to 0";
}

struct ScaleCase {
    const char* name;
    float value;
    int from;
    int to;
    bool horizontal;
    double expectedAt15;  // at 96 dpi
    double expectedAt12;  // at 120 dpi
    friend std::ostream& operator<<(std::ostream& o, const ScaleCase& c) { return o << c.name; }
};

class ScaleConversion : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleConversion, ConvertsBetweenUnits) {
    const ScaleCase& c = GetParam();
    for (const auto& [tpp, expected] : {std::pair{15, c.expectedAt15}, std::pair{12, c.expectedAt12}}) {
        const ScaleAxis axis = c.horizontal ? across(tpp) : down(tpp);
        EXPECT_NEAR(vantler::convertLength(c.value, c.from, c.to, axis), expected, 1e-3) << tpp << " twips a pixel";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Units, ScaleConversion,
    ::testing::Values(ScaleCase{"TwipsToInches", 2880, vantler::vbTwips, vantler::vbInches, true, 2.0, 2.0},
                      ScaleCase{"InchToPixels", 1, vantler::vbInches, vantler::vbPixels, true, 96.0, 120.0},
                      ScaleCase{"HimetricToMillimetres", 2540, vantler::vbHimetric, vantler::vbMillimeters, true,
                                25.4, 25.4},
                      ScaleCase{"CharacterWidthToTwips", 1, vantler::vbCharacters, vantler::vbTwips, true, 120.0,
                                120.0},
                      ScaleCase{"CharacterHeightToTwips", 1, vantler::vbCharacters, vantler::vbTwips, false, 240.0,
                                240.0},
                      ScaleCase{"PointsToTwips", 3, vantler::vbPoints, vantler::vbTwips, true, 60.0, 60.0},
                      ScaleCase{"CentimetreToTwips", 2.54f, vantler::vbCentimeters, vantler::vbTwips, true, 1440.0,
                                1440.0},
                      ScaleCase{"PixelsToTwips", 10, vantler::vbPixels, vantler::vbTwips, false, 150.0, 120.0},
                      ScaleCase{"ContainerUnitsAreTwips", 300, vantler::vbContainerSize, vantler::vbPixels, true,
                                20.0, 25.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UserScale, SpreadsTheUserExtentOverTheDrawingArea) {
    EXPECT_DOUBLE_EQ(vantler::unitsPerPixel(vantler::vbUser, across(15, 100, 10.0)), 0.1);
    EXPECT_DOUBLE_EQ(vantler::unitsPerPixel(vantler::vbUser, down(15, 50, -200.0)), -4.0)
        << "a negative extent runs the axis the other way";
    EXPECT_FLOAT_EQ(vantler::convertLength(25, vantler::vbPixels, vantler::vbUser, across(15, 100, 10.0)), 2.5f);
}

TEST(UserScale, CountsOneUnitAPixelWhileTheAreaOrTheExtentIsEmpty) {
    EXPECT_DOUBLE_EQ(vantler::unitsPerPixel(vantler::vbUser, across(15, 0, 10.0)), 1.0);
    EXPECT_DOUBLE_EQ(vantler::unitsPerPixel(vantler::vbUser, across(15, 100, 0.0)), 1.0);
}

TEST(ScaleModes, OutsideZeroToTenAreError5) {
    EXPECT_EQ(errorOf([] { return vantler::unitsPerPixel(11, across(15)); }), vantler::errInvalidProcedureCall);
    EXPECT_EQ(errorOf([] { return vantler::unitsPerPixel(-1, across(15)); }), vantler::errInvalidProcedureCall);
    EXPECT_EQ(errorOf([] { return vantler::convertLength(1, vantler::vbTwips, 12, across(15)); }),
              vantler::errInvalidProcedureCall);
}

TEST(Coordinates, CountFromTheOriginAndComeBackUnchanged) {
    // A user scale from -50 to 50 over 200 pixels: half a unit a pixel.
    const double upp = 0.5;
    EXPECT_DOUBLE_EQ(vantler::unitToPixel(-50, -50, upp), 0.0);
    EXPECT_DOUBLE_EQ(vantler::unitToPixel(0, -50, upp), 100.0);
    EXPECT_DOUBLE_EQ(vantler::unitToPixel(-60, -50, upp), -20.0) << "left of the area";
    EXPECT_FLOAT_EQ(vantler::pixelToUnit(100.0, -50, upp), 0.0f);
    for (const float unit : {-50.0f, -12.25f, 0.0f, 49.5f})
        EXPECT_FLOAT_EQ(vantler::pixelToUnit(vantler::unitToPixel(unit, -50, upp), -50, upp), unit);
}
