// What Pyramid Focus must not invent: an aligned picture's repeated edge never takes part, flat
// ground is not made noisier than one picture, and the collapse stays within the values the
// pictures show around each pixel (no highlight clipped that no picture clips, no dark rim).
#include "fusion_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace orv;
using namespace orv::test;

namespace {

int hashByte(int x, int y, int salt) {
    std::uint32_t v = std::uint32_t(x) * 374761393u + std::uint32_t(y) * 668265263u + std::uint32_t(salt) * 2246822519u;
    v = (v ^ (v >> 13)) * 1274126177u;
    return int((v ^ (v >> 16)) & 0xff);
}

// Standard deviation of the green channel of `value` over columns x0 to x1 - 1 of every row.
double spread(const std::function<int(int, int)>& value, int x0, int x1, int H) {
    double s = 0, ss = 0, n = 0;
    for (int y = 0; y < H; ++y)
        for (int x = x0; x < x1; ++x) {
            const double v = value(x, y);
            s += v;
            ss += v * v;
            n += 1;
        }
    return std::sqrt(ss / n - (s / n) * (s / n));
}

// Two pictures, each sharp in one half, the left half `lift` levels brighter in both.
std::pair<Painter, Painter> liftedHalves(int W, int H, int lift) {
    const Painter blurred = blurredTexture(W, H, 3);
    auto lifted = [W, lift](Rgb c, int x) {
        if (x < W / 2) c = Rgb{std::min(255, c.r + lift), std::min(255, c.g + lift), std::min(255, c.b + lift)};
        return c;
    };
    const Painter leftSharp = [=](int x, int y) { return lifted(x < W / 2 ? texture(x, y) : blurred(x, y), x); };
    const Painter rightSharp = [=](int x, int y) { return lifted(x < W / 2 ? blurred(x, y) : texture(x, y), x); };
    return {leftSharp, rightSharp};
}

// The mean difference of the green channel between two montages of the same size, in levels.
double greenDifference(const Stack& a, const Stack& b, int W, int H) {
    double sum = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) sum += std::abs(a.at(x, y).g - b.at(x, y).g);
    return sum / (W * H);
}
double greenDifference(const DeepPicture& a, const DeepPicture& b) {
    double sum = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) sum += std::abs(int(a.at(x, y, 1)) - int(b.at(x, y, 1))) / 257.0;
    return sum / (a.width * a.height);
}

} // namespace

// Picture 2 was aligned onto the frame of picture 1 and holds pixels of its own only in the left
// half; the right half is its edge repeated, here hard stripes that outshine any real detail.
TEST(PyramidFocusCoverage, AnAlignedPicturesRepeatedEdgeNeverTakesPart) {
    const int W = 96, H = 64, own = 48;
    const Painter blurred = blurredTexture(W, H, 2);
    const Painter streaked = [&](int x, int y) {
        if (x < own) return blurred(x, y);
        return y % 2 ? Rgb{250, 250, 250} : Rgb{5, 5, 5};
    };
    Stack s(W, H, {Painter(texture), streaked});
    PyramidFocusOptions o;
    o.increment = 16;
    o.ownAreas = {OwnArea{{1, 0, 0, 0, 1, 0}, W, H, H}, OwnArea{{1, 0, 0, 0, 1, 0}, own, H, H}};
    const PyramidFocusResult r = s.fuse(o);
    EXPECT_LT(s.meanError(texture, own, W, 0, H), 0.5);
    for (int y = 0; y < H; ++y)
        for (int x = own; x < W; ++x) ASSERT_EQ(r.choices.at(x, y), 1) << x << "," << y;

    // Told nothing of picture 2's own pixels, the stripes take over.
    Stack unaware(W, H, {Painter(texture), streaked});
    PyramidFocusOptions plain;
    plain.increment = 16;
    unaware.fuse(plain);
    EXPECT_GT(unaware.meanError(texture, own, W, 0, H), 20.0);
}

