// orvanta-cli's progress on standard error: a one-line bar redrawn in place on a terminal, or one
// JSON object a line for scripts, each with the phase, the steps done of the steps in it and the
// time left, estimated from the rate of the phase so far.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace orv {

enum class ProgressStyle {
    None, // nothing (-q, --progress none)
    Bar,  // the bar, drawn only when the stream is a terminal (the default)
    Json, // {"phase":"fusing","done":12,"total":60,"seconds_left":8.4} a line, terminal or not
};

// "none", "bar" or "json"; nullopt for any other name.
std::optional<ProgressStyle> progressStyleNamed(const std::string& name);

// Seconds left when `done` of `total` steps took `elapsed` seconds at an even rate; nullopt while
// nothing is done, no time has passed or the total is not known (0) or passed.
std::optional<double> estimatedSecondsLeft(double elapsed, int done, int total);

// One line of --progress json, ending in "\n". A total of 0 (not known) is written as null, and so
// is an unknown time left; the time left has one decimal.
std::string progressJsonLine(const std::string& phase, int done, int total, std::optional<double> secondsLeft);

// The bar's text (without the carriage return that redraws it): "fusing     12 of 60 [#####     ]
// 8 s left"; only the count when the total is not known.
std::string progressBarText(const std::string& phase, int done, int total, std::optional<double> secondsLeft);

// The time left as the bar says it: "<1 s", "8 s", "2 min 05 s", "1 h 03 min".
std::string durationText(double seconds);

// How many pictures of a numbered series exist one after another from the first (the completed
// first file name), at most `limit`: the total of the reading phase, which the loader does not
// know until it stops.
int seriesFilesPresent(const std::string& completedName, int limit);

class ProgressReport {
public:
    // A monotonic clock in seconds; the default is std::chrono::steady_clock.
    using Clock = std::function<double()>;

    // `out` is written to (standard error in orvanta-cli); `terminal` says whether it is a
    // terminal: the bar is drawn only there.
    ProgressReport(ProgressStyle style, std::FILE* out, bool terminal, Clock clock = {});
    ~ProgressReport();
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    // `done` of `total` steps of `phase` ("reading", "aligning", "fusing", "smoothing"); total 0:
    // not known. A new phase, or a count that goes back (the next montage of a comparison),
    // starts the rate again from the previous report. A report repeating the last one is not
    // written again.
    void report(const std::string& phase, int done, int total);
    // Clears the bar's line (before a message, and at the end); the JSON lines stay.
    void finish();

    bool writes() const { return style_ == ProgressStyle::Json || (style_ == ProgressStyle::Bar && terminal_); }

private:
    ProgressStyle style_;
    std::FILE* out_;
    bool terminal_;
    Clock clock_;
    std::string phase_;
    int done_ = -1, total_ = -1;
    double phaseStart_ = 0; // when the present phase began: the report before its first
    double lastReport_ = 0;
    bool drawn_ = false; // the bar's line shows text
    std::size_t drawnWidth_ = 0;
};

} // namespace orv
