// The method and increment comparisons: make a montage for each candidate setting through the
// caller's Make Montage, score it, and keep the setting with the lowest score.
#pragma once

#include "base/prompt.h"
#include "engine/pixel_arrays.h"
#include "engine/montage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// Shared with Make Montage, which reuses the loaded pictures while a comparison runs.
struct EvaluationState {
    std::int16_t evaluationMode = 0; // 0 none, 1 to 5 the method stage, 6 an increment evaluation
    bool evaluationRun = false;      // true while an increment evaluation makes a montage
    float bestScore = 0;
    std::int16_t bestIncrement = 0;
    std::int16_t bestMethod = 0; // 0 to 4, the index in the method menu
};

// Make Montage's comparison shortcut: reuse the pictures, windows and montage size of the previous
// run instead of loading the series again.
inline bool reusesLoadedPictures(const EvaluationState& s, int increment) {
    return s.evaluationMode >= 2 || (s.evaluationRun && increment > 10);
}

// The largest increment "Evaluate Increments" tries: 200 from a width of 1200 on, else W / 6
// rounded half to even (640 gives 107, so 10 to 100 are tried).
int incrementLimit(float W);

inline constexpr float kNoScoreYet = 32000.0f;

// One montage the comparison asks for.
struct ComparisonStep {
    std::optional<int> increment; // put into the increment box first; none: the box as it is
    int method = 0;               // the method entry to tick, all others unticked
};

struct Candidate {
    int stage = 0; // the method stage (1 to 5), 0 for "Evaluate Increments" on its own
    int method = 0;
    int increment = 0;
    float score = 0;
};

struct ComparisonHooks {
    // Runs Make Montage as the user would after the increment box and method tick are set as
    // asked, honouring `state` (reusesLoadedPictures) and smoothing the montage when autoSmooth
    // is on. Returns the increment the montage was made with, or 0 when none was made. Required.
    std::function<int(const ComparisonStep&, const EvaluationState& state)> makeMontage;
    std::function<void()> processEvents;
    std::function<void(const Candidate&)> scored;
    // "Compare All Montage Methods": copy the main montage, its caption, map and properties to
    // comparison window `window` (0 to 4).
    std::function<void(int window, int method)> keepComparison;
    // Show the picture of comparison window `window` in the main montage window.
    std::function<void(int window)> showComparisonInMain;
    // The end of "Compare All Montage Methods": the main montage window to the front, the window
    // menus rebuilt, `method` ticked again, the first file name back in its box.
    std::function<void(int method)> finishMethods;
    std::function<void()> takeFocus; // the main window takes the focus
};

struct ComparisonResult {
    bool ran = false; // false when the user cancelled or the command refused
    std::vector<Candidate> candidates;
    std::optional<Prompt> message; // the recommendation (or refusal) shown at the end
};

inline constexpr const char* kEvaluateAllQuestion =
    "I am about to examine all the Montage creation Methods, with a range of increments, to "
    "determine which I think looks best.   This may take a considerable time.   Do you want to "
    "continue? ";
inline constexpr const char* kEvaluateAllQuestionTitle =
    "It's all automatic, but the time depends on your computer speed.";
inline constexpr const char* kWellDoneTitle = "well done!";
inline constexpr const char* kCompareVisuallyTitle = "You can also compare the images visually";
inline constexpr const char* kNothingToCompareText =
    "I am sorry, but I need an 'In Focus' Montage at least 57 pixels wide before I can try the "
    "increments on it.   Please make one first, then try again.";
inline constexpr const char* kNothingToCompareTitle = "Create it first, then try again";
// Pyramid Focus has no block seams for the score to measure: the comparisons say so before they run.
inline constexpr const char* kPyramidIncrementsText =
    "Pyramid Focus makes the same montage whatever the increment, which sets only the blocks of the "
    "dominant-image map: the scores compare where those blocks' edges fall, not how the montage looks.   "
    "Please judge the result with your own eyes too.";
inline constexpr const char* kPyramidMethodsText =
    "Pyramid Focus has no block edges for the score to measure, so only the five block methods take "
    "part.   Please judge Pyramid Focus beside the recommended montage with your own eyes.";
inline constexpr const char* kPyramidCompareTitle = "Pyramid Focus has no block seams";

std::string bestIncrementText(int method, int increment);
std::string bestMethodAndIncrementText(int method, int increment);
std::string bestMethodText(int method);

class ComparisonDriver {
public:
    // `arrays` and `geometry` are the main montage the hooks make (slot 100, W, H); the driver
    // scores them after each montage.
    ComparisonDriver(EvaluationState& state, const PixelArrays& arrays,
                     const MontageGeometry& geometry, Prompter& prompter, ComparisonHooks hooks);

    // "Evaluate Increments" with `method` ticked.
    ComparisonResult evaluateIncrements(int method);
    // "Evaluate Increments and all Montage Methods".
    ComparisonResult evaluateAll();
    // "Compare All Montage Methods"; `checkedMethod` is the ticked entry, -1 when none is.
    ComparisonResult compareAllMethods(int checkedMethod);

private:
    void runIncrements(int method, int stage, ComparisonResult& result);
    int make(const ComparisonStep& request);
    void events() {
        if (hooks_.processEvents) hooks_.processEvents();
    }
    void show(ComparisonResult& result, PromptIcon icon, const std::string& text,
              const std::string& title);

    EvaluationState& state_;
    const PixelArrays& arrays_;
    const MontageGeometry& geometry_;
    Prompter& prompter_;
    ComparisonHooks hooks_;
};

} // namespace orv