// A turned own area covers a slanted part of each row: a frame pixel belongs to the picture
// exactly where the map takes it inside the picture.
TEST(PyramidFocusCoverage, ATurnedOwnAreaIsFollowedRowByRow) {
    const int W = 64, H = 48;
    const Painter stripes = [](int, int y) { return y % 2 ? Rgb{250, 250, 250} : Rgb{5, 5, 5}; };
    Stack s(W, H, {Painter(texture), stripes});
    PyramidFocusOptions o;
    o.increment = 16;
    // Picture 2's own pixels: frame column x + 0.5 * (frame row) - 40 within 0 to 63.
    o.ownAreas = {OwnArea{{1, 0, 0, 0, 1, 0}, W, H, H}, OwnArea{{1, 0.5, -40, 0, 1, 0}, W, H, H}};
    const PyramidFocusResult r = s.fuse(o);
    int chosen = 0;
    for (int y = 0; y < H; ++y) {
        const int frameRow = H - 1 - y;
        for (int x = 0; x < W; ++x) {
            if (r.choices.at(x, y) != 2) continue;
            ++chosen;
            const double px = x + 0.5 * frameRow - 40;
            ASSERT_GE(px, -1e-9) << "picture 2 chosen outside its own pixels at " << x << "," << y;
        }
    }
    EXPECT_GT(chosen, W * H / 4); // the stripes win where they are the picture's own
    EXPECT_LT(s.meanError(texture, 0, 16, H / 2, H), 0.5); // the top left lies outside picture 2
}

// Six pictures of the same flat grey, each with its own noise, and on the right a texture sharp
// in picture 1 only: the flat part comes out quieter than any one picture, the texture stays sharp.
TEST(PyramidFocusNoise, FlatGroundTakesTheAverageAndDetailTheSharpPicture) {
    const int W = 128, H = 64, flat = 64;
    const Painter blurred = blurredTexture(W, H, 3);
    std::vector<Painter> painters;
    for (int k = 1; k <= 6; ++k)
        painters.push_back([&, k](int x, int y) {
            if (x < flat) {
                const int v = 100 + (hashByte(x, y, k) - 128) / 16; // about +-8, standard deviation 4.6
                return Rgb{v, v, v};
            }
            return k == 1 ? texture(x, y) : blurred(x, y);
        });
    Stack s(W, H, painters);
    PyramidFocusOptions o;
    o.increment = 16;
    s.fuse(o);
    const double one = spread([&](int x, int y) { return s.picture(1, x, y).g; }, 4, flat - 8, H);
    const double fused = spread([&](int x, int y) { return s.at(x, y).g; }, 4, flat - 8, H);
    EXPECT_LT(fused, 0.8 * one) << "one picture " << one << ", montage " << fused;
    EXPECT_LT(s.meanError(texture, flat + 8, W, 0, H), 0.5);
}

struct RangeCase {
    const char* name;
    int brightness; // added to the texture of the left half, clipped at 255
};

void PrintTo(const RangeCase& c, std::ostream* os) { *os << c.name; }

class PyramidFocusRange : public ::testing::TestWithParam<RangeCase> {};

// Each half is sharp in one picture; the left half is brighter. Wherever the choice changes the
// collapse would overshoot past the brighter and below the darker neighbour; every value stays
// within the lowest and highest value the pictures show within one pixel, and no more pixels are
// clipped to white than the brightest picture clips.
TEST_P(PyramidFocusRange, CollapseStaysWithinThePicturesValuesAround) {
    const int W = 96, H = 64;
    const auto [leftSharp, rightSharp] = liftedHalves(W, H, GetParam().brightness);
    Stack s(W, H, {leftSharp, rightSharp});
    PyramidFocusOptions o;
    o.increment = 16;
    s.fuse(o);
    int whiteMontage = 0, whitePictures = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            Rgb lo{255, 255, 255}, hi{0, 0, 0};
            for (int n = 1; n <= 2; ++n)
                for (int j = std::max(0, y - 1); j <= std::min(H - 1, y + 1); ++j)
                    for (int i = std::max(0, x - 1); i <= std::min(W - 1, x + 1); ++i) {
                        const Rgb c = s.picture(n, i, j);
                        lo = Rgb{std::min(lo.r, c.r), std::min(lo.g, c.g), std::min(lo.b, c.b)};
                        hi = Rgb{std::max(hi.r, c.r), std::max(hi.g, c.g), std::max(hi.b, c.b)};
                    }
            const Rgb m = s.at(x, y);
            ASSERT_TRUE(m.r >= lo.r && m.g >= lo.g && m.b >= lo.b) << x << "," << y;
            ASSERT_TRUE(m.r <= hi.r && m.g <= hi.g && m.b <= hi.b) << x << "," << y;
            whiteMontage += m.r == 255;
            whitePictures += std::max(s.picture(1, x, y).r, s.picture(2, x, y).r) == 255;
        }
    EXPECT_LE(whiteMontage, whitePictures);
}

