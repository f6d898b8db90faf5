// Pyramid Focus's working memory: the bytes it says it will hold before it makes any level must
// cover what it then holds (sampled from the allocator after every picture of both passes and
// between the collapse's stages), and must not overstate it so far that a series which fits would
// be refused. A caller that refuses the figure stops the run before anything is made.
#include "fusion_fixtures.h"

#include "base/runtime_error.h"
#include "engine/series_source.h"

#include "support/allocator_figures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace orv;
using namespace orv::test;

namespace {

struct MemoryCase {
    const char* name;
    bool deep;
    bool eightBitFromDeep; // the 8-bit montage as the deep one's view, read from a source
    bool placed;           // pictures placed by targets: not every picture covers every pixel
    bool rangeInMontage;
    bool brighter = false;  // the third picture taken brighter than the others: it is evened out
};

class WorkingMemory : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(WorkingMemory, TheFigureGivenBeforeTheRunCoversWhatItHolds) {
    if (!allocatorCounts()) GTEST_SKIP() << "the allocator does not report this process's allocations";
    const MemoryCase c = GetParam();
    const int W = 640, H = 480;
    // The flat half about as bright as the texture: no picture is evened out unless asked.
    const int lift = c.brighter ? 40 : 0;
    const std::vector<Painter> painters{blurredTexture(W, H, 2), Painter(texture), [&](int x, int y) {
                                            const Rgb t = x < W / 2 ? texture(x, y) : Rgb{60, 160, 110};
                                            return Rgb{std::min(255, t.r + lift), std::min(255, t.g + lift),
                                                       std::min(255, t.b + lift)};
                                        }};
    Stack s(W, H, painters);
    std::vector<DeepPicture> deep;
    std::vector<const DeepPicture*> pointers;
    if (c.deep) {
        for (int n = 1; n <= int(painters.size()); ++n) deep.push_back(deepOf(s, n, W, H, unsigned(n)));
        for (const DeepPicture& d : deep) pointers.push_back(&d);
    }
    PyramidFocusOptions o;
    o.increment = 20;
    o.rangeInMontage = c.rangeInMontage;
    if (c.placed) {
        s.offsets[1] = ImageOffset{10, 10};
        s.offsets[2] = ImageOffset{14, 8};
        s.offsets[3] = ImageOffset{11, 13};
        AreaInput area{true, DisplayArea::Maximum, 3, IgnoreTicks{}, 0, W, H};
        ASSERT_EQ(applyDisplayArea(s.g, s.offsets, area), AreaOutcome::Ready);
        s.mp.montage.lastColumn = std::int16_t(roundUp4(int(s.g.W)) - 1);
        s.mp.montage.lastRow = std::int16_t(roundUp4(int(s.g.H)) - 1);
        s.mp.montage.slot(100).assign(std::size_t(roundUp4(int(s.g.W))) * roundUp4(int(s.g.H)) * 3, 0);
        o.useOffsets = true;
    }
    std::unique_ptr<StackSource> source;
    if (c.eightBitFromDeep) {
        source = std::make_unique<StackSource>(s.mp.stack, pointers);
        o.source = source.get();
        o.eightBitFromDeep = true;
    } else {
        o.deepPictures = pointers;
    }

    // An evened picture is checked for again once it is known, with its copies.
    std::uint64_t figure = 0, firstFigure = 0, before = 0, peak = 0;
    int checks = 0;
    o.checkMemory = [&](std::uint64_t bytes) {
        if (++checks == 1) {
            firstFigure = bytes;
            before = peak = allocatedBytes();
        }
        figure = bytes;
    };
    auto sample = [&] { peak = std::max(peak, allocatedBytes()); };
    o.onProgress = [&](int, int) { sample(); };
    o.onWait = sample;
    o.onRow = [&](const BlockRowEvent&) { sample(); };
    const PyramidFocusResult r = s.fuse(o);
    ASSERT_EQ(r.evened.size(), c.brighter ? 1u : 0u);
    ASSERT_EQ(checks, c.brighter ? 2 : 1);
    ASSERT_EQ(r.deep != nullptr, c.deep);
    const std::uint64_t held = peak - before;
    // The result's deep picture and choices are counted in the figure and held past the run.
    EXPECT_GE(figure, held) << "held " << held << " bytes, said " << figure;
    EXPECT_LE(double(figure), 1.25 * double(held)) << "held " << held << " bytes, said " << figure;
    // The figure is the one a caller can work out from the run's shape.
    PyramidFocusShape shape{int(s.g.W), int(s.g.H), c.deep, !c.eightBitFromDeep, !c.placed, c.placed, c.rangeInMontage, true};
    EXPECT_EQ(firstFigure, pyramidFocusWorkingBytes(shape));
}

INSTANTIATE_TEST_SUITE_P(PyramidFocus, WorkingMemory,
                         ::testing::Values(MemoryCase{"EightBit", false, false, false, false},
                                           MemoryCase{"EightBitPlacedByTargets", false, false, true, false},
                                           MemoryCase{"EightBitWithTheRangeInTheMontage", false, false, false, true},
                                           MemoryCase{"Deep", true, false, false, false},
                                           MemoryCase{"DeepPlacedByTargets", true, false, true, false},
                                           MemoryCase{"DeepViewedAtEightBits", true, true, false, false},
                                           MemoryCase{"EightBitEvened", false, false, false, false, true},
                                           MemoryCase{"DeepEvened", true, false, true, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WorkingMemory, ARefusedFigureStopsTheRunBeforeAnyPictureIsRead) {
    const int W = 64, H = 48;
    Stack s(W, H, {Painter(texture), blurredTexture(W, H, 2)});
    PyramidFocusOptions o;
    o.increment = 16;
    int progress = 0;
    o.onProgress = [&](int, int) { ++progress; };
    o.checkMemory = [](std::uint64_t) { throw RuntimeError(7); };
    try {
        s.fuse(o);
        FAIL() << "the run went on";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 7);
    }
    EXPECT_EQ(progress, 0);
    const std::vector<std::uint8_t>& slot = s.mp.montage.slot(100);
    EXPECT_TRUE(std::all_of(slot.begin(), slot.end(), [](std::uint8_t v) { return v == 0; }));
}

TEST(WorkingMemory, GrowsWithTheMontagesAreaAndTheDepth) {
    const PyramidFocusShape small{2000, 1500}, large{4000, 3000};
    EXPECT_EQ(pyramidFocusWorkingBytes(PyramidFocusShape{0, 300}), 0u);
    const double ratio = double(pyramidFocusWorkingBytes(large)) / double(pyramidFocusWorkingBytes(small));
    EXPECT_GT(ratio, 3.9);
    EXPECT_LT(ratio, 4.1);
    PyramidFocusShape deep = small;
    deep.deep = true;
    // The floating-point levels of the 16-bit merge more than treble the 8-bit run's memory.
    EXPECT_GT(pyramidFocusWorkingBytes(deep), 3 * pyramidFocusWorkingBytes(small));
}

} // namespace
