// Pyramid Focus of a batch run reading its series one picture at a time: on the first 30 pictures
// it makes the montage the in-memory run makes (8- and 16-bit, with and without alignment); it
// reads the whole series, up to a gap or the limit it is given, and says which file it could not
// read.
#include "session/montage_session.h"
#include "session/prompting_observer.h"
#include "session/streamed_series.h"

#include "engine/picture_surface.h"
#include "input/series_loader.h"
#include "output/deep_output.h"
#include "sample_series.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv {
namespace {

// A 96 x 64 focus series of the rings scene written as long01.bmp, long02.bmp, ... (or .tif at 16
// bits), its pictures moved by a breathing step and a small shift when asked.
struct LongSeries {
    QTemporaryDir dir;
    std::string extension;

    LongSeries(int count, bool deep, bool moves) : extension(deep ? ".tif" : ".bmp") {
        sample::SeriesOptions so;
        so.width = 96;
        so.height = 64;
        so.count = count;
        so.margin = moves ? 12 : 0;
        const sample::SeriesMaker maker(so);
        const int middle = sample::middlePicture(count);
        for (int k = 1; k <= count; ++k) {
            sample::PictureTransform t;
            if (moves) {
                t.scale = std::pow(1.002, k - middle);
                t.shiftX = 0.15 * (k - middle);
                t.shiftY = -0.1 * (k - middle);
            }
            const sample::Picture p = maker.picture(k, t);
            if (deep) {
                DeepPicture d(p.width, p.height, 3, 16);
                d.samples = p.deep;
                writeDeepPicture(name(k), d, 16);
            } else {
                savePicture(BgrView{p.cells.data(), p.width, p.height, std::size_t(roundUp4(p.width)) * 3}, name(k), {});
            }
        }
    }
    std::string name(int k) const {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", k);
        return dir.path().toStdString() + "/long" + number + extension;
    }
};

struct SessionRun {
    MakeOutcome made;
    int pictures = 0;
    std::vector<std::uint8_t> cells;
    std::shared_ptr<const DeepPicture> deep;
    PictureChoices choices;
    std::string properties;
    std::vector<Prompt> shown;
};

SessionRun makeMontage(const LongSeries& series, bool stream, int maxPictures, bool align = false,
                FocusMethod method = FocusMethod::Pyramid, std::uint64_t keepBytes = 0, IgnoreTicks ignored = {}) {
    RecordingPrompter prompter;
    PromptingObserver observer(prompter);
    SessionState state;
    SessionOptions options;
    options.reuseDecodedSeries = true;
    options.streamPyramid = stream;
    options.maxPictures = maxPictures;
    options.keepStreamedBytes = keepBytes;
    MontageSession session(state, observer, options);
    MontageRequest r;
    r.firstFileName = series.name(1);
    r.incrementText = "16";
    r.method = method;
    r.align = align;
    r.ignored = ignored;
    SessionRun run;
    run.made = session.makeMontage(r);
    run.pictures = session.pictureCount();
    const MontageRecord& main = state.montage.main();
    run.cells = main.picture.rounded();
    run.deep = main.deep;
    run.choices = main.choices;
    run.properties = main.properties;
    run.shown = prompter.shown;
    return run;
}

bool saidLimit(const SessionRun& r) {
    for (const Prompt& p : r.shown)
        if (p.text == kLimitText) return true;
    return false;
}

int largestDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

struct StreamCase {
    const char* name;
    bool deep;
    bool align;
};

class StreamedPyramid : public ::testing::TestWithParam<StreamCase> {};

// 60 pictures: the in-memory run takes the first 30 (and says so); the streamed run told to stop at
// 30 makes the same montage, within 1, and at full depth too.
TEST_P(StreamedPyramid, OnTheFirst30PicturesMakesTheInMemoryMontage) {
    const StreamCase c = GetParam();
    const LongSeries series(60, c.deep, c.align);
    const SessionRun inMemory = makeMontage(series, false, 0, c.align);
    const SessionRun streamed = makeMontage(series, true, 30, c.align);
    ASSERT_TRUE(inMemory.made.made);
    ASSERT_TRUE(streamed.made.made);
    EXPECT_TRUE(saidLimit(inMemory));
    EXPECT_TRUE(streamed.shown.empty());
    EXPECT_EQ(inMemory.pictures, 30);
    EXPECT_EQ(streamed.pictures, 30);
    ASSERT_EQ(streamed.cells.size(), inMemory.cells.size());
    EXPECT_LE(largestDifference(streamed.cells, inMemory.cells), 1);
    EXPECT_EQ(streamed.properties, inMemory.properties);
    ASSERT_EQ(streamed.deep != nullptr, inMemory.deep != nullptr);
    EXPECT_EQ(streamed.deep != nullptr, c.deep); // aligned too: the deep pictures follow their 8-bit views
    if (streamed.deep) {
        ASSERT_EQ(streamed.deep->samples.size(), inMemory.deep->samples.size());
        int worst = 0;
        for (std::size_t i = 0; i < streamed.deep->samples.size(); ++i)
            worst = std::max(worst, std::abs(int(streamed.deep->samples[i]) - int(inMemory.deep->samples[i])));
        EXPECT_LE(worst, 257);
    }
    // Kept as it is read (when aligned), the series gives the same bytes as read from its files on
    // every pass.
    const SessionRun kept = makeMontage(series, true, 30, c.align, FocusMethod::Pyramid, std::uint64_t(1) << 30);
    ASSERT_TRUE(kept.made.made);
    EXPECT_EQ(kept.cells, streamed.cells);
    EXPECT_EQ(kept.properties, streamed.properties);
    ASSERT_EQ(kept.deep != nullptr, streamed.deep != nullptr);
    if (kept.deep) {
        EXPECT_EQ(*kept.deep, *streamed.deep);
    }
}

INSTANTIATE_TEST_SUITE_P(MontageSession, StreamedPyramid,
                         ::testing::Values(StreamCase{"EightBit", false, false}, StreamCase{"EightBitAligned", false, true},
                                           StreamCase{"SixteenBit", true, false},
                                           StreamCase{"SixteenBitAligned", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class StreamedSeriesRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() { series_ = new LongSeries(60, false, false); }
    static void TearDownTestSuite() {
        delete series_;
        series_ = nullptr;
    }
    static LongSeries* series_;
};

LongSeries* StreamedSeriesRun::series_ = nullptr;

TEST_F(StreamedSeriesRun, ReadsTheWholeSeries) {
    const SessionRun r = makeMontage(*series_, true, 0);
    ASSERT_TRUE(r.made.made);
    EXPECT_EQ(r.pictures, 60);
    EXPECT_TRUE(r.shown.empty());
    EXPECT_NE(r.properties.find("Number of files found =60\r\n"), std::string::npos);
    // The later pictures take part: the far end of the scene is sharpest in them.
    EXPECT_TRUE(std::any_of(r.choices.pictures.begin(), r.choices.pictures.end(), [](std::uint16_t p) { return p > 30; }));
}

TEST_F(StreamedSeriesRun, StopsAtTheLimitItIsGiven) {
    EXPECT_EQ(makeMontage(*series_, true, 45).pictures, 45);
    // The block methods too, quietly below 30 and with the limit message above.
    const SessionRun fewer = makeMontage(*series_, true, 12, false, FocusMethod::ColorSpace3D);
    EXPECT_TRUE(fewer.made.made);
    EXPECT_EQ(fewer.pictures, 12);
    EXPECT_FALSE(saidLimit(fewer));
    const SessionRun more = makeMontage(*series_, true, 45, false, FocusMethod::ColorSpace3D);
    EXPECT_EQ(more.pictures, 30);
    EXPECT_TRUE(saidLimit(more));
}

TEST(StreamedSeries, AGapEndsTheSeries) {
    const LongSeries series(44, false, false);
    ASSERT_EQ(std::remove(series.name(41).c_str()), 0);
    const SessionRun r = makeMontage(series, true, 0);
    EXPECT_TRUE(r.made.made);
    EXPECT_EQ(r.pictures, 40);
}

// A 96 x 64 PNG of noise, whose bytes a test cuts short to damage a picture.
QByteArray noisePng() {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage noise(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) noise.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * y) & 255, (x ^ y) * 3 & 255));
    noise.save(&buffer, "PNG");
    return png;
}