// A frame taken dark among them does not lower the bound: the montage stays within what the other
// pictures show around each pixel, at 8 bits and at full depth.
TEST(PyramidFocusRange, AFrameTakenDarkDoesNotOpenTheRangeToBlack) {
    const int W = 96, H = 64;
    const auto [leftSharp, rightSharp] = liftedHalves(W, H, 40);
    const Painter dark = [](int, int) { return Rgb{2, 2, 2}; };
    Stack s(W, H, {leftSharp, dark, rightSharp});
    std::vector<DeepPicture> deep;
    for (int n = 1; n <= 3; ++n) deep.push_back(deepOf(s, n, W, H, unsigned(n)));
    PyramidFocusOptions o;
    o.increment = 16;
    o.deepPictures = {&deep[0], &deep[1], &deep[2]};
    const PyramidFocusResult r = s.fuse(o);
    ASSERT_TRUE(r.deep);
    int below = 0, deepBelow = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int lo = 255;
            for (int n : {1, 3})
                for (int j = std::max(0, y - 1); j <= std::min(H - 1, y + 1); ++j)
                    for (int i = std::max(0, x - 1); i <= std::min(W - 1, x + 1); ++i) lo = std::min(lo, s.picture(n, i, j).g);
            below += s.at(x, y).g < lo;
            deepBelow += r.deep->at(x, H - 1 - y, 1) < lo * 257 - 128;
        }
    EXPECT_EQ(below, 0);
    EXPECT_EQ(deepBelow, 0);
}

INSTANTIATE_TEST_SUITE_P(Brightness, PyramidFocusRange,
                         ::testing::Values(RangeCase{"even", 0}, RangeCase{"near_white", 40}, RangeCase{"clipping", 70}),
                         [](const auto& info) { return std::string(info.param.name); });

// A frame taken dark (a flash that did not fire, a cap left on) among the focus steps: its top
// level would darken the whole montage by a share of its own. Left out of the top level, the
// montage keeps the others' brightness, at 8 bits and at full depth; the picture's detail still
// counts where it has any (here none), and a series that is merely a little darker or brighter
// from step to step keeps every picture's top level.
TEST(PyramidFocusBrightness, AFrameTakenDarkDoesNotDarkenTheMontage) {
    const int W = 96, H = 64;
    const auto [sharp, soft, left, right] = splitScene(W, H, W / 2);
    const Painter dark = [](int, int) { return Rgb{2, 2, 2}; };
    auto meanGreen = [&](const std::function<int(int, int)>& value) {
        double sum = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) sum += value(x, y);
        return sum / (W * H);
    };
    Stack without(W, H, {left, soft, right}), with(W, H, {left, dark, soft, right});
    std::vector<DeepPicture> deepWithout, deepWith;
    for (int n = 1; n <= 3; ++n) deepWithout.push_back(deepOf(without, n, W, H, unsigned(n)));
    for (int n = 1; n <= 4; ++n) deepWith.push_back(deepOf(with, n, W, H, unsigned(n)));
    PyramidFocusOptions o;
    o.increment = 16;
    o.deepPictures = {&deepWithout[0], &deepWithout[1], &deepWithout[2]};
    const PyramidFocusResult a = without.fuse(o);
    o.deepPictures = {&deepWith[0], &deepWith[1], &deepWith[2], &deepWith[3]};
    const PyramidFocusResult b = with.fuse(o);
    const double expected = meanGreen([&](int x, int y) { return without.at(x, y).g; });
    const double got = meanGreen([&](int x, int y) { return with.at(x, y).g; });
    EXPECT_NEAR(got, expected, 1.5) << "a quarter darker would be " << expected * 0.75;
    ASSERT_TRUE(a.deep && b.deep);
    const double deepExpected = meanGreen([&](int x, int y) { return a.deep->at(x, H - 1 - y, 1) / 257; });
    const double deepGot = meanGreen([&](int x, int y) { return b.deep->at(x, H - 1 - y, 1) / 257; });
    EXPECT_NEAR(deepGot, deepExpected, 1.5);

    EXPECT_TRUE(b.evened.empty()) << "a frame taken dark is not brightened";
    // Nor does it widen the range the collapse is kept within, nor take a share of the average on
    // flat ground: pixel by pixel the montage is the one made without it.
    EXPECT_LT(greenDifference(with, without, W, H), 0.25);
    EXPECT_LT(greenDifference(*a.deep, *b.deep), 0.25);

    // A step a fifth darker than the others still takes part: it is evened out onto their
    // brightness instead of being left out.
    const Painter dimmer = [&](int x, int y) {
        const Rgb c = soft(x, y);
        return Rgb{c.r * 4 / 5, c.g * 4 / 5, c.b * 4 / 5};
    };
    Stack graded(W, H, {left, dimmer, right});
    o.deepPictures.clear();
    const PyramidFocusResult g = graded.fuse(o);
    ASSERT_EQ(g.evened.size(), 1u);
    EXPECT_EQ(g.evened[0].picture, 2);
    EXPECT_NEAR(g.evened[0].gain, 1.25, 0.03);
    EXPECT_NEAR(meanGreen([&](int x, int y) { return graded.at(x, y).g; }), expected, 1.5);
}

