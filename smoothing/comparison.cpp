// The comparison commands. Scores are compared with strict less-than, so on equal scores the
// earlier candidate stays best: the smaller increment, and the method order 4, 3, 2, 1, 0.
#include "smoothing/comparison.h"

#include "base/numbers.h"
#include "engine/focus_method.h"
#include "smoothing/quality_score.h"

#include <exception>

namespace orv {

int incrementLimit(float W) {
    if (W >= 1200.0f) return 200;
    return int(roundHalfEven(double(W / 6.0f)));
}

std::string bestIncrementText(int method, int increment) {
    return "I think the best increment for this '" + methodCaption(method) +
           "' Montage Method is " + std::to_string(increment) + ".";
}

std::string bestMethodAndIncrementText(int method, int increment) {
    return "I think the best Montage Method is  '" + methodCaption(method) +
           "'  used with an increment of " + std::to_string(increment) + ".";
}

std::string bestMethodText(int method) {
    return "I think the best Montage Method is '" + methodCaption(method) + "'.";
}

ComparisonDriver::ComparisonDriver(EvaluationState& state, const PixelArrays& arrays,
                                   const MontageGeometry& geometry, Prompter& prompter,
                                   ComparisonHooks hooks)
    : state_(state), arrays_(arrays), geometry_(geometry), prompter_(prompter),
      hooks_(std::move(hooks)) {
    if (!hooks_.makeMontage) throw RuntimeError(5);
}

namespace {

// Whatever way a command ends, the comparison state is left idle for the next Make Montage.
class IdleOnThrow {
public:
    explicit IdleOnThrow(EvaluationState& s) : s_(s) {}
    ~IdleOnThrow() {
        if (std::uncaught_exceptions() > depth_) {
            s_.evaluationMode = 0;
            s_.evaluationRun = false;
        }
    }

private:
    EvaluationState& s_;
    int depth_ = std::uncaught_exceptions();
};

} // namespace

int ComparisonDriver::make(const ComparisonStep& request) {
    return hooks_.makeMontage(request, state_);
}

void ComparisonDriver::show(ComparisonResult& result, PromptIcon icon, const std::string& text,
                            const std::string& title) {
    result.message = Prompt{icon, PromptButtons::Ok, text, title};
    prompter_.show(*result.message);
}

void ComparisonDriver::runIncrements(int method, int stage, ComparisonResult& result) {
    // Inside the later method stages the best values carry over from the earlier ones.
    if (state_.evaluationMode <= 1) {
        state_.bestScore = kNoScoreYet;
        state_.bestIncrement = 0;
    }
    const int limit = incrementLimit(geometry_.W);
    for (int inc = 10; inc <= limit; inc += 10) {
        if (inc > 10 && state_.evaluationMode == 0) state_.evaluationMode = 6;
        events();
        state_.evaluationRun = true;
        const int used = make(ComparisonStep{inc, method});
        state_.evaluationRun = false;
        events();
        // A setting whose montage could not be made is not a candidate: scoring the picture left
        // from an earlier run would rate the wrong montage.
        if (used == 0) continue;
        const float score = evaluateImage(arrays_, geometry_, inc);
        const Candidate c{stage, method, inc, score};
        result.candidates.push_back(c);
        if (hooks_.scored) hooks_.scored(c);
        if (scoreMeasuresSeams(geometry_, inc)) {
            if (score < state_.bestScore) {
                state_.bestIncrement = toInt16(inc);
                state_.bestScore = score;
                state_.bestMethod = toInt16(method);
            }
        } else if (state_.bestIncrement == 0) {
            // An increment as tall or as wide as the montage leaves no seam to measure and scores
            // 0 for nothing: it is kept only until a candidate whose seams were measured comes.
            state_.bestIncrement = toInt16(inc);
            state_.bestMethod = toInt16(method);
        }
    }
}

ComparisonResult ComparisonDriver::evaluateIncrements(int method) {
    IdleOnThrow idle(state_);
    ComparisonResult result;
    result.ran = true;
    runIncrements(method, 0, result);
    // Inside "Evaluate Increments and all Montage Methods", and when only the increment 10 fits,
    // the command ends here without a message.
    if (state_.evaluationMode != 6) return result;
    // When the montage cannot be made again with the best increment, Make Montage has said why
    // and another candidate's picture is on screen: nothing is recommended as if it were there.
    const bool found = state_.bestIncrement > 0;
    const bool remade = found && make(ComparisonStep{int(state_.bestIncrement), method}) != 0;
    state_.evaluationMode = 0;
    if (remade)
        show(result, PromptIcon::Exclamation,
             bestIncrementText(state_.bestMethod, state_.bestIncrement), kWellDoneTitle);
    return result;
}

ComparisonResult ComparisonDriver::evaluateAll() {
    IdleOnThrow idle(state_);
    ComparisonResult result;
    // With no montage (or one too narrow for the increment 10) no stage would try anything, and
    // the final montage would be made and recommended with the increment 0.
    if (incrementLimit(geometry_.W) < 10) {
        show(result, PromptIcon::Exclamation, kNothingToCompareText, kNothingToCompareTitle);
        return result;
    }
    if (prompter_.ask(PromptIcon::Question, kEvaluateAllQuestion, kEvaluateAllQuestionTitle,
                      PromptButtons::OkCancel) != PromptAnswer::Ok)
        return result;
    result.ran = true;
    for (int stage = 1; stage <= 5; ++stage) {
        state_.evaluationMode = toInt16(stage);
        runIncrements(5 - stage, stage, result);
    }
    state_.evaluationMode = 0;
    if (!result.candidates.empty()) {
        // An ordinary Make Montage, which loads the pictures again: when it cannot (the series
        // gone from the disk), it has said why and nothing is recommended.
        if (make(ComparisonStep{int(state_.bestIncrement), int(state_.bestMethod)}) != 0)
            show(result, PromptIcon::Exclamation,
                 bestMethodAndIncrementText(state_.bestMethod, state_.bestIncrement), kWellDoneTitle);
    }
    if (hooks_.takeFocus) hooks_.takeFocus();
    return result;
}

ComparisonResult ComparisonDriver::compareAllMethods(int checkedMethod) {
    IdleOnThrow idle(state_);
    ComparisonResult result;
    result.ran = true;
    state_.bestScore = kNoScoreYet;
    const int remembered = checkedMethod >= 0 && checkedMethod < kMethodCount ? checkedMethod : 0;
    for (int stage = 1; stage <= 5; ++stage) {
        state_.evaluationMode = toInt16(stage);
        const int method = 5 - stage;
        const int used = make(ComparisonStep{std::nullopt, method});
        if (used == 0) continue;
        if (hooks_.keepComparison) hooks_.keepComparison(stage - 1, method);
        const float score = evaluateImage(arrays_, geometry_, used);
        const Candidate c{stage, method, used, score};
        result.candidates.push_back(c);
        if (hooks_.scored) hooks_.scored(c);
        if (score < state_.bestScore) {
            state_.bestScore = score;
            state_.bestMethod = toInt16(method);
        }
    }
    if (!result.candidates.empty()) {
        // Window k holds method 4 - k.
        if (hooks_.showComparisonInMain) hooks_.showComparisonInMain(4 - state_.bestMethod);
        show(result, PromptIcon::Exclamation, bestMethodText(state_.bestMethod),
             kCompareVisuallyTitle);
    }
    if (hooks_.finishMethods) hooks_.finishMethods(remembered);
    state_.evaluationMode = 0;
    if (hooks_.takeFocus) hooks_.takeFocus();
    return result;
}

} // namespace orv
