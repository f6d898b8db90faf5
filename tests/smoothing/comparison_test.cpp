// The comparison driver against a stand-in for Make Montage that paints montages of known score:
// which settings are tried, in which order and state, which one wins, and what is said.
#include "scene.h"
#include "smoothing/comparison.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace orv;
using namespace orv::test;

namespace {

// Make Montage's stand-in paints columns of blocks alternately black and `delta` red, so every
// sampled block has a step of `delta` across its right seam and none to the next row: the score
// is delta / 2.
class Host {
public:
    Host(int W, int H) : scene(W, H, 1) {}

    Scene scene;
    EvaluationState state;
    std::map<std::pair<int, int>, int> delta; // (method, increment) -> step; 100 otherwise
    std::set<int> failingMethods;
    std::set<std::size_t> failingCalls; // by their place in `calls`, from 0
    int box = 20; // the increment box

    struct Call {
        std::optional<int> requested;
        int increment, method, mode;
        bool run, shortcut;
    };
    std::vector<Call> calls;
    std::vector<std::pair<int, int>> kept; // (window, method)
    std::vector<int> shownInMain, finished;
    int focused = 0;

    ComparisonDriver driver() {
        ComparisonHooks h;
        h.makeMontage = [this](const ComparisonStep& r, const EvaluationState& s) {
            if (r.increment) box = *r.increment;
            calls.push_back({r.increment, box, r.method, s.evaluationMode, s.evaluationRun,
                             reusesLoadedPictures(s, box)});
            if (failingMethods.count(r.method) || failingCalls.count(calls.size() - 1)) {
                // A failed Make Montage leaves a cleared picture behind.
                paint(1, 0);
                return 0;
            }
            const auto d = delta.find({r.method, box});
            paint(box, d == delta.end() ? 100 : d->second);
            return box;
        };
        h.keepComparison = [this](int w, int m) { kept.push_back({w, m}); };
        h.showComparisonInMain = [this](int w) { shownInMain.push_back(w); };
        h.finishMethods = [this](int m) { finished.push_back(m); };
        h.takeFocus = [this] { ++focused; };
        return ComparisonDriver(state, scene.mp, scene.g, scene.prompter, h);
    }

    void paint(int inc, int d) {
        auto& m = scene.mp.montage;
        for (int y = 0; y < m.height(); ++y)
            for (int x = 0; x < m.width(); ++x)
                scene.set(100, x, y, (x / inc) % 2 ? Rgb{d, 0, 0} : Rgb{0, 0, 0});
    }

    template <typename T> std::vector<T> each(T Call::*field) const {
        std::vector<T> v;
        for (const auto& c : calls) v.push_back(c.*field);
        return v;
    }
    std::vector<int> increments() const { return each(&Call::increment); }
    std::vector<int> methods() const { return each(&Call::method); }
    std::vector<int> modes() const { return each(&Call::mode); }
    std::vector<bool> shortcuts() const { return each(&Call::shortcut); }
};

} // namespace

struct LimitCase {
    float W;
    int limit;
};

class IncrementLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(IncrementLimit, IsASixthOfTheWidthHalvesToEvenUpTo200) {
    EXPECT_EQ(incrementLimit(GetParam().W), GetParam().limit);
}

INSTANTIATE_TEST_SUITE_P(Comparison, IncrementLimit,
                         ::testing::Values(LimitCase{0, 0}, LimitCase{116, 19}, LimitCase{117, 20},
                                           LimitCase{123, 20}, LimitCase{640, 107},
                                           LimitCase{1024, 171}, LimitCase{1199, 200},
                                           LimitCase{1200, 200}, LimitCase{4000, 200}),
                         [](const auto& info) { return "Width" + std::to_string(int(info.param.W)); });

TEST(EvaluateIncrements, TriesTenToTheLimitThenRemakesWithTheBestAndSaysSo) {
    Host h(640, 240);
    h.delta[{2, 40}] = 20;
    const ComparisonResult r = h.driver().evaluateIncrements(2);

    EXPECT_EQ(h.increments(), (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 40}));
    EXPECT_EQ(h.methods(), std::vector<int>(11, 2));
    // The first montage loads the pictures; from the second increment on the evaluation reuses
    // them, the final remake included.
    EXPECT_EQ(h.modes(), (std::vector<int>{0, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6}));
    EXPECT_EQ(h.shortcuts(), (std::vector<bool>{false, true, true, true, true, true, true, true, true, true, true}));
    EXPECT_TRUE(h.calls[0].run);
    EXPECT_FALSE(h.calls.back().run);

    ASSERT_EQ(r.candidates.size(), 10u);
    EXPECT_EQ(r.candidates[3].score, 10.0f);
    EXPECT_EQ(r.candidates[4].score, 50.0f);
    EXPECT_EQ(h.state.bestIncrement, 40);
    EXPECT_EQ(h.state.bestScore, 10.0f);
    EXPECT_EQ(h.state.bestMethod, 2);
    EXPECT_EQ(h.state.evaluationMode, 0);
    EXPECT_FALSE(h.state.evaluationRun);
    ASSERT_EQ(h.scene.prompter.shown.size(), 1u);
    EXPECT_EQ(h.scene.prompter.shown[0],
              (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                      "I think the best increment for this 'Preference Red Focus' Montage Method is 40.",
                      "well done!"}));
}