// A series of two whose second frame has no detail at all (the cap left on, or a flash that burnt it
// out white), in either order: with two pictures the median brightness lies halfway between them,
// so the blank frame kept its share of the top level and the other picture was evened towards it:
// the montage came out a quarter as bright (or half as bright again). The blank frame sets nothing;
// the montage is the other picture, at 8 bits and at full depth.
TEST(PyramidFocusBrightness, ABlankFrameInASeriesOfTwoLeavesTheOtherAsItIs) {
    const int W = 64, H = 48;
    const auto [sharp, soft, left, right] = splitScene(W, H, W / 2);
    for (const Rgb blank : {Rgb{0, 0, 0}, Rgb{255, 255, 255}})
        for (const bool blankFirst : {false, true}) {
            SCOPED_TRACE(testing::Message() << "blank " << blank.g << (blankFirst ? " first" : " second"));
            const Painter none = [blank](int, int) { return blank; };
            Stack s(W, H, blankFirst ? std::vector<Painter>{none, left} : std::vector<Painter>{left, none});
            const int real = blankFirst ? 2 : 1;
            std::vector<DeepPicture> deep;
            for (int n = 1; n <= 2; ++n) deep.push_back(deepOf(s, n, W, H, unsigned(n)));
            PyramidFocusOptions o;
            o.increment = 16;
            o.deepPictures = {&deep[0], &deep[1]};
            const PyramidFocusResult r = s.fuse(o);
            EXPECT_TRUE(r.evened.empty());
            double difference = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) difference += std::abs(s.at(x, y).g - s.picture(real, x, y).g);
            EXPECT_LT(difference / (W * H), 0.25);
            ASSERT_TRUE(r.deep);
            EXPECT_LT(greenDifference(*r.deep, deep[std::size_t(real - 1)]), 0.25);
        }
}

