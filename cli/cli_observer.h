// orvanta-cli's side of a montage session: what it says on standard error and in the progress
// report while a session runs, and how it writes a score.
#pragma once

#include "base/error_sites.h"
#include "base/prompt.h"
#include "cli/output_targets.h"
#include "cli/progress_report.h"
#include "session/montage_session.h"
#include "smoothing/quality_score.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orv {

// A score as the program writes a single-precision number: up to 7 significant digits.
std::string formatScore(float v);
// Why the system took no file by `name` when the name is longer than a whole path may be (a
// relative name in a deep working folder, completed against it): ", a name of N bytes; ...", or
// its file name longer than its folder takes: ", a file name of N bytes; ..."; else nothing.
std::string nameTooLongNote(const std::string& name);
// The digits before the first dot of a series name's file name ("IMG_40000.jpg" gives "40000").
std::string seriesNumberOf(const std::string& name);
// The phase as --progress names it.
const char* phaseName(RunPhase phase);

// What a comparison kept of a montage: the score its picture had when it was kept.
struct KeptScore {
    MakeOutcome made;
    float score = 0;
};

// The command line's side of a montage session: messages go to standard error, progress to the
// progress report, and each kept comparison montage is scored as it is kept.
class CliObserver : public SessionObserver {
public:
    CliObserver(ProgressReport& bar, CheckedOutput& text) : bar_(bar), text_(text) {}

    MontageSession* session = nullptr;
    int readLimit = kMaxPictures; // the most pictures the run reads
    IgnoreTicks ignored{};        // the pictures --ignore names
    bool pyramid = false;         // -m pyramid
    bool nothingInUse = false;    // --ignore named every picture of the series: the run stops
    bool fromProject = false;     // the ignored pictures are an opened project's
    std::optional<int> offsetPairs; // how many target centres --offsets gives, when it is used
    DisplayArea area = DisplayArea::Same; // the display area of the offsets
    bool offsetsNoticed = false;
    bool beyondNoticed = false;   // numbers past the series' last picture were said
    bool offsetsOverflow = false; // the target centres were too far apart to shift the pictures
    std::array<KeptScore, kComparisonMontages> kept;
    std::optional<int> chosen; // the comparison montage shown as the main one

