// orvanta-cli's progress reports.
#include "cli/progress_report.h"

#include "base/regular_file.h"
#include "base/runtime_error.h"
#include "input/series_naming.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace orv {

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A phase name as a JSON string; the names are plain words, but a quote or backslash would break
// the line for every script reading it.
std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        out += c;
    }
    return out + "\"";
}

} // namespace

std::optional<ProgressStyle> progressStyleNamed(const std::string& name) {
    if (name == "none") return ProgressStyle::None;
    if (name == "bar") return ProgressStyle::Bar;
    if (name == "json") return ProgressStyle::Json;
    return std::nullopt;
}

std::optional<double> estimatedSecondsLeft(double elapsed, int done, int total) {
    if (total <= 0 || done <= 0 || done > total || !(elapsed > 0) || !std::isfinite(elapsed)) return std::nullopt;
    return elapsed * double(total - done) / double(done);
}

std::string progressJsonLine(const std::string& phase, int done, int total, std::optional<double> secondsLeft) {
    std::string line = "{\"phase\":" + jsonString(phase) + ",\"done\":" + std::to_string(done) + ",\"total\":";
    line += total > 0 ? std::to_string(total) : "null";
    line += ",\"seconds_left\":";
    if (secondsLeft) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.1f", *secondsLeft);
        line += buf;
    } else {
        line += "null";
    }
    return line + "}\n";
}

std::string durationText(double seconds) {
    if (seconds < 1) return "<1 s";
    const long s = std::lround(seconds);
    char buf[48];
    if (s < 60) std::snprintf(buf, sizeof buf, "%ld s", s);
    else if (s < 3600) std::snprintf(buf, sizeof buf, "%ld min %02ld s", s / 60, s % 60);
    else std::snprintf(buf, sizeof buf, "%ld h %02ld min", s / 3600, (s % 3600) / 60);
    return buf;
}

std::string progressBarText(const std::string& phase, int done, int total, std::optional<double> secondsLeft) {
    char head[64];
    std::snprintf(head, sizeof head, "%-10s", phase.c_str());
    std::string text = head + std::to_string(done);
    if (total <= 0) return text;
    text += " of " + std::to_string(total);
    const int width = 30;
    const int filled = int(std::clamp<long long>(static_cast<long long>(done) * width / total, 0, width));
    text += " [" + std::string(std::size_t(filled), '#') + std::string(std::size_t(width - filled), ' ') + "]";
    if (secondsLeft) text += " " + durationText(*secondsLeft) + " left";
    return text;
}

int seriesFilesPresent(const std::string& completedName, int limit) {
    std::optional<SeriesName> series;
    try {
        series = parseSeriesName(completedName);
    } catch (const RuntimeError&) {
        return 0; // a number past 16 bits: the loader refuses it and says so
    }
    if (!series) return 0;
    int n = 0;
    while (n < limit && isRegularFile(series->fileName(n + 1))) ++n;
    return n;
}

ProgressReport::ProgressReport(ProgressStyle style, std::FILE* out, bool terminal, Clock clock)
    : style_(style), out_(out), terminal_(terminal), clock_(clock ? std::move(clock) : Clock(steadySeconds)) {
    phaseStart_ = lastReport_ = clock_();
}

ProgressReport::~ProgressReport() { finish(); }

void ProgressReport::report(const std::string& phase, int done, int total) {
    if (!writes()) return;
    if (phase == phase_ && done == done_ && total == total_) return;
    const double now = clock_();
    if (phase != phase_ || done < done_) phaseStart_ = lastReport_;
    phase_ = phase;
    done_ = done;
    total_ = total;
    lastReport_ = now;
    const std::optional<double> left = estimatedSecondsLeft(now - phaseStart_, done, total);
    if (style_ == ProgressStyle::Json) {
        const std::string line = progressJsonLine(phase, done, total, left);
        std::fwrite(line.data(), 1, line.size(), out_);
    } else {
        std::string text = progressBarText(phase, done, total, left);
        const std::size_t width = text.size();
        // Spaces over what a longer line before left on the screen.
        if (text.size() < drawnWidth_) text.append(drawnWidth_ - text.size(), ' ');
        std::fprintf(out_, "\r%s", text.c_str());
        drawn_ = true;
        drawnWidth_ = width;
    }
    std::fflush(out_);
}

void ProgressReport::finish() {
    if (!drawn_) return;
    std::fprintf(out_, "\r%s\r", std::string(std::max<std::size_t>(drawnWidth_, 1), ' ').c_str());
    std::fflush(out_);
    drawn_ = false;
    drawnWidth_ = 0;
}

} // namespace orv