// A frame taken with the cap on, or burnt out white, carries sensor noise: detail at every pixel.
// In a series of two it set the series' light halfway to black or white and the real picture was
// evened down or up to it (a montage of a third of its brightness); among more pictures its noise
// won on flat ground. It takes no part: the montage is the one made with it ignored, and in a
// series of two that is the real picture itself.
TEST(PyramidFocusBrightness, ANoisyBlankFrameTakesNoPart) {
    // Large enough for a level of at most 160 pixels a side to average the noise away.
    const int W = 200, H = 150;
    const auto [sharp, soft, left, right] = splitScene(W, H, W / 2);
    for (const int level : {6, 249}) {
        // Noise of up to 4 levels either way, each channel its own.
        const Painter blank = [level](int x, int y) {
            auto v = [&](int salt) { return std::clamp(level + hashByte(x, y, salt) % 9 - 4, 0, 255); };
            return Rgb{v(7), v(8), v(9)};
        };
        for (const auto& [name, painters, frame] :
             {std::tuple{"second of two", std::vector<Painter>{left, blank}, 2},
              std::tuple{"first of two", std::vector<Painter>{blank, left}, 1},
              std::tuple{"middle of three", std::vector<Painter>{left, blank, right}, 2}}) {
            SCOPED_TRACE(testing::Message() << "frame at " << level << ", " << name);
            Stack s(W, H, painters);
            std::vector<DeepPicture> deep;
            std::vector<const DeepPicture*> pointers;
            for (int n = 1; n <= int(painters.size()); ++n) deep.push_back(deepOf(s, n, W, H, unsigned(n)));
            for (const DeepPicture& d : deep) pointers.push_back(&d);
            PyramidFocusOptions o;
            o.increment = 16;
            o.deepPictures = pointers;
            const PyramidFocusResult r = s.fuse(o);
            EXPECT_TRUE(r.evened.empty());
            // The run says which frame it left out.
            EXPECT_EQ(r.leftOut, std::vector<int>{frame});
            Stack without(W, H, painters);
            o.ignored[std::size_t(frame - 1)] = true;
            const PyramidFocusResult ignored = without.fuse(o);
            EXPECT_TRUE(ignored.leftOut.empty());
            EXPECT_EQ(s.mp.montage.slot(100), without.mp.montage.slot(100));
            EXPECT_EQ(r.map, ignored.map);
            ASSERT_TRUE(r.deep && ignored.deep);
            EXPECT_EQ(r.deep->samples, ignored.deep->samples);
            if (painters.size() == 2) {
                const int real = 3 - frame;
                EXPECT_LT(greenDifference(*r.deep, deep[std::size_t(real - 1)]), 0.25);
            }
        }
    }
}

// A series of two sizes: picture 2 is a part of picture 1's scene (the same pixels, the bright
// corner of a scene lit from there), so nothing about its light differs. Measured over the part it
// covers against picture 1 measured over the whole, it was said to be a third brighter than the
// series and darkened by that gain, and the montage with it wherever it was chosen. Measured where
// both cover the montage, neither is evened and the montage keeps picture 1's brightness.
TEST(PyramidFocusBrightness, APictureCoveringPartOfTheSceneIsJudgedOnThatPart) {
    const int W = 96, H = 64, W2 = 48, H2 = 32;
    const Painter sharp(texture);
    const Painter soft = blurredTexture(W, H, 3);
    // Lit from the bottom-left corner (rows counted from the bottom).
    auto lit = [W, H](const Painter& p) {
        return Painter([=](int x, int y) {
            const Rgb c = p(x, y);
            const double k = 0.35 + 0.65 * (1 - double(x) / W) * (1 - double(y) / H);
            auto v = [k](int value) { return int(std::lround(value * k)); };
            return Rgb{v(c.r), v(c.g), v(c.b)};
        });
    };
    const Painter first = lit([&](int x, int y) { return x < W / 4 ? sharp(x, y) : soft(x, y); });
    const Painter part = lit([&](int x, int y) { return x >= W / 4 ? sharp(x, y) : soft(x, y); });
    Series series;
    addPainted(series, W, H, first);
    addPainted(series, W2, H2, part);
    PixelArrays mp;
    series.fill(mp, W, H);
    MontageGeometry g;
    g.W = W;
    g.H = H;
    OffsetTable offsets{};
    PyramidFocusOptions o;
    o.geometry = &g;
    o.offsets = &offsets;
    o.increment = 16;
    const PyramidFocusResult r = runPyramidFocus(mp, o);
    EXPECT_TRUE(r.evened.empty()) << "picture " << r.evened.front().picture << " evened by " << r.evened.front().gain;
    // Where picture 2 lies, away from its edge, the montage is as bright as the scene.
    double got = 0, scene = 0;
    for (int y = 0; y < H2 - 4; ++y)
        for (int x = 0; x < W2 - 4; ++x) {
            got += mp.pointGreen(x, y, 100);
            scene += first(x, y).g;
        }
    EXPECT_NEAR(got / scene, 1.0, 0.02);
}