    PromptAnswer prompt(const Prompt& p) override {
        bar_.finish();
        const PromptAnswer answer = stderr_.show(p);
        // A message about a picture of the series names it; one that went away after the series was
        // counted (moved or deleted while the run went on) is said to be missing, and one that may
        // not be read (a symbolic link that leads round in a loop, a folder closed to the user)
        // says why.
        if (!p.details.empty()) {
            struct stat st{};
            const bool there = ::stat(p.details.c_str(), &st) == 0;
            const int why = errno;
            if (!there && why == ENOENT)
                std::cerr << "orvanta-cli: " << p.details << " is no longer there (moved or deleted during the run)\n";
            else if (!there || ::access(p.details.c_str(), R_OK) != 0)
                std::cerr << "orvanta-cli: the picture is " << p.details << ", which cannot be opened: "
                          << std::strerror(there ? errno : why) << "\n";
            else
                std::cerr << "orvanta-cli: the picture is " << p.details << "\n";
        }
        // A block method met a longer series: say how to read all of it, or fewer. Pyramid Focus
        // reads the whole series only when its montage is written as made: smoothed, retouched or
        // compared, it is made from the pictures the stack holds.
        if (p.text == kLimitText) {
            if (pyramid)
                std::cerr << "orvanta-cli: Pyramid Focus reads the whole series only when the montage is written as "
                             "made: with --smooth, --retouch or --evaluate it reads 30 pictures (--max-pictures N "
                             "reads the first N)\n";
            else
                std::cerr << "orvanta-cli: the block methods read 30 pictures; -m pyramid reads the whole series "
                             "(--max-pictures N reads the first N)\n";
        }
        // A first number the series cannot count from: which number, and why.
        if (session && (p.text == genericErrorText(RuntimeError(6), kLineSeriesNumbering, kMontageRoutine) ||
                        p.text == genericErrorText(RuntimeError(6), kLineSeriesFailure, kMontageRoutine)))
            std::cerr << "orvanta-cli: the first file's number, " << seriesNumberOf(session->completedName())
                      << ", is past 32767, the highest number a series can count to: number the series' files "
                         "from a lower number (1, say)\n";
        // Target centres too far apart for the shifts: which setting to change.
        if (offsetPairs || fromProject) {
            for (int line : {kLineOffsetExtents, kLineDisplayArea})
                if (p.text == genericErrorText(RuntimeError(6), line, kMontageRoutine)) {
                    offsetsOverflow = true;
                    std::cerr << offsetsOverflowText() << "\n";
                }
        }
        // A maximum area too large for the memory left: how large, and what it would need.
        if ((offsetPairs || fromProject) && area == DisplayArea::Maximum && session &&
            p.text == genericErrorText(RuntimeError(7), kLineArrayFill, kMontageRoutine))
            std::cerr << maximumAreaMemoryText() << "\n";
        return answer;
    }
    // The maximum area's montage, refused before it was filled because the memory left is less
    // than its pixels need.
    std::string maximumAreaMemoryText() const {
        const MontageGeometry& g = session->state().montage.geometry;
        const long width = std::lround(g.W), height = std::lround(g.H);
        const double bytes = double((width + 3) / 4 * 4) * double((height + 3) / 4 * 4) * 3;
        auto size = [](double b) {
            char buf[32];
            if (b >= 1e9) std::snprintf(buf, sizeof buf, "%.1f GB", b / 1e9);
            else std::snprintf(buf, sizeof buf, "%.0f MB", std::ceil(b / 1e6));
            return std::string(buf);
        };
        return "orvanta-cli: with " + std::string(fromProject ? "the project's offsets" : "--offsets") +
               " the maximum area is " + std::to_string(width) + "x" + std::to_string(height) +
               " pixels, whose montage needs " + size(bytes) + " of memory, more than the " +
               size(double(availableMemory())) + " left: bring the target centres closer or choose another --area";
    }
    // Why the offsets could not be applied: the centres' spread, or the maximum area's size.
    std::string offsetsOverflowText() const {
        const SessionState& st = session->state();
        const MontageGeometry& g = st.montage.geometry;
        const long spreadX = long(g.largestX) - g.smallestX, spreadY = long(g.largestY) - g.smallestY;
        const std::string who = fromProject ? "the project's offsets" : "--offsets";
        if (spreadX > 32767 || spreadY > 32767)
            return "orvanta-cli: " + who + " put the target centres " + std::to_string(spreadX) +
                   " pixels apart across and " + std::to_string(spreadY) +
                   " down; the pictures can be shifted at most 32767 pixels against each other";
        // The same area keeps picture 1's width: a picture whose target lies that far right of
        // the smallest would be read past the last column a position can name.
        if (area == DisplayArea::Same)
            return "orvanta-cli: " + who + " put the target centres " + std::to_string(spreadX) +
                   " pixels apart across: in the same area a picture would be read past column 32767, far beyond "
                   "its edge; bring the target centres closer (less than 32767 less the pictures' width apart) or "
                   "choose another --area";
        // The maximum area holds every picture at its shift: its sides grow by the spread.
        const long width = (std::lround(st.series.pictureWidth) + spreadX + 3) / 4 * 4;
        const long height = (std::lround(st.series.pictureHeight) + spreadY + 3) / 4 * 4;
        return "orvanta-cli: with " + who + " the maximum area would be " + std::to_string(width) + "x" +
               std::to_string(height) + " pixels, more than the 32767 a side can have: bring the target centres " +
               "closer or choose another --area";
    }
    void seriesStarting(bool, const std::string&) override { seriesLength_.reset(); }
    // The message does not name the file: the name looked for, as completed (a name without a
    // dot looks for NAME.bmp), is said after it.
    void firstFileMissing(const std::string& name) override {
        const std::string tooLong = nameTooLongNote(name);
        std::cerr << "orvanta-cli: the first file is " << name << (tooLong.empty() ? ", which is not there" : tooLong)
                  << "\n";
    }
    void progress(RunPhase phase, int done, int total) override {
        // The loader reads until a file is missing: the total is the files there to read.
        if (phase == RunPhase::Reading && total == 0 && session) {
            if (!seriesLength_) seriesLength_ = seriesFilesPresent(session->completedName(), readLimit);
            total = *seriesLength_ >= done ? *seriesLength_ : 0;
        }
        bar_.report(phaseName(phase), done, total);
    }
    // The series is in and the montage takes picture 1's size. When every picture of it is
    // ignored, no block and no pixel could come from any of them: the montage would be black.
    void montageSized(float, float, int) override {
        if (nothingInUse || !session) return;
        const int count = session->state().series.imageCount;
        noticeMissingOffsets(count);
        noticeBeyondTheSeries(count);
        if (count < 1 || count > int(ignored.size())) return;
        for (int n = 1; n <= count; ++n)
            if (!isIgnored(ignored, n)) return;
        nothingInUse = true;
        bar_.finish();
        std::cerr << "orvanta-cli: " << (fromProject ? "the project ignores" : "--ignore names")
                  << " every picture of the series (" << count
                  << "): there is no picture to make the montage from\n";
    }
    bool stopRequested() override { return nothingInUse; }
    // --offsets that name fewer targets than the series has pictures in use leave the others at
    // 0,0, which moves them against the pictures given: said once, since it is rarely meant.
    void noticeMissingOffsets(int count) {
        if (!offsetPairs || offsetsNoticed) return;
        int first = 0;
        for (int n = *offsetPairs + 1; n <= count && first == 0; ++n)
            if (!isIgnored(ignored, n)) first = n;
        if (first == 0) return;
        offsetsNoticed = true;
        bar_.finish();
        std::cerr << "orvanta-cli: --offsets gives " << *offsetPairs << " target centre"
                  << (*offsetPairs == 1 ? "" : "s") << " for a series of " << count << " pictures: "
                  << (first == count ? "picture " + std::to_string(first) + " has its target"
                                     : "pictures " + std::to_string(first) + " to " + std::to_string(count) +
                                           " have their targets")
                  << " at 0,0\n";
    }
    // --ignore numbers and --offsets pairs past the series' last picture change nothing: a typo
    // (--ignore 6 for a series of 5) would pass for a montage made as asked. Said once.
    void noticeBeyondTheSeries(int count) {
        if (beyondNoticed || fromProject || count < 1) return;
        beyondNoticed = true;
        std::vector<int> past;
        for (int n = count + 1; n <= int(ignored.size()); ++n)
            if (isIgnored(ignored, n)) past.push_back(n);
        if (!past.empty()) {
            bar_.finish();
            std::cerr << "orvanta-cli: --ignore names picture" << (past.size() == 1 ? " " : "s ");
            for (std::size_t k = 0; k < past.size(); ++k)
                std::cerr << (k == 0 ? "" : k + 1 == past.size() ? " and " : ", ") << past[k];
            std::cerr << ", which a series of " << count << " picture" << (count == 1 ? "" : "s")
                      << " does not have\n";
        }
        if (offsetPairs && *offsetPairs > count) {
            bar_.finish();
            std::cerr << "orvanta-cli: --offsets gives " << *offsetPairs << " target centres for a series of " << count
                      << " picture" << (count == 1 ? "" : "s") << ": the last "
                      << (*offsetPairs - count == 1 ? std::string("is") : std::to_string(*offsetPairs - count) + " are")
                      << " not used\n";
        }
    }
    void montageReady(const MontageRecord&, const PixelArrays&, bool) override { bar_.finish(); }
    void candidateScored(const Candidate& c) override {
        text_.write(methodCaption(c.method) + " (method " + std::to_string(c.method) + "), increment " +
                    std::to_string(c.increment) + ": Quality score = " + formatScore(c.score) + "\n");
    }
    void keepComparison(int k, int, const MontageRecord&) override {
        const SessionState& st = session->state();
        KeptScore& kept_ = kept[std::size_t(k)];
        kept_.made = session->lastOutcome();
        kept_.score = evaluateImage(st.montage.arrays, st.montage.geometry, kept_.made.increment);
    }
    void comparisonShownAsMain(int k, const MontageRecord&) override { chosen = k; }

private:
    ProgressReport& bar_;
    CheckedOutput& text_;
    StderrPrompter stderr_;
    std::optional<int> seriesLength_;
};

} // namespace orv