// A file whose header cannot be read is found before any picture is decoded; one whose header
// reads but whose pixels are cut short only when it is decoded. Either is said by name, and no
// montage is made.
TEST(StreamedSeries, SaysWhichFileItCannotRead) {
    struct Damage {
        const char* name;
        int picture;
        std::vector<char> bytes;
    };
    const QByteArray png = noisePng();
    const std::vector<Damage> damages{
        {"no picture at all", 33, std::vector<char>(200, 'x')},
        {"pixels cut short", 35, std::vector<char>(png.begin(), png.begin() + png.size() / 3)},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        const LongSeries series(40, false, false);
        std::ofstream(series.name(d.picture), std::ios::binary | std::ios::trunc).write(d.bytes.data(), std::streamsize(d.bytes.size()));
        const SessionRun r = makeMontage(series, true, 0);
        EXPECT_FALSE(r.made.made);
        ASSERT_EQ(r.shown.size(), 1u);
        EXPECT_EQ(r.shown[0].text, kInvalidPictureText);
        EXPECT_EQ(r.shown[0].details, series.name(d.picture));
    }
}

// An ignored picture is not read ahead either: its pixels, cut short, neither cost a decoding nor
// take the place of the picture in use that cannot be read, which is the one said.
TEST(StreamedSeries, ReadsNoIgnoredPictureAheadAndSaysTheFileInUse) {
    const LongSeries series(8, false, false);
    const QByteArray png = noisePng();
    const std::vector<char> cut(png.begin(), png.begin() + png.size() / 3); // its header whole
    std::ofstream(series.name(3), std::ios::binary | std::ios::trunc).write(cut.data(), std::streamsize(cut.size()));
    IgnoreTicks ignored{};
    ignored[2] = true;
    const SessionRun passed = makeMontage(series, true, 0, false, FocusMethod::Pyramid, 0, ignored);
    EXPECT_TRUE(passed.made.made);
    EXPECT_TRUE(passed.shown.empty()) << passed.shown.front().text;

    std::ofstream(series.name(6), std::ios::binary | std::ios::trunc).write(cut.data(), std::streamsize(cut.size()));
    const SessionRun r = makeMontage(series, true, 0, false, FocusMethod::Pyramid, 0, ignored);
    EXPECT_FALSE(r.made.made);
    ASSERT_EQ(r.shown.size(), 1u);
    EXPECT_EQ(r.shown[0].text, kInvalidPictureText);
    EXPECT_EQ(r.shown[0].details, series.name(6));
}