// A flash that gave more light for one step: its contrast is larger, so the pyramid would take its
// coefficients wherever the pictures are close in sharpness and patch the montage with its
// brightness. Evened out, the montage is the one the steps taken alike give, at 8 bits and at full
// depth, and the run says which picture it evened; steps within 1.5 % are used as they are.
TEST(PyramidFocusBrightness, AStepTakenBrighterIsEvenedOut) {
    const int W = 96, H = 64;
    const auto [sharp, soft, left, right] = splitScene(W, H, W / 2);
    auto scaled = [](const Painter& p, int percent) {
        return Painter([p, percent](int x, int y) {
            const Rgb c = p(x, y);
            auto v = [&](int value) { return std::min(255, (value * percent + 50) / 100); };
            return Rgb{v(c.r), v(c.g), v(c.b)};
        });
    };
    Stack alike(W, H, {left, soft, right}), flash(W, H, {left, soft, scaled(right, 118)});
    std::vector<DeepPicture> deepAlike, deepFlash;
    for (int n = 1; n <= 3; ++n) {
        deepAlike.push_back(deepOf(alike, n, W, H, unsigned(n)));
        deepFlash.push_back(deepOf(flash, n, W, H, unsigned(n)));
    }
    PyramidFocusOptions o;
    o.increment = 16;
    o.deepPictures = {&deepAlike[0], &deepAlike[1], &deepAlike[2]};
    const PyramidFocusResult a = alike.fuse(o);
    o.deepPictures = {&deepFlash[0], &deepFlash[1], &deepFlash[2]};
    // The choices are made again from the evened pictures; the bar never goes back for it.
    std::vector<std::pair<int, int>> progress;
    o.onProgress = [&](int done, int steps) { progress.emplace_back(done, steps); };
    const PyramidFocusResult b = flash.fuse(o);
    o.onProgress = nullptr;
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_GE(double(progress[i].first) / progress[i].second, double(progress[i - 1].first) / progress[i - 1].second) << i;
    EXPECT_EQ(progress.back().first, progress.back().second);
    EXPECT_LT(greenDifference(alike, flash, W, H), 1.5);
    EXPECT_TRUE(a.evened.empty());
    ASSERT_EQ(b.evened.size(), 1u);
    EXPECT_EQ(b.evened[0].picture, 3);
    EXPECT_EQ(evenedNote(b.evened[0]), "image 3 is 18 % brighter than the series and is evened out");
    ASSERT_TRUE(a.deep && b.deep);
    EXPECT_LT(greenDifference(*a.deep, *b.deep), 1.5);

    // Steps 1 % apart are used as they are.
    Stack close(W, H, {left, soft, scaled(right, 101)});
    o.deepPictures.clear();
    EXPECT_TRUE(close.fuse(o).evened.empty());
}

