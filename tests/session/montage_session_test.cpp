// The session both front ends drive: the order in which a command tells its observer what
// happened, the first-file rules, and when a series is read from disk again.
#include "session/montage_session.h"
#include "session/prompting_observer.h"
#include "input/memory_budget.h"
#include "input/series_loader.h"

#include "band_picture.h"
#include "support/allocator_figures.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace orv {
namespace {

using testing::bandPicture;

class EventLog : public PromptingObserver {
public:
    using PromptingObserver::PromptingObserver;
    std::vector<std::string> events;
    void seriesStarting(bool forMontage, const std::string&) override { events.push_back(forMontage ? "start montage" : "start load"); }
    void pictureLoaded(int k, const std::string&, const MemorySurface&, QImage) override { events.push_back("picture " + std::to_string(k)); }
    void seriesLoaded(int count, bool) override { events.push_back("loaded " + std::to_string(count)); }
    void montageSized(float W, float H, int) override { events.push_back("sized " + std::to_string(int(W)) + "x" + std::to_string(int(H))); }
    void blockRowDone(const MontageRowEvent&, const PixelArrays&) override {
        if (events.back() != "row") events.push_back("row");
    }
    void montageReady(const MontageRecord&, const PixelArrays&, bool) override { events.push_back("ready"); }
    void montageFinished() override { events.push_back("finished"); }
    void firstFileMissing(const std::string&) override { events.push_back("missing"); }
    void firstFileUsed(const std::string& name) override { events.push_back("used " + name); }
};

struct SessionRig {
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    std::string first() const { return dir.filePath("s1.bmp").toStdString(); }
    void write(int k, unsigned seed) { bandPicture(k, seed).save(dir.filePath(QStringLiteral("s%1.bmp").arg(k)), "BMP"); }
    SessionRig() {
        state.programFolder = dir.path().toStdString() + "/";
        for (int k = 1; k <= 3; ++k) write(k, 7u * k);
    }
    MontageRequest request() const {
        MontageRequest c;
        c.firstFileName = first();
        c.incrementText = "10";
        return c;
    }
};

// A series whose first picture is larger than the others has the stack hold every picture in cells
// of the first one's size, which the reading of the small pictures never counted: when they do
// not fit in the memory left, Make Montage says error 7 before it allocates them.
TEST(MontageSession, TheStackOfASeriesOfMixedSizesIsCheckedBeforeItIsFilled) {
    struct NoCeiling {
        ~NoCeiling() { setMemoryCeiling(0); }
    } noCeiling;
    for (const bool mixed : {false, true}) {
        SCOPED_TRACE(mixed);
        QTemporaryDir dir;
        RecordingPrompter prompter;
        SessionState state;
        PromptingObserver observer{prompter};
        MontageSession session(state, observer);
        state.programFolder = dir.path().toStdString() + "/";
        for (int k = 1; k <= 6; ++k) {
            const int side = k == 1 || !mixed ? 400 : 40;
            QImage picture(side, side, QImage::Format_RGB32);
            picture.fill(qRgb(40 * k, 90, 200 - 20 * k));
            ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("m%1.bmp").arg(k)), "BMP"));
        }
        MontageRequest r;
        r.firstFileName = dir.filePath("m1.bmp").toStdString();
        r.incrementText = "20";
        // Each 400 x 400 picture, read with room for its montage, fits; six stack cells of its
        // size that are not the pictures' own do not.
        setMemoryCeiling(2500000);
        const MakeOutcome made = session.makeMontage(r);
        setMemoryCeiling(0);
        EXPECT_EQ(made.made, !mixed);
        const bool outOfMemory = std::any_of(prompter.shown.begin(), prompter.shown.end(), [](const auto& p) {
            return p.text.find("error 7 (Out of memory)") != std::string::npos;
        });
        EXPECT_EQ(outOfMemory, mixed);
    }
}

TEST(MontageSession, MakeMontageTellsTheObserverEachStepInOrder) {
    SessionRig rig;
    EventLog log(rig.prompter);
    MontageSession session(rig.state, log);
    const MakeOutcome made = session.makeMontage(rig.request());
    ASSERT_TRUE(made.made);
    EXPECT_EQ(made.increment, 10);
    const std::vector<std::string> expected{"start montage", "picture 1", "picture 2", "picture 3", "loaded 3",
                                            "sized 60x40",   "row",       "ready",     "finished",  "used " + rig.first()};
    EXPECT_EQ(log.events, expected);
    EXPECT_TRUE(rig.prompter.shown.empty());
    // Each band comes from the picture that is sharp there, and the report carries the map.
    EXPECT_EQ(rig.state.montage.main().map.substr(0, 8), "112233\r\n");
    EXPECT_NE(rig.state.montage.main().properties.find(rig.state.montage.main().map), std::string::npos);
}

TEST(MontageSession, AMissingFirstFileIsSaidAndForgottenAndNothingIsMade) {
    SessionRig rig;
    MontageRequest c = rig.request();
    c.firstFileName = rig.dir.filePath("none1.bmp").toStdString();
    EventLog log(rig.prompter);
    MontageSession session(rig.state, log);
    const MakeOutcome made = session.makeMontage(c);
    EXPECT_FALSE(made.made);
    EXPECT_TRUE(made.stopped);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, kMissingFileText);
    // Said before the montage starts: nothing of the earlier run goes.
    EXPECT_EQ(log.events, (std::vector<std::string>{"missing"}));
}