TEST(EvaluateIncrements, EqualScoresKeepTheSmallerIncrement) {
    Host h(240, 240);
    h.delta[{0, 30}] = 40;
    h.delta[{0, 20}] = 40;
    h.driver().evaluateIncrements(0);
    EXPECT_EQ(h.state.bestIncrement, 20);
    EXPECT_EQ(h.calls.back().increment, 20);
}

// From the increment 50 on, a 48-pixel-high montage has one row of blocks: nothing is measured and
// the score is 0, which must not outbid the increments whose seams were measured.
TEST(EvaluateIncrements, AnIncrementThatReachesTheMontageHeightScoresZeroButDoesNotWin) {
    Host h(640, 48);
    const ComparisonResult r = h.driver().evaluateIncrements(1);
    ASSERT_EQ(r.candidates.size(), 10u);
    EXPECT_EQ(r.candidates[4].score, 0.0f);
    EXPECT_EQ(h.state.bestIncrement, 10);
    EXPECT_EQ(h.state.bestScore, 50.0f);
    EXPECT_EQ(h.calls.back().increment, 10);

    // Across the method stages too, and whichever stage comes first.
    Host all(640, 48);
    all.delta[{3, 20}] = 40;
    all.driver().evaluateAll();
    EXPECT_EQ(all.state.bestMethod, 3);
    EXPECT_EQ(all.state.bestIncrement, 20);
    EXPECT_EQ(all.state.bestScore, 20.0f);

    // With nothing measured at any increment the first is kept.
    Host flat(640, 8);
    flat.delta[{1, 30}] = 0;
    flat.driver().evaluateIncrements(1);
    EXPECT_EQ(flat.state.bestIncrement, 10);
}

struct NarrowCase {
    float W;
    std::vector<int> increments;
    bool message;
};

class NarrowMontages : public ::testing::TestWithParam<NarrowCase> {};

TEST_P(NarrowMontages, TryOnlyWhatFitsAndEndSilentlyWithOnlyTen) {
    const NarrowCase c = GetParam();
    Host h(int(c.W), 60);
    const ComparisonResult r = h.driver().evaluateIncrements(3);
    EXPECT_EQ(h.increments(), c.increments);
    EXPECT_EQ(h.scene.prompter.shown.size(), c.message ? 1u : 0u);
    EXPECT_EQ(r.message.has_value(), c.message);
    EXPECT_EQ(h.state.evaluationMode, 0);
    if (!c.increments.empty()) {
        EXPECT_EQ(h.box, 10); // equal scores: 10 is the best
    }
}

INSTANTIATE_TEST_SUITE_P(
    EvaluateIncrements, NarrowMontages,
    ::testing::Values(NarrowCase{0, {}, false},          // nothing made yet: nothing tried
                      NarrowCase{116, {10}, false},      // the box reads 10 afterwards
                      NarrowCase{117, {10, 20, 10}, true}), // 19.5 rounds to 20
    [](const auto& info) { return "Width" + std::to_string(int(info.param.W)); });

TEST(EvaluateAll, CancelChangesNothing) {
    Host h(120, 120);
    h.state.bestMethod = 3;
    h.state.bestIncrement = 70;
    h.state.bestScore = 5;
    h.scene.prompter.answerNext(PromptAnswer::Cancel);
    const ComparisonResult r = h.driver().evaluateAll();
    EXPECT_FALSE(r.ran);
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(h.state.bestMethod, 3);
    EXPECT_EQ(h.state.bestIncrement, 70);
    EXPECT_EQ(h.state.bestScore, 5.0f);
    ASSERT_EQ(h.scene.prompter.shown.size(), 1u);
    EXPECT_EQ(h.scene.prompter.shown[0],
              (Prompt{PromptIcon::Question, PromptButtons::OkCancel,
                      "I am about to examine all the Montage creation Methods, with a range of "
                      "increments, to determine which I think looks best.   This may take a "
                      "considerable time.   Do you want to continue? ",
                      "It's all automatic, but the time depends on your computer speed."}));
}

TEST(EvaluateAll, WithNoMontageRefusesWithoutAsking) {
    Host h(0, 0);
    h.state.bestMethod = 3;
    const ComparisonResult r = h.driver().evaluateAll();
    EXPECT_FALSE(r.ran);
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(h.state.bestMethod, 3);
    ASSERT_EQ(h.scene.prompter.shown.size(), 1u);
    EXPECT_EQ(h.scene.prompter.shown[0].text, kNothingToCompareText);
}