TEST(PyramidFocusBrightness, GainsAreTakenAgainstTheMiddleOrTheMedian) {
    // Brightness by picture number (index 0 unused).
    const std::vector<double> b{0, 100, 101, 80, 130, 100, 40, 210};
    const std::vector<EvenedPicture> g = brightnessGains({1, 2, 3, 4, 5, 6, 7}, b);
    // The middle picture (4) lies 30 % from the median, 100, which is then the series' light:
    // picture 2 lies within the tolerance; 6 would need a gain of 2.5 and 7 one of 0.476, beyond
    // the limits, and are used as they are.
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0].picture, 3);
    EXPECT_DOUBLE_EQ(g[0].gain, 1.25);
    EXPECT_EQ(g[1].picture, 4);
    EXPECT_NEAR(g[1].gain, 100.0 / 130, 1e-12);
    EXPECT_EQ(evenedNote(g[0]), "image 3 is 20 % darker than the series and is evened out");
    // A drift: the middle picture, within 5 % of the median, gives the light, as colour matching
    // takes it, and every step more than 1.5 % from it is evened.
    const std::vector<double> drift{0, 88, 91, 94, 97, 100, 103, 106, 109, 112, 115};
    const std::vector<EvenedPicture> d = brightnessGains({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, drift);
    ASSERT_EQ(d.size(), 9u);
    EXPECT_EQ(d[3].picture, 4);
    EXPECT_NEAR(d[3].gain, 100.0 / 97, 1e-12);
    EXPECT_EQ(d[4].picture, 6);
    EXPECT_NEAR(d[4].gain, 100.0 / 103, 1e-12);
    // Pictures left out of the list neither count in the median nor are evened; one alone, nothing.
    EXPECT_TRUE(brightnessGains({3}, b).empty());
    const std::vector<EvenedPicture> pair = brightnessGains({1, 4}, b);
    ASSERT_EQ(pair.size(), 2u); // the median of two lies between them
    EXPECT_NEAR(pair[0].gain, 1.15, 1e-12);
    // The notes go before the increment line of the properties.
    EXPECT_EQ(withEvenedLines("  Montage method used =5 (Pyramid Focus)\r\n  Increment size =20\r\n", {g[1]}),
              "  Montage method used =5 (Pyramid Focus)\r\n"
              "  Note: image 4 is 30 % brighter than the series and is evened out\r\n"
              "  Increment size =20\r\n");
    // A frame left out is said so in the same place, before the evened ones.
    EXPECT_EQ(withEvenedLines("  Montage method used =5 (Pyramid Focus)\r\n  Increment size =20\r\n", {g[1]}, {3}),
              "  Montage method used =5 (Pyramid Focus)\r\n"
              "  Note: image 3 has no detail and was left out\r\n"
              "  Note: image 4 is 30 % brighter than the series and is evened out\r\n"
              "  Increment size =20\r\n");
    EXPECT_EQ(withEvenedLines("  Increment size =20\r\n", {}, {2, 5}),
              "  Note: image 2 has no detail and was left out\r\n"
              "  Note: image 5 has no detail and was left out\r\n"
              "  Increment size =20\r\n");
}

// A picture framed in black (a border added around it, a hood or adapter cutting the corners):
// measured over the whole montage it was judged darker by the border's share, said to be far
// darker than the series and brightened by that gain, and the montage with it wherever it was
// chosen. Its light is measured where the pictures agree on what is black: a framed picture of the
// series' light is used as it is, and a framed picture taken a fifth darker is evened by the gain
// it was taken with.
TEST(PyramidFocusBrightness, APictureFramedInBlackIsJudgedOnItsPicture) {
    const int W = 128, H = 96, border = 12;
    const auto [sharp, soft, left, right] = splitScene(W, H, W / 2);
    const auto framed = [&](int percent) {
        return Painter([&, percent](int x, int y) {
            if (x < border || y < border || x >= W - border || y >= H - border) return Rgb{0, 0, 0};
            const Rgb c = soft(x, y);
            auto v = [&](int value) { return std::min(255, (value * percent + 50) / 100); };
            return Rgb{v(c.r), v(c.g), v(c.b)};
        });
    };
    Stack plain(W, H, {left, soft, right});
    PyramidFocusOptions o;
    o.increment = 16;
    ASSERT_TRUE(plain.fuse(o).evened.empty());
    for (const int percent : {100, 80}) {
        SCOPED_TRACE(testing::Message() << "framed picture at " << percent << " %");
        Stack s(W, H, {left, framed(percent), right});
        const PyramidFocusResult r = s.fuse(o);
        if (percent == 100) {
            EXPECT_TRUE(r.evened.empty()) << "picture " << r.evened.front().picture << " evened by " << r.evened.front().gain;
        } else {
            ASSERT_EQ(r.evened.size(), 1u);
            EXPECT_EQ(r.evened[0].picture, 2);
            EXPECT_NEAR(r.evened[0].gain, 1.25, 0.03);
        }
        // Inside the frame the montage is about as bright as the one made without it (the frame's
        // edge itself leaves a few levels on the coarse levels there; evened by the border's share,
        // the montage came out 30 levels brighter).
        double got = 0, expected = 0;
        for (int y = 2 * border; y < H - 2 * border; ++y)
            for (int x = 2 * border; x < W - 2 * border; ++x) {
                got += s.at(x, y).g;
                expected += plain.at(x, y).g;
            }
        const double pixels = (W - 4 * border) * (H - 4 * border);
        EXPECT_NEAR(got / pixels, expected / pixels, 8.0);
    }
}
