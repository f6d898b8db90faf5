// Evaluate Increments with Pyramid Focus: the montage does not depend on the increment, so the
// comparison fuses the series once and scores that montage at every increment, with the same
// scores, maps and final montage as montages made one by one.
#include "session/montage_session.h"
#include "session/prompting_observer.h"
#include "smoothing/quality_score.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace orv {
namespace {

// 180 x 70 pictures of colour noise, strong in one of three vertical bands (wide enough for the
// increments 10, 20 and 30).
QImage bandedPicture(int sharp, unsigned seed) {
    QImage img(180, 70, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int amp = x / 60 + 1 == sharp ? 120 : 8;
            const int v = 128 + int(seed >> 24) % (2 * amp) - amp;
            img.setPixel(x, y, qRgb(v, v / 2, 255 - v));
        }
    return img;
}

// Counts the runs that fused the pictures (Pyramid Focus reports its passes over the pictures
// before its first row of blocks) and keeps each montage's map by its increment.
class FusionCounter : public PromptingObserver {
public:
    using PromptingObserver::PromptingObserver;
    int fusions = 0;
    std::map<int, std::string> maps;
    void montageStarting(bool) override {
        rows_ = 0;
        counted_ = false;
    }
    void blockRowDone(const MontageRowEvent&, const PixelArrays&) override { ++rows_; }
    void progress(RunPhase phase, int, int) override {
        if (phase == RunPhase::Fusing && rows_ == 0 && !counted_) {
            counted_ = true;
            ++fusions;
        }
    }
    void montageReady(const MontageRecord& main, const PixelArrays&, bool) override { maps[main.increment] = main.map; }

private:
    int rows_ = 0;
    bool counted_ = false;
};

struct Rig {
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    FusionCounter observer{prompter};
    MontageSession session{state, observer};
    explicit Rig(SessionOptions options = {}) : session(state, observer, options) {
        state.programFolder = dir.path().toStdString() + "/";
        for (int k = 1; k <= 3; ++k) save(k, 11u * k);
    }
    void save(int k, unsigned seed) {
        bandedPicture(k, seed).save(dir.filePath(QStringLiteral("p%1.bmp").arg(k)), "BMP");
    }
    MontageRequest request(const std::string& increment = "20") const {
        MontageRequest r;
        r.firstFileName = dir.filePath(QStringLiteral("p1.bmp")).toStdString();
        r.incrementText = increment;
        r.method = FocusMethod::Pyramid;
        return r;
    }
};

// What a montage made on its own at `increment` gives: its score, map and picture.
struct Alone {
    float score = 0;
    std::string map;
    std::vector<std::uint8_t> slot;
};
Alone madeAlone(Rig& rig, int increment) {
    const MakeOutcome made = rig.session.makeMontage(rig.request(std::to_string(increment)));
    EXPECT_TRUE(made.made);
    const MontageState& ms = rig.state.montage;
    return Alone{evaluateImage(ms.arrays, ms.geometry, increment), ms.main().map, ms.arrays.montage.slot(100)};
}

void expectSameAsAlone(const ComparisonResult& result, Rig& compared, Rig& alone) {
    ASSERT_EQ(result.candidates.size(), 3u);
    for (const Candidate& c : result.candidates) {
        const Alone a = madeAlone(alone, c.increment);
        EXPECT_EQ(c.score, a.score) << c.increment;
        EXPECT_EQ(compared.observer.maps[c.increment], a.map) << c.increment;
    }
    // The montage made again with the best increment is the one made on its own.
    ASSERT_TRUE(result.message.has_value());
    const int best = compared.state.evaluation.bestIncrement;
    const Alone a = madeAlone(alone, best);
    EXPECT_EQ(compared.session.record({}).map, a.map);
    EXPECT_EQ(compared.session.record({}).increment, best);
    EXPECT_EQ(compared.state.montage.arrays.montage.slot(100), a.slot);
}

TEST(PyramidComparison, EvaluateIncrementsFusesOnceAndScoresAsMontagesMadeOneByOne) {
    Rig compared, alone;
    ASSERT_TRUE(compared.session.makeMontage(compared.request()).made);
    compared.observer.fusions = 0;
    const ComparisonResult result = compared.session.evaluateIncrements(compared.request());
    // The comparison reads the series again for its first increment and fuses it then only: the
    // increments 20 and 30 and the montage made again with the best one take that montage.
    EXPECT_EQ(compared.observer.fusions, 1);
    expectSameAsAlone(result, compared, alone);

    // A second comparison, after a picture changed on the disk, fuses the pictures it reads then.
    compared.save(2, 99u);
    alone.save(2, 99u);
    compared.observer.fusions = 0;
    compared.observer.maps.clear();
    const ComparisonResult again = compared.session.evaluateIncrements(compared.request());
    EXPECT_EQ(compared.observer.fusions, 1);
    expectSameAsAlone(again, compared, alone);
}

TEST(PyramidComparison, ABatchRunComparesItsOwnMontageWithoutFusingTheSamePicturesAgain) {
    // A batch run keeps its decoded pictures, which do not change under it, and its montage for
    // the comparison that follows.
    SessionOptions batch;
    batch.reuseDecodedSeries = true;
    batch.keepPyramidRunForComparison = true;
    Rig compared(batch), alone;
    ASSERT_TRUE(compared.session.makeMontage(compared.request()).made);
    EXPECT_EQ(compared.observer.fusions, 1);
    compared.observer.fusions = 0;
    compared.observer.maps.clear();
    const ComparisonResult result = compared.session.evaluateIncrements(compared.request());
    EXPECT_EQ(compared.observer.fusions, 0);
    expectSameAsAlone(result, compared, alone);

    // Another series made next is fused, not given the montage kept from the first, and is the
    // one its comparison takes.
    Rig other(batch);
    other.save(2, 99u);
    alone.save(2, 99u);
    MontageRequest r = compared.request();
    r.firstFileName = other.request().firstFileName;
    ASSERT_TRUE(compared.session.makeMontage(compared.request()).made);
    compared.observer.fusions = 0;
    compared.observer.maps.clear();
    ASSERT_TRUE(compared.session.makeMontage(r).made);
    EXPECT_EQ(compared.observer.fusions, 1);
    compared.observer.fusions = 0;
    compared.observer.maps.clear();
    const ComparisonResult again = compared.session.evaluateIncrements(r);
    EXPECT_EQ(compared.observer.fusions, 0);
    expectSameAsAlone(again, compared, alone);
}

} // namespace
} // namespace orv