TEST(MontageSession, EveryMakeMontageReadsTheFilesAgainUnlessTheRunKeepsThem) {
    for (const bool reuse : {false, true}) {
        SessionRig rig;
        PromptingObserver observer(rig.prompter);
        MontageSession session(rig.state, observer, SessionOptions{reuse, 1});
        ASSERT_TRUE(session.makeMontage(rig.request()).made);
        const std::vector<std::uint8_t> before = rig.state.montage.arrays.montage.slot(100);
        // The user re-shoots picture 2: the desktop program must use the new one.
        rig.write(2, 99);
        ASSERT_TRUE(session.makeMontage(rig.request()).made);
        EXPECT_EQ(rig.state.montage.arrays.montage.slot(100) == before, reuse) << "reuse " << reuse;
    }
}

// Load only shows the pictures: the windows hold them, and each picture's decoded cells go once its
// window has it. Kept to the end of Load, a series of large pictures was held twice over at its peak
// (30 of 1600x1200: 172 MB beside the 230 MB the windows show).
TEST(MontageSession, LoadKeepsNoDecodedPictureBesideTheShownOnes) {
    if (!test::allocatorCounts()) GTEST_SKIP() << "the allocator's figures do not follow this process";
    constexpr int kCount = 10, kW = 400, kH = 300;
    QTemporaryDir dir;
    for (int k = 1; k <= kCount; ++k) {
        QImage picture(kW, kH, QImage::Format_RGB32);
        picture.fill(qRgb(20 * k, 90, 200 - 10 * k));
        ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("w%1.bmp").arg(k)), "BMP"));
    }
    // An observer that keeps what it is shown, as the source windows do.
    struct Windows : PromptingObserver {
        using PromptingObserver::PromptingObserver;
        bool showsPictures() const override { return true; }
        void pictureLoaded(int, const std::string&, const MemorySurface& cells, QImage shown) override {
            EXPECT_FALSE(cells.empty());
            shownBytes += std::uint64_t(shown.sizeInBytes());
            held.push_back(std::move(shown));
            peak = std::max(peak, test::allocatedBytes());
        }
        std::vector<QImage> held;
        std::uint64_t shownBytes = 0, peak = 0;
    };
    RecordingPrompter prompter;
    SessionState state;
    state.programFolder = dir.path().toStdString() + "/";
    Windows windows{prompter};
    MontageSession session(state, windows);
    const std::uint64_t before = test::allocatedBytes();
    ASSERT_EQ(session.load(dir.filePath("w1.bmp").toStdString(), true), LoadOutcome::Loaded);
    ASSERT_EQ(windows.held.size(), std::size_t(kCount));
    EXPECT_EQ(state.series.imageCount, kCount);
    EXPECT_EQ(state.series.pictureWidth, float(kW));
    EXPECT_EQ(state.series.pictureHeight, float(kH));
    EXPECT_TRUE(prompter.shown.empty());
    // Beside the shown pictures: the picture being decoded ahead (its cells and its shown copy) and
    // at most one picture's cells more.
    const std::uint64_t cells = std::uint64_t(kW) * kH * 3;
    const std::uint64_t oneShown = windows.shownBytes / kCount;
    EXPECT_LE(windows.peak - before, windows.shownBytes + oneShown + 2 * cells + (std::uint64_t(256) << 10))
        << "cells of " << (windows.peak - before - windows.shownBytes) / cells << " pictures held";
}

TEST(MontageSession, AComparisonWithNothingLoadedMakesNothing) {
    SessionRig rig;
    MontageRequest c = rig.request();
    c.firstFileName = rig.dir.filePath("none1.bmp").toStdString();
    PromptingObserver observer(rig.prompter);
    MontageSession session(rig.state, observer);
    RecordingPrompter answers;
    const ComparisonResult r = session.compareAllMethods(c, 0, &answers);
    EXPECT_TRUE(r.candidates.empty());
    // Only the first stage tried to load; the later stages had nothing to reuse.
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
}


// A picture of the series wider than the engine can address is said to be too large, by Load and
// by Make Montage alike, not passed off as a file it cannot read.
TEST(MontageSession, APictureTooWideForTheEngineIsSaidToBeTooLarge) {
    SessionRig rig;
    QImage wide(32800, 2, QImage::Format_RGB32);
    wide.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(wide.save(rig.dir.filePath("s2.bmp"), "BMP"));
    const Prompt tooLarge{PromptIcon::Critical, PromptButtons::Ok,
                          "This picture (32800,2) is too large for me: I can only cope with pictures of up to 32764 "
                          "pixels a side.",
                          kTooLargePictureTitle, rig.dir.filePath("s2.bmp").toStdString()};
    PromptingObserver observer(rig.prompter);
    MontageSession session(rig.state, observer);
    EXPECT_EQ(session.load(rig.first()), LoadOutcome::Loaded);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], tooLarge);
    session.makeMontage(rig.request());
    ASSERT_FALSE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.prompter.shown[1], tooLarge);
}

} // namespace
} // namespace orv
