// Aligning generated series with known moves: the maps read back within 0.1 % of scale,
// 0.05 degrees and 0.3 pixels, the montage of the aligned stack as good as that of registered
// pictures, a series without any move left as loaded, pictures beyond one far out of focus placed
// as they moved, and the colours of drifting pictures matched.
// What happens to ignored, unmatchable, single, cut and turned pictures is in align_stack_test.cpp.
#include "align_fixtures.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace orv::test {
namespace {

// Picture `p` converged and was placed within 0.1 % of scale, 0.05 degrees and 0.3 pixels of the
// move `t` it was made with.
void expectRecovered(const PictureAlignment& p, const sample::PictureTransform& t) {
    EXPECT_TRUE(p.converged);
    EXPECT_NEAR(p.similarity.scale / t.scale, 1.0, 0.001);
    EXPECT_NEAR(p.similarity.rotation, t.rotation, 0.05);
    EXPECT_NEAR(p.similarity.shiftX, t.shiftX, 0.3);
    EXPECT_NEAR(p.similarity.shiftY, t.shiftY, 0.3);
}

struct RecoveryCase {
    const char* name;
    int width, height, count;
    double scaleStep, rotationStep, shiftX, shiftY;
};

void PrintTo(const RecoveryCase& c, std::ostream* os) { *os << c.name; }

class Recovery : public ::testing::TestWithParam<RecoveryCase> {};

TEST_P(Recovery, MapsReadBackAsMade) {
    const RecoveryCase& c = GetParam();
    const auto moves = steppedMoves(c.count, c.scaleStep, c.rotationStep, c.shiftX, c.shiftY);
    sample::SeriesOptions o{c.width, c.height, c.count, 3, marginFor(moves, c.width, c.height),
                            sample::Scene::Natural};
    const sample::SeriesMaker maker(o);
    ImageStack stack = movedSeries(maker, moves);
    const AlignmentReport r = alignStack(stack, AlignOptions{});

    EXPECT_EQ(r.reference, sample::middlePicture(c.count));
    EXPECT_EQ(r.notConverged(), 0);
    for (const PictureAlignment& p : r.pictures) {
        const auto& t = moves[std::size_t(p.picture - 1)];
        SCOPED_TRACE("picture " + std::to_string(p.picture));
        expectRecovered(p, t);
        EXPECT_EQ(stack.sizes[std::size_t(p.picture - 1)], (std::array<int, 2>{c.width, c.height}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Series, Recovery,
    ::testing::Values(
        // Focus breathing with a little turn and drift, as on a rail.
        RecoveryCase{"breathing_7", 800, 600, 7, 0.01, 0.1, 2.5, 1.5},
        // Shrinking content, turning the other way, pictures not a multiple of 4 wide.
        RecoveryCase{"shrinking_5", 642, 481, 5, -0.015, -0.2, -3.0, 2.0},
        // Larger than the working copies: the maps are measured on shrunk pictures.
        RecoveryCase{"shrunk_copies_6", 1280, 960, 6, 0.012, 0.05, 4.0, -3.0},
        // Hand-held: no breathing, larger shifts and turns.
        RecoveryCase{"hand_held_4", 640, 480, 4, 0.0, 0.4, -6.0, -5.0},
        // A macro lens breathing 5 and 10 % a focus step.
        RecoveryCase{"macro_breathing_5", 640, 480, 5, 0.05, 0.1, 2.0, 1.0},
        RecoveryCase{"macro_breathing_3", 640, 480, 3, -0.10, 0.0, 0.0, 0.0},
        // A knocked tripod or a slipped specimen: a fifth of the width a step, with a turn.
        RecoveryCase{"large_shifts_5", 480, 360, 5, 0.01, 0.5, 96.0, -30.0}),
    [](const auto& info) { return std::string(info.param.name); });

// Moves made by hand, without the generator, read back with the documented signs: the map
// takes the picture onto the reference, so content that sits right of and above its place in the
// reference is shifted left and down, content turned clockwise is turned back anticlockwise
// (negative), and content that looks 2 % larger is scaled by 1 / 1.02.
struct HandMove {
    const char* name;
    double magnify, clockwiseDegrees, right, up; // how the content looks in the picture
    double scale, rotation, shiftX, shiftY;      // what the alignment must report
};

void PrintTo(const HandMove& c, std::ostream* os) { *os << c.name; }

class DocumentedSigns : public ::testing::TestWithParam<HandMove> {};

// The reference with its content seen moved by `m`: the point at p in the reference lies at
// c + magnify * R(clockwise) (p - c) + (right, -up) in the picture, rows from the top.
sample::Picture moveByHand(const sample::Picture& ref, const HandMove& m) {
    sample::Picture out = ref;
    const int W = ref.width, H = ref.height, RW = roundUp4(W);
    const double cx = (W - 1) / 2.0, cy = (H - 1) / 2.0, a = std::acos(-1.0) * m.clockwiseDegrees / 180;
    auto at = [&](int x, int yTop, int ch) {
        x = std::clamp(x, 0, W - 1);
        yTop = std::clamp(yTop, 0, H - 1);
        return double(ref.cells[(std::size_t(H - 1 - yTop) * RW + x) * 3 + ch]);
    };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            // Invert the move: where in the reference does picture pixel (x, y) come from?
            const double qx = x - m.right - cx, qy = y + m.up - cy;
            const double rx = (std::cos(a) * qx + std::sin(a) * qy) / m.magnify + cx;
            const double ry = (-std::sin(a) * qx + std::cos(a) * qy) / m.magnify + cy;
            const int ix = int(std::floor(rx)), iy = int(std::floor(ry));
            const double fx = rx - ix, fy = ry - iy;
            for (int ch = 0; ch < 3; ++ch) {
                const double v = (at(ix, iy, ch) * (1 - fx) + at(ix + 1, iy, ch) * fx) * (1 - fy) +
                                 (at(ix, iy + 1, ch) * (1 - fx) + at(ix + 1, iy + 1, ch) * fx) * fy;
                out.cells[(std::size_t(H - 1 - y) * RW + x) * 3 + ch] = std::uint8_t(std::lround(v));
            }
        }
    return out;
}

TEST_P(DocumentedSigns, HandMadeMoveReadsBack) {
    const HandMove& m = GetParam();
    sample::SeriesOptions o{480, 360, 1, 5, 0, sample::Scene::Natural};
    const sample::Picture ref = sample::SeriesMaker(o).picture(1);
    ImageStack stack = stackOf({ref, moveByHand(ref, m)});
    const AlignmentReport r = alignStack(stack, AlignOptions{});
    ASSERT_EQ(r.reference, 1);
    const PictureAlignment& p = r.pictures[1];
    ASSERT_TRUE(p.converged);
    EXPECT_NEAR(p.similarity.scale, m.scale, 0.0005);
    EXPECT_NEAR(p.similarity.rotation, m.rotation, 0.03);
    EXPECT_NEAR(p.similarity.shiftX, m.shiftX, 0.15);
    EXPECT_NEAR(p.similarity.shiftY, m.shiftY, 0.15);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, DocumentedSigns,
    ::testing::Values(HandMove{"right_and_up", 1, 0, 5, 3, 1, 0, -5, 3},
                      HandMove{"turned_clockwise", 1, 1.0, 0, 0, 1, -1.0, 0, 0},
                      HandMove{"magnified", 1.02, 0, 0, 0, 1 / 1.02, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Registered and moved versions of one series, for the montage comparisons.
struct TwoSeries {
    std::vector<sample::PictureTransform> moves;
    sample::SeriesMaker maker;
    TwoSeries(int w, int h, int count, double scaleStep, double rotationStep, double sx, double sy)
        : moves(steppedMoves(count, scaleStep, rotationStep, sx, sy)),
          maker(sample::SeriesOptions{w, h, count, 7, marginFor(moves, w, h), sample::Scene::Natural}) {}
    ImageStack registered() const { return movedSeries(maker, std::vector<sample::PictureTransform>(moves.size())); }
    ImageStack moved() const { return movedSeries(maker, moves); }
};

TEST(AlignedMontage, AsGoodAsFromRegisteredPictures) {
    const TwoSeries s(720, 540, 7, 0.012, 0.15, 3.0, 2.0);
    const sample::Picture truth = s.maker.truth();

    ImageStack moved = s.moved();
    const double unaligned = psnr(montageOf(moved), 0, 0, truth, FrameRect{40, 40, 640, 460});
    const AlignmentReport r = alignStack(moved, AlignOptions{});
    ASSERT_EQ(r.notConverged(), 0);
    ASSERT_FALSE(r.common.empty());
    const double exact = psnr(montageOf(s.registered()), 0, 0, truth, r.common);
    const double aligned = psnr(montageOf(moved, &r), 0, 0, truth, r.common);
    RecordProperty("psnr_exact", std::to_string(exact));
    RecordProperty("psnr_aligned", std::to_string(aligned));
    EXPECT_GT(aligned, exact - 0.5) << "exact " << exact << " dB, aligned " << aligned << " dB";
    EXPECT_GT(aligned, unaligned + 3) << "unaligned " << unaligned << " dB";

    // The minimum area shows the same pixels, cropped to the common rectangle.
    const Montage minimum = montageOf(moved, &r, DisplayArea::Minimum);
    const FrameRect cut{r.common.left, r.common.top, r.common.width / 4 * 4, r.common.height / 4 * 4};
    EXPECT_EQ(minimum.geometry.W, float(cut.width));
    EXPECT_EQ(minimum.geometry.H, float(cut.height));
    const double cropped = psnr(minimum, cut.left, r.frameHeight - cut.top - cut.height, truth, cut);
    EXPECT_GT(cropped, exact - 0.5);
}

TEST(AlignedMontage, CommonRectangleHoldsOnlyPixelsOfEveryPicture) {
    const TwoSeries s(480, 360, 5, 0.02, 0.5, 5.0, -4.0);
    ImageStack moved = s.moved();
    const AlignmentReport r = alignStack(moved, AlignOptions{});
    ASSERT_EQ(r.notConverged(), 0);
    // Every picture's own rectangle, taken onto the reference, covers the common one ...
    for (const PictureAlignment& p : r.pictures)
        for (const auto& corner : {std::array<int, 2>{r.common.left, r.common.top},
                                   {r.common.left + r.common.width - 1, r.common.top},
                                   {r.common.left, r.common.top + r.common.height - 1},
                                   {r.common.left + r.common.width - 1, r.common.top + r.common.height - 1}}) {
            const align::Affine back = align::inverse(p.toReference);
            const double x = back.x(corner[0], corner[1]), y = back.y(corner[0], corner[1]);
            EXPECT_TRUE(x >= -1e-6 && y >= -1e-6 && x <= 480 - 1 + 1e-6 && y <= 360 - 1 + 1e-6)
                << "picture " << p.picture << " corner " << corner[0] << "," << corner[1];
        }
    // ... and it is the largest: the pictures most shrunk and moved leave about a tenth of each
    // side uncovered, not more.
    EXPECT_GT(r.common.width, 480 * 0.8);
    EXPECT_GT(r.common.height, 360 * 0.8);
    EXPECT_LT(r.common.width, 480);
}

// A series taken without any move: differences of focus (and, on the rings scene, a periodic grid
// that a correlation can lock onto a step away) must not move a single picture. Every picture
// stays byte for byte as loaded and says so.
class MotionFree : public ::testing::TestWithParam<sample::Scene> {};

TEST_P(MotionFree, EveryPictureStaysAsLoadedAndSaysSo) {
    const sample::SeriesMaker maker({640, 480, 8, 1, 0, GetParam()});
    ImageStack stack = movedSeries(maker, std::vector<sample::PictureTransform>(8));
    const auto before = stack.pictures;
    const AlignmentReport r = alignStack(stack, AlignOptions{});
    EXPECT_EQ(stack.pictures, before);
    for (const PictureAlignment& p : r.pictures) {
        SCOPED_TRACE("picture " + std::to_string(p.picture));
        EXPECT_TRUE(p.converged);
        EXPECT_TRUE(p.toReference.isIdentity());
        EXPECT_EQ(p.placement, p.reference ? PicturePlacement::Measured : PicturePlacement::AsLoaded);
    }
    EXPECT_EQ(alignmentNotices(r).size(), 7u);
    EXPECT_EQ(r.common, (FrameRect{0, 0, 640, 480}));
}

INSTANTIATE_TEST_SUITE_P(Scenes, MotionFree, ::testing::Values(sample::Scene::Rings, sample::Scene::Natural),
                         [](const auto& info) { return info.param == sample::Scene::Rings ? "rings" : "natural"; });

// Brightness drifting through the series (exposure changing from shot to shot).
TEST(ColourMatch, RemovesADriftAndLeavesASteadySeriesAlone) {
    const int count = 5;
    auto moves = steppedMoves(count, 0.01, 0.1, 2, 1);
    const sample::SeriesMaker maker({480, 360, count, 8, marginFor(moves, 480, 360), sample::Scene::Natural});
    const sample::Picture truth = maker.truth();

    ImageStack steady = movedSeries(maker, moves);
    AlignOptions matching;
    matching.colourMatch = true;
    const AlignmentReport still = alignStack(steady, matching);
    for (const PictureAlignment& p : still.pictures)
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_NEAR(p.gain[std::size_t(ch)], 1.0, 0.02) << "picture " << p.picture;
            EXPECT_NEAR(p.offset[std::size_t(ch)], 0.0, 3.0) << "picture " << p.picture;
        }

    for (int k = 1; k <= count; ++k) {
        const int d = k - sample::middlePicture(count);
        const double g = 1 + 0.04 * d;
        moves[std::size_t(k - 1)].gain = {g, 1 + 0.03 * d, g};
        moves[std::size_t(k - 1)].offset = {3.0 * d, 0, -3.0 * d};
    }
    ImageStack drifting = movedSeries(maker, moves);
    ImageStack plain = drifting;
    const AlignmentReport matched = alignStack(drifting, matching);
    const AlignmentReport unmatched = alignStack(plain, AlignOptions{});
    for (const PictureAlignment& p : matched.pictures) {
        // The fit undoes the drift of each channel: reference = gain * picture + offset.
        const auto& t = moves[std::size_t(p.picture - 1)];
        for (int ch = 0; ch < 3; ++ch) {
            const std::size_t c = std::size_t(ch);
            EXPECT_NEAR(p.gain[c] * t.gain[c], 1.0, 0.03) << "picture " << p.picture << " channel " << ch;
            EXPECT_NEAR(p.gain[c] * t.offset[c] + p.offset[c], 0.0, 3.0) << "picture " << p.picture << " channel " << ch;
        }
    }
    const double with = psnr(montageOf(drifting, &matched), 0, 0, truth, matched.common);
    const double without = psnr(montageOf(plain, &unmatched), 0, 0, truth, unmatched.common);
    EXPECT_GT(with, without + 1.0) << "with " << with << " dB, without " << without << " dB";
}

// A picture a third as bright as the reference (a flash that did not fire) lies beyond any drift:
// its colours are left as they are, and the user, who asked for matching, is told so.
TEST(ColourMatch, PictureFarDarkerThanTheReferenceIsLeftWithAWarning) {
    auto moves = steppedMoves(3, 0.01, 0.0, 2, 1);
    moves[0].gain = {0.3, 0.3, 0.3};
    moves[2].gain = {0.9, 0.92, 0.9};
    const sample::SeriesMaker maker({480, 360, 3, 8, marginFor(moves, 480, 360), sample::Scene::Natural});
    ImageStack stack = movedSeries(maker, moves);
    AlignOptions matching;
    matching.colourMatch = true;
    const AlignmentReport r = alignStack(stack, matching);
    EXPECT_TRUE(r.pictures[0].colourRefused);
    EXPECT_FALSE(r.pictures[1].colourRefused);
    EXPECT_FALSE(r.pictures[2].colourRefused); // an ordinary drift is matched
    EXPECT_NEAR(r.pictures[2].gain[1] * 0.92, 1.0, 0.03);
    const std::string lines = alignmentPropertiesLines(r);
    EXPECT_NE(lines.find("  Warning: the colours of image 1 are too far from the reference's to be matched\r\n"),
              std::string::npos);
    EXPECT_EQ(lines.find("colours of image 3"), std::string::npos);
    const auto notices = alignmentNotices(r);
    EXPECT_EQ(std::count(notices.begin(), notices.end(), colourWarning(r.pictures[0])), 1);
}


// A picture whose colours are beyond matching in one channel only (lit by a lamp of another
// colour, or saved grey among colour pictures) is left as it is in all three, as its warning
// says: matching the other channels alone would give it a colour cast and change the montage.
TEST(ColourMatch, PictureRefusedInOneChannelIsLeftAsItIsInAll) {
    const int w = 320, h = 240;
    const auto moves = [&] {
        auto m = steppedMoves(3, 0.01, 0.0, 2, 1);
        m[0].gain = {1.0, 1.0, 0.3}; // its red far dimmer than the reference's
        return m;
    }();
    const sample::SeriesMaker maker({w, h, 3, 8, marginFor(moves, w, h), sample::Scene::Natural});
    const auto toGrey = [](std::vector<std::uint8_t>& cells) {
        for (std::size_t i = 0; i + 2 < cells.size(); i += 3) {
            const int v = (114 * cells[i] + 587 * cells[i + 1] + 299 * cells[i + 2] + 500) / 1000;
            cells[i] = cells[i + 1] = cells[i + 2] = std::uint8_t(v);
        }
    };
    for (const bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "grey picture" : "one channel off");
        ImageStack matched = movedSeries(maker, grey ? steppedMoves(3, 0.01, 0.0, 2, 1) : moves);
        if (grey) toGrey(matched.pictures[0]);
        ImageStack plain = matched;
        AlignOptions matching;
        matching.colourMatch = true;
        const AlignmentReport r = alignStack(matched, matching);
        const AlignmentReport unmatched = alignStack(plain, AlignOptions{});
        ASSERT_TRUE(r.pictures[0].converged);
        ASSERT_TRUE(r.pictures[0].colourRefused);
        EXPECT_EQ(r.pictures[0].gain, (std::array<double, 3>{1, 1, 1}));
        EXPECT_EQ(r.pictures[0].offset, (std::array<double, 3>{0, 0, 0}));
        EXPECT_TRUE(matched.pictures[0] == plain.pictures[0]) << "the refused picture's pixels were changed";
        EXPECT_NE(colourWarning(r.pictures[0]), "");
        EXPECT_FALSE(r.pictures[2].colourRefused);
    }
}

// A middle picture far out of focus (a focus step that slipped, a lens hunting) matches its
// neighbour only weakly, and shows no clear move: the pictures beyond it must still be placed as
// they moved (not at its place, 0.3 to 0.6 % of scale off), and say what they were measured against.
struct BlurredCase {
    const char* name;
    int blurred;
    double sigma, scaleStep, shiftX;
};

void PrintTo(const BlurredCase& c, std::ostream* os) { *os << c.name; }

class BlurredMiddlePicture : public ::testing::TestWithParam<BlurredCase> {};

TEST_P(BlurredMiddlePicture, PicturesBeyondItKeepTheirMoves) {
    const BlurredCase& c = GetParam();
    const int count = 7, w = 640, h = 480, ref = sample::middlePicture(count);
    const auto moves = steppedMoves(count, c.scaleStep, 0.0, c.shiftX, 0.0);
    const sample::SeriesMaker maker({w, h, count, 3, marginFor(moves, w, h), sample::Scene::Natural});
    auto pictures = movedPictures(maker, moves);
    sample::Picture& far = pictures[std::size_t(c.blurred - 1)];
    cv::Mat own(far.height, far.width, CV_8UC3, far.cells.data(), std::size_t(roundUp4(far.width)) * 3);
    cv::GaussianBlur(own, own, cv::Size(), c.sigma);
    ImageStack stack = stackOf(std::move(pictures));
    const AlignmentReport r = alignStack(stack, AlignOptions{});
    ASSERT_EQ(r.reference, ref);
    for (const PictureAlignment& p : r.pictures) {
        if (p.picture == c.blurred) continue;
        const auto& t = moves[std::size_t(p.picture - 1)];
        SCOPED_TRACE("picture " + std::to_string(p.picture));
        expectRecovered(p, t);
        if (c.scaleStep == 0) { EXPECT_TRUE(p.toReference.isIdentity()); }
    }
    // The next picture outward was measured past the blurred one, and says so; no other was.
    const int beyond = c.blurred + (c.blurred < ref ? -1 : 1);
    const int anchor = c.blurred + (c.blurred < ref ? 1 : -1);
    for (const PictureAlignment& p : r.pictures)
        EXPECT_EQ(p.pastWeak, p.picture == beyond ? c.blurred : 0) << "picture " << p.picture;
    const auto notices = alignmentNotices(r);
    const std::string note = "image " + std::to_string(beyond) + " is measured against image " +
                             std::to_string(anchor) + ": image " + std::to_string(c.blurred) +
                             " matched too weakly to be its neighbour";
    EXPECT_EQ(std::count(notices.begin(), notices.end(), note), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Series, BlurredMiddlePicture,
    ::testing::Values(BlurredCase{"still_picture_3", 3, 16, 0.0, 0.0},
                      BlurredCase{"breathing_picture_5", 5, 16, 0.003, 0.5},
                      BlurredCase{"breathing_picture_2", 2, 24, 0.003, 0.5}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv::test