// Picture 3 is smaller than the others: it is placed, and said, as the stack's fill places and
// says it, so the streamed montage is the in-memory one.
TEST(StreamedSeries, PlacesAPictureOfAnotherSizeAsTheStackDoes) {
    LongSeries series(6, false, false);
    const sample::SeriesOptions small{80, 52, 6, 1, 0, sample::Scene::Rings};
    const sample::Picture p = sample::SeriesMaker(small).picture(3);
    savePicture(BgrView{p.cells.data(), p.width, p.height, std::size_t(roundUp4(p.width)) * 3}, series.name(3), {});
    const SessionRun inMemory = makeMontage(series, false, 0);
    const SessionRun streamed = makeMontage(series, true, 0);
    ASSERT_TRUE(inMemory.made.made);
    ASSERT_TRUE(streamed.made.made);
    EXPECT_EQ(streamed.cells, inMemory.cells);
    EXPECT_EQ(streamed.choices.pictures, inMemory.choices.pictures);
    ASSERT_EQ(streamed.shown.size(), 1u);
    EXPECT_EQ(streamed.shown, inMemory.shown);
    EXPECT_NE(streamed.shown[0].text.find("Image 3 has a different dimension (80,52)"), std::string::npos);
}

// A picture past the tenth has no "Ignore Image" entry, but one of another size goes into the
// montage out of line all the same: it is said, read whole or streamed.
TEST(StreamedSeries, SaysAPictureOfAnotherSizePastTheTenth) {
    LongSeries series(12, false, false);
    const sample::SeriesOptions small{80, 52, 12, 1, 0, sample::Scene::Rings};
    const sample::Picture p = sample::SeriesMaker(small).picture(12);
    savePicture(BgrView{p.cells.data(), p.width, p.height, std::size_t(roundUp4(p.width)) * 3}, series.name(12), {});
    for (const bool stream : {false, true}) {
        const SessionRun r = makeMontage(series, stream, 0);
        ASSERT_TRUE(r.made.made);
        ASSERT_EQ(r.shown.size(), 1u) << stream;
        EXPECT_NE(r.shown[0].text.find("Image 12 has a different dimension (80,52)"), std::string::npos) << stream;
    }
}