TEST(EvaluateAll, TriesEveryMethodAndIncrementAndKeepsTheEarliestOfEqualBest) {
    Host h(120, 120); // increments 10 and 20
    h.delta[{4, 20}] = 20;
    h.delta[{1, 10}] = 20; // as good, but a later stage
    const ComparisonResult r = h.driver().evaluateAll();

    EXPECT_TRUE(r.ran);
    EXPECT_EQ(h.methods(), (std::vector<int>{4, 4, 3, 3, 2, 2, 1, 1, 0, 0, 4}));
    EXPECT_EQ(h.increments(), (std::vector<int>{10, 20, 10, 20, 10, 20, 10, 20, 10, 20, 20}));
    EXPECT_EQ(h.modes(), (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 0}));
    // Stage 1 loads the pictures for its first increment, and the final montage loads them again.
    EXPECT_EQ(h.shortcuts(), (std::vector<bool>{false, true, true, true, true, true, true, true, true, true, false}));
    EXPECT_EQ(r.candidates.size(), 10u);
    EXPECT_EQ(h.state.bestMethod, 4);
    EXPECT_EQ(h.state.bestIncrement, 20);
    EXPECT_EQ(h.state.evaluationMode, 0);
    EXPECT_FALSE(h.state.evaluationRun);
    EXPECT_EQ(h.focused, 1);
    ASSERT_EQ(h.scene.prompter.shown.size(), 2u);
    EXPECT_EQ(h.scene.prompter.shown[1],
              (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                      "I think the best Montage Method is  'Preference Blue Focus'  used with an "
                      "increment of 20.",
                      "well done!"}));
}

TEST(CompareAllMethods, MakesFiveComparisonsAndNamesTheBest) {
    Host h(100, 100);
    h.box = 25;
    h.delta[{2, 25}] = 30;
    const ComparisonResult r = h.driver().compareAllMethods(3);

    EXPECT_EQ(h.methods(), (std::vector<int>{4, 3, 2, 1, 0}));
    EXPECT_EQ(h.increments(), std::vector<int>(5, 25));
    for (const auto& c : h.calls) EXPECT_FALSE(c.requested.has_value());
    EXPECT_EQ(h.modes(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(h.shortcuts(), (std::vector<bool>{false, true, true, true, true}));
    EXPECT_EQ(h.kept, (std::vector<std::pair<int, int>>{{0, 4}, {1, 3}, {2, 2}, {3, 1}, {4, 0}}));
    EXPECT_EQ(h.shownInMain, std::vector<int>{2});
    EXPECT_EQ(h.finished, std::vector<int>{3});
    EXPECT_EQ(h.state.bestMethod, 2);
    EXPECT_EQ(h.state.bestScore, 15.0f);
    EXPECT_EQ(h.state.evaluationMode, 0);
    EXPECT_EQ(r.candidates.size(), 5u);
    ASSERT_EQ(h.scene.prompter.shown.size(), 1u);
    EXPECT_EQ(h.scene.prompter.shown[0],
              (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                      "I think the best Montage Method is 'Preference Red Focus'.",
                      "You can also compare the images visually"}));
}

TEST(CompareAllMethods, EqualScoresKeepTheFirstMethodTriedAndNoTickRestoresTheFirstEntry) {
    Host h(100, 100);
    h.driver().compareAllMethods(-1);
    EXPECT_EQ(h.state.bestMethod, 4);
    EXPECT_EQ(h.shownInMain, std::vector<int>{0});
    EXPECT_EQ(h.finished, std::vector<int>{0});
}

TEST(CompareAllMethods, AMontageThatFailedIsNoCandidate) {
    // The failed run leaves a cleared picture that would score 0 and win.
    Host h(100, 100);
    h.failingMethods = {4};
    h.delta[{1, 20}] = 60;
    const ComparisonResult r = h.driver().compareAllMethods(0);
    EXPECT_EQ(r.candidates.size(), 4u);
    EXPECT_EQ(h.state.bestMethod, 1);
    EXPECT_EQ(h.kept.front(), (std::pair<int, int>{1, 3}));
}

namespace {

// The montage made again with the best setting could not be made (its series gone from the disk,
// say): Make Montage has said why, and the picture on screen is another candidate's, so the
// recommendation does not say "well done!" as if it were there.
TEST(Recommendation, IsNotSaidWhenTheBestMontageCouldNotBeMadeAgain) {
    {
        Host h(640, 240);
        h.delta[{2, 40}] = 20;
        h.failingCalls = {10};
        const ComparisonResult r = h.driver().evaluateIncrements(2);
        EXPECT_EQ(h.calls.size(), 11u);
        EXPECT_EQ(r.candidates.size(), 10u);
        EXPECT_TRUE(h.scene.prompter.shown.empty());
        EXPECT_FALSE(r.message.has_value());
        EXPECT_EQ(h.state.evaluationMode, 0);
    }
    {
        Host h(120, 120);
        h.delta[{4, 20}] = 20;
        h.failingCalls = {10};
        const ComparisonResult r = h.driver().evaluateAll();
        EXPECT_EQ(h.calls.size(), 11u);
        EXPECT_EQ(r.candidates.size(), 10u);
        ASSERT_EQ(h.scene.prompter.shown.size(), 1u); // the question alone
        EXPECT_EQ(h.scene.prompter.shown[0].title, kEvaluateAllQuestionTitle);
        EXPECT_FALSE(r.message.has_value());
        EXPECT_EQ(h.state.evaluationMode, 0);
        EXPECT_EQ(h.focused, 1);
    }
}

} // namespace
