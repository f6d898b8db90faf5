// Pyramid Focus reading its pictures from a source rather than the stack: a source that hands out
// fresh copies (as a decoding one does) gives the montage, map, choices and deep picture of the
// stack byte for byte, each picture is asked for once per pass, and a series beyond 255 pictures
// keeps its picture numbers apart.
#include "fusion_fixtures.h"

#include "base/runtime_error.h"
#include "engine/series_source.h"

#include <gtest/gtest.h>

#include <map>

using namespace orv;
using namespace orv::test;

namespace {

// The pictures the copying source holds: made before the stack source that points at them.
struct HeldPictures {
    ImageStack stack;
    std::vector<DeepPicture> deep;
    std::vector<const DeepPicture*> pointers() const {
        std::vector<const DeepPicture*> out;
        for (const DeepPicture& d : deep) out.push_back(&d);
        return out;
    }
};

// A copy of the stack's pictures, copied into the reader's own buffers on every read, with the deep pictures
// copied too; counts the reads of each picture.
class CopyingSource : private HeldPictures, public StackSource {
public:
    CopyingSource(const ImageStack& stack, std::vector<DeepPicture> deep)
        : HeldPictures{stack, std::move(deep)}, StackSource(HeldPictures::stack, pointers()) {}
    void read(int n, bool deep, SourcePicture& into) override {
        ++reads[n];
        StackSource::read(n, deep, into);
        into.ownCells.assign(into.cells, into.cells + HeldPictures::stack.pictures[std::size_t(n - 1)].size());
        into.cells = into.ownCells.data();
        if (into.deep) {
            into.ownDeep = *into.deep;
            into.deep = &into.ownDeep;
        }
    }
    std::map<int, int> reads;
};

struct SourceCase {
    const char* name;
    bool deep;
    bool ignoreSecond;
    bool offsets; // the pictures placed by targets, so that they do not cover everything
    bool brighter = false; // the fourth picture taken brighter: evened out, its choices made again
};

class FromASource : public ::testing::TestWithParam<SourceCase> {};

TEST_P(FromASource, GivesWhatTheStackGives) {
    const SourceCase c = GetParam();
    const int W = 72, H = 52;
    // The flat half about as bright as the texture, so that no picture is evened out unless asked.
    const int lift = c.brighter ? 40 : 0;
    const std::vector<Painter> painters{blurredTexture(W, H, 2), Painter(texture), blurredTexture(W, H, 1),
                                        [&](int x, int y) {
                                            const Rgb t = x < W / 2 ? texture(x, y) : Rgb{60, 160, 110};
                                            return Rgb{std::min(255, t.r + lift), std::min(255, t.g + lift),
                                                       std::min(255, t.b + lift)};
                                        }};
    Stack fromStack(W, H, painters), fromSource(W, H, painters);
    std::vector<DeepPicture> deep;
    std::vector<const DeepPicture*> deepPointers;
    if (c.deep) {
        for (int n = 1; n <= int(painters.size()); ++n) deep.push_back(deepOf(fromStack, n, W, H, unsigned(n)));
        for (const DeepPicture& d : deep) deepPointers.push_back(&d);
    }
    PyramidFocusOptions o;
    o.increment = 12;
    o.ignored[1] = c.ignoreSecond;
    if (c.offsets) {
        for (Stack* s : {&fromStack, &fromSource}) {
            s->offsets[1] = ImageOffset{10, 10};
            s->offsets[2] = ImageOffset{14, 8};
            s->offsets[3] = ImageOffset{11, 13};
            s->offsets[4] = ImageOffset{9, 10};
            AreaInput area{true, DisplayArea::Maximum, 4, IgnoreTicks{}, 0, W, H};
            ASSERT_EQ(applyDisplayArea(s->g, s->offsets, area), AreaOutcome::Ready);
            s->mp.montage.lastColumn = std::int16_t(roundUp4(int(s->g.W)) - 1);
            s->mp.montage.lastRow = std::int16_t(roundUp4(int(s->g.H)) - 1);
            s->mp.montage.slot(100).assign(std::size_t(roundUp4(int(s->g.W))) * roundUp4(int(s->g.H)) * 3, 0);
        }
        o.useOffsets = true;
    }
    PyramidFocusOptions fromStackOptions = o;
    fromStackOptions.deepPictures = deepPointers;
    const PyramidFocusResult expected = fromStack.fuse(fromStackOptions);

    CopyingSource source(fromSource.mp.stack, deep);
    // The source alone is read: the stack's cells may be gone.
    for (auto& p : fromSource.mp.stack.pictures) std::vector<std::uint8_t>().swap(p);
    o.source = &source;
    const PyramidFocusResult got = fromSource.fuse(o);

    EXPECT_EQ(got.map, expected.map);
    EXPECT_EQ(got.choices.pictures, expected.choices.pictures);
    EXPECT_EQ(fromSource.mp.montage.slot(100), fromStack.mp.montage.slot(100));
    ASSERT_EQ(got.deep != nullptr, c.deep);
    if (c.deep) {
        EXPECT_EQ(*got.deep, *expected.deep);
    }
    EXPECT_EQ(got.evened.size(), c.brighter ? 1u : 0u);
    // Once per pass: the deep picture comes with the second, not in a third. Evening a picture out
    // makes the choices again, a pass more.
    const int passes = c.brighter ? 3 : 2;
    for (int n = 1; n <= int(painters.size()); ++n)
        EXPECT_EQ(source.reads[n], n == 2 && c.ignoreSecond ? 0 : passes) << n;
}

INSTANTIATE_TEST_SUITE_P(PyramidFocus, FromASource,
                         ::testing::Values(SourceCase{"EightBit", false, false, false},
                                           SourceCase{"Deep", true, false, false},
                                           SourceCase{"DeepWithAnIgnoredPicture", true, true, false},
                                           SourceCase{"PlacedByTargets", false, false, true},
                                           SourceCase{"DeepPlacedByTargets", true, false, true},
                                           SourceCase{"DeepPlacedAndEvened", true, false, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The 8-bit montage taken from the deep one: exactly its 8-bit view, within 1 of the 8-bit merge,
// with the same map and choices.
TEST(PyramidFocus, MakesTheEightBitMontageFromTheDeepOneWhenAsked) {
    const int W = 64, H = 44;
    const std::vector<Painter> painters{blurredTexture(W, H, 2), Painter(texture),
                                        [&](int x, int y) { return x < W / 2 ? texture(x, y) : Rgb{250, 240, 10}; }};
    Stack merged(W, H, painters), viewed(W, H, painters);
    std::vector<DeepPicture> deep;
    for (int n = 1; n <= int(painters.size()); ++n) deep.push_back(deepOf(merged, n, W, H, unsigned(n)));
    CopyingSource a(merged.mp.stack, deep), b(viewed.mp.stack, deep);
    PyramidFocusOptions o;
    o.increment = 10;
    o.source = &a;
    const PyramidFocusResult expected = merged.fuse(o);
    o.source = &b;
    o.eightBitFromDeep = true;
    const PyramidFocusResult got = viewed.fuse(o);
    EXPECT_EQ(got.map, expected.map);
    EXPECT_EQ(got.choices.pictures, expected.choices.pictures);
    ASSERT_TRUE(got.deep);
    EXPECT_EQ(*got.deep, *expected.deep);
    int worst = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const Rgb v = viewed.at(x, y), m = merged.at(x, y);
            EXPECT_EQ(v.r, eightBitsOf(got.deep->at(x, H - 1 - y, 0)));
            EXPECT_EQ(v.b, eightBitsOf(got.deep->at(x, H - 1 - y, 2)));
            worst = std::max({worst, std::abs(v.r - m.r), std::abs(v.g - m.g), std::abs(v.b - m.b)});
        }
    EXPECT_LE(worst, 1);
}

// 300 pictures, all blurred but picture 280: a choice map of bytes would take it for picture 24
// (280 - 256). Picture 280 wins everywhere, the depth map's picture numbers say 280, and the map
// names it by its last digit.
TEST(PyramidFocus, TellsApartPicturesBeyond255) {
    const int W = 24, H = 16, N = 300, sharp = 280;
    const Painter blurred = blurredTexture(W, H, 2);
    std::vector<Painter> painters(std::size_t(N), blurred);
    painters[std::size_t(sharp - 1)] = Painter(texture);
    Stack s(W, H, painters);
    PyramidFocusOptions o;
    o.increment = 12;
    const PyramidFocusResult r = s.fuse(o);
    const auto wins = std::count(r.choices.pictures.begin(), r.choices.pictures.end(), sharp);
    EXPECT_GT(double(wins) / double(W * H), 0.9);
    EXPECT_EQ(std::count(r.choices.pictures.begin(), r.choices.pictures.end(), sharp - 256), 0);
    EXPECT_EQ(r.map, "00\r\n00\r\n");
    // The sharp picture's detail is kept: far nearer the texture than the blurred pictures are.
    Stack blurredOnly(W, H, {blurred});
    EXPECT_LT(s.meanError(texture, 2, W - 2, 2, H - 2), 0.4 * blurredOnly.meanError(texture, 2, W - 2, 2, H - 2));
}

// A source whose deep picture does not have its picture's size is refused, not read past.
TEST(PyramidFocus, RefusesADeepPictureOfAnotherSize) {
    const int W = 20, H = 12;
    Stack s(W, H, {Painter(texture), blurredTexture(W, H, 1)});
    std::vector<DeepPicture> deep{deepOf(s, 1, W, H, 1), DeepPicture(W - 4, H, 3, 16)};
    CopyingSource source(s.mp.stack, deep);
    PyramidFocusOptions o;
    o.increment = 10;
    o.source = &source;
    try {
        s.fuse(o);
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 5);
    }
}

} // namespace