// A series kept as it is read: every later read gives the picture without its file, aligned or
// not, the same bytes as a read of the file; a series larger than it may keep is read from its
// files every time.
struct SeriesReads {
    std::vector<std::vector<std::uint8_t>> cells;
    std::vector<DeepPicture> deep;
};

SeriesReads readAll(StreamedSeries& s) {
    SeriesReads r;
    SourcePicture read;
    for (int n = 1; n <= s.count(); ++n) {
        s.read(n, true, read);
        if (!read.cells) throw std::runtime_error("no cells");
        r.cells.emplace_back(read.cells, read.cells + std::size_t(s.width()) * std::size_t(s.height()) * 3);
        r.deep.push_back(read.deep ? *read.deep : DeepPicture{});
    }
    return r;
}

class KeptStreamedSeries : public ::testing::TestWithParam<StreamCase> {};

TEST_P(KeptStreamedSeries, GivesThePicturesWithoutTheirFiles) {
    const StreamCase c = GetParam();
    const LongSeries series(7, c.deep, c.align);
    const std::optional<SeriesName> name = parseSeriesName(series.name(1));
    ASSERT_TRUE(name);
    const SeriesScan scan = scanSeries(*name, 30);
    ASSERT_EQ(scan.count, 7);
    auto planOf = [&](StreamedSeries& s) {
        AlignOptions o;
        return std::make_shared<AlignmentPlan>(measureAlignment(s, o));
    };
    // From the files on every pass.
    StreamedSeries fromFiles(*name, scan);
    EXPECT_FALSE(fromFiles.keepWithin(fromFiles.seriesBytes() - 1));
    SeriesReads expected = readAll(fromFiles);
    if (c.align) {
        fromFiles.align(planOf(fromFiles));
        expected = readAll(fromFiles);
    }

    StreamedSeries kept(*name, scan);
    ASSERT_TRUE(kept.keepWithin(kept.seriesBytes()));
    const SeriesReads first = readAll(kept);
    for (int n = 1; n <= 7; ++n) ASSERT_EQ(std::remove(series.name(n).c_str()), 0);
    if (c.align) kept.align(planOf(kept)); // measured from the kept pictures, aligned as they are read
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        const SeriesReads again = readAll(kept);
        EXPECT_EQ(again.cells, expected.cells);
        EXPECT_EQ(again.deep, expected.deep);
    }
    if (!c.align) {
        EXPECT_EQ(first.cells, expected.cells);
    }
    // Not kept, the files are read again: now they are gone.
    try {
        readAll(fromFiles);
        ADD_FAILURE() << "read a removed file";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 481);
        EXPECT_EQ(fromFiles.failedFile(), series.name(1));
    }
}

INSTANTIATE_TEST_SUITE_P(StreamedSeries, KeptStreamedSeries,
                         ::testing::Values(StreamCase{"EightBit", false, false}, StreamCase{"EightBitAligned", false, true},
                                           StreamCase{"SixteenBit", true, false},
                                           StreamCase{"SixteenBitAligned", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv
