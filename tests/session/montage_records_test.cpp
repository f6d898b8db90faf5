// The montages the session owns: what a record holds after Make Montage and the comparisons, how a
// record is saved (every format, the conversion program, projects committed together) and how a
// project comes back into the main record with its settings.
#include "session/montage_session.h"
#include "base/error_sites.h"
#include "session/conversion_run.h"
#include "session/prompting_observer.h"
#include "engine/properties_text.h"
#include "fusion/brightness_evening.h"

#include <QCoreApplication>
#include <cstring>
#include <QFile>
#include "band_picture.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orv {
namespace {

using testing::bandPicture;

struct Rig : testing::BandSessionRig<testing::ShownRequests> {
    using BandSessionRig::BandSessionRig;
    QImage picture(const MontageChoice& which = {}) const {
        const MemorySurface& p = session.record(which).picture;
        QImage img(p.pictureWidth(), p.pictureHeight(), QImage::Format_RGB888);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const std::uint8_t* c = p.pixelAt(x, y);
                img.setPixel(x, y, qRgb(c[2], c[1], c[0]));
            }
        return img;
    }
};

QImage fileImage(const std::string& path) { return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888); }

// A request for the series starting at `first`, with blocks of 10 and the usual smoothing factors.
MontageRequest batchRequest(const QString& first) {
    MontageRequest r;
    r.firstFileName = first.toStdString();
    r.incrementText = "10";
    r.smoothing.edgeFactor = 0.1f;
    r.smoothing.focusFactor = 0.1f;
    r.smoothing.diffFactor = 100;
    return r;
}

TEST(MontageRecords, TheMainRecordHoldsThePictureMapPropertiesAndRequestOfTheMontage) {
    Rig rig;
    MontageRequest r = rig.request();
    r.incrementText = "7"; // below 10: the montage is made with "10"
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    const MontageRecord& main = rig.session.record({});
    // The picture is slot 100 of the arrays, rows from the bottom there.
    const MontageBuffers& m = rig.state.montage.arrays.montage;
    ASSERT_EQ(main.picture.pictureWidth(), 60);
    ASSERT_EQ(main.picture.pictureHeight(), 40);
    for (int y = 0; y < 40; ++y)
        ASSERT_EQ(0, std::memcmp(main.picture.pixelAt(0, y), m.slot(100).data() + std::size_t(39 - y) * m.width() * 3, 60 * 3)) << y;
    EXPECT_EQ(main.map.substr(0, 8), "112233\r\n");
    EXPECT_EQ(main.request.incrementText, "10");
    EXPECT_EQ(main.increment, 10);
    EXPECT_EQ(main.firstFileName, rig.path("b1.bmp"));
    EXPECT_NE(main.properties.find("  Increment size =10\r\n"), std::string::npos);
    EXPECT_TRUE(main.choices.pictures.empty());
}

TEST(MontageRecords, ABatchRunThatReadsTheMontageFromItsRecordHoldsItOnce) {
    // Pictures of 58 x 37: the montage's rows are rounded up to 60 cells and 40 rows.
    QTemporaryDir dir;
    for (int k = 1; k <= 3; ++k)
        bandPicture(k, 11u * k, true).copy(0, 0, 58, 37).save(dir.filePath(QStringLiteral("o%1.bmp").arg(k)), "BMP");
    const MontageRequest r = batchRequest(dir.filePath("o1.bmp"));
    RecordingPrompter prompter;
    PromptingObserver observer{prompter};
    SessionState copied, moved;
    copied.smoothing = moved.smoothing = r.smoothing;
    MontageSession withCopy{copied, observer};
    SessionOptions once;
    once.montageInRecordOnly = true;
    MontageSession withoutCopy{moved, observer, once};
    ASSERT_TRUE(withCopy.makeMontage(r).made);
    ASSERT_TRUE(withoutCopy.makeMontage(r).made);
    // The record took the slot's pixels: the same picture, cells beyond it black as before.
    EXPECT_TRUE(moved.montage.arrays.montage.slot(100).empty());
    EXPECT_FALSE(copied.montage.arrays.montage.slot(100).empty());
    const MemorySurface& a = withCopy.record({}).picture;
    const MemorySurface& b = withoutCopy.record({}).picture;
    ASSERT_EQ(b.pictureWidth(), 58);
    ASSERT_EQ(b.pictureHeight(), 37);
    EXPECT_EQ(a.rounded(), b.rounded());
    EXPECT_EQ(withCopy.record({}).map, withoutCopy.record({}).map);
    // A command that works on the slot after all gets the montage back into it.
    const auto smoothedCopy = withCopy.smooth({}, r, false, true, kSmoothRoutine, 0);
    const auto smoothedMoved = withoutCopy.smooth({}, r, false, true, kSmoothRoutine, 0);
    ASSERT_TRUE(smoothedCopy && smoothedMoved);
    EXPECT_EQ(smoothedCopy->report, smoothedMoved->report);
    EXPECT_EQ(withCopy.record({}).picture.rounded(), withoutCopy.record({}).picture.rounded());
    EXPECT_TRUE(prompter.shown.empty());
}

TEST(MontageRecords, ABatchRunThatLetsTheStackGoKeepsTheChoicesAndReadsTheSeriesAgain) {
    // Twelve pictures: above ten a digit of the map names its picture only with the stack there.
    QTemporaryDir dir;
    for (int k = 1; k <= 12; ++k)
        bandPicture((k - 1) % 3 + 1, 7u * k + 1, true).save(dir.filePath(QStringLiteral("t%1.bmp").arg(k, 2, 10, QLatin1Char('0'))), "BMP");
    const MontageRequest r = batchRequest(dir.filePath("t01.bmp"));
    RecordingPrompter prompter;
    PromptingObserver observer{prompter};
    SessionState kept, letGo;
    kept.smoothing = letGo.smoothing = r.smoothing;
    SessionOptions keeping;
    keeping.montageInRecordOnly = true;
    keeping.reuseDecodedSeries = true;
    SessionOptions releasing = keeping;
    releasing.releaseStackAfterMontage = true;
    MontageSession withStack{kept, observer, keeping};
    MontageSession withoutStack{letGo, observer, releasing};
    ASSERT_TRUE(withStack.makeMontage(r).made);
    ASSERT_TRUE(withoutStack.makeMontage(r).made);
    ASSERT_EQ(letGo.series.imageCount, 12);
    for (const std::vector<std::uint8_t>& picture : letGo.montage.arrays.stack.pictures) EXPECT_TRUE(picture.empty());
    EXPECT_EQ(withStack.record({}).picture.rounded(), withoutStack.record({}).picture.rounded());
    // The depth map names the pictures the block loop chose, pictures 11 and 12 among them.
    const PictureChoices a = withStack.depthChoices({}), b = withoutStack.depthChoices({});
    EXPECT_EQ(a.pictures, b.pictures);
    EXPECT_NE(std::find_if(b.pictures.begin(), b.pictures.end(), [](std::uint16_t n) { return n > 10; }), b.pictures.end());
    // A smoothing pass has no pictures to take blocks from: it is refused, not run on empty cells.
    EXPECT_FALSE(withoutStack.smooth({}, r, false, false, kSmoothRoutine, 0));
    // The next montage reads the series again.
    ASSERT_TRUE(withoutStack.makeMontage(r).made);
    EXPECT_EQ(withStack.record({}).picture.rounded(), withoutStack.record({}).picture.rounded());
    EXPECT_EQ(withStack.record({}).map, withoutStack.record({}).map);
}

// Records the bytes the stack holds while each picture of a series is read, and stops the run at
// picture `stopAt` when asked.
class StackWatch : public PromptingObserver {
public:
    using PromptingObserver::PromptingObserver;
    const SessionState* state = nullptr;
    std::size_t mostHeld = 0;
    int stopAt = 0; // 0: never
    int read = 0;
    void pictureLoaded(int k, const std::string&, const MemorySurface&, QImage) override {
        read = k;
        std::size_t held = 0;
        for (const std::vector<std::uint8_t>& picture : state->montage.arrays.stack.pictures) held += picture.size();
        mostHeld = std::max(mostHeld, held);
    }
    bool stopRequested() override { return stopAt > 0 && read >= stopAt; }
};

// Make Montage again (another increment, the same or another series): the pictures the stack holds
// from the run before go before the series is read again, so a series is never held twice over
// (one that fitted in the memory left the first time would not fit the second). A run stopped
// while it reads leaves the earlier montage's choices as they were, pictures 11 and 12 among them.
TEST(MontageRecords, MakeMontageAgainLetsTheEarlierPicturesGoBeforeItReadsTheSeries) {
    QTemporaryDir dir;
    for (int k = 1; k <= 12; ++k)
        bandPicture((k - 1) % 3 + 1, 7u * k + 1, true).save(dir.filePath(QStringLiteral("t%1.bmp").arg(k, 2, 10, QLatin1Char('0'))), "BMP");
    MontageRequest r = batchRequest(dir.filePath("t01.bmp"));
    RecordingPrompter prompter;
    StackWatch watch{prompter};
    SessionState state;
    watch.state = &state;
    state.smoothing = r.smoothing;
    MontageSession session{state, watch};
    ASSERT_TRUE(session.makeMontage(r).made);
    const std::string map = session.record({}).map;
    const PictureChoices choices = session.depthChoices({});
    ASSERT_NE(std::find_if(choices.pictures.begin(), choices.pictures.end(), [](std::uint16_t n) { return n > 10; }),
              choices.pictures.end());

    watch.mostHeld = 0;
    r.incrementText = "20";
    ASSERT_TRUE(session.makeMontage(r).made);
    EXPECT_EQ(watch.mostHeld, 0u);
    r.incrementText = "10";
    ASSERT_TRUE(session.makeMontage(r).made);
    EXPECT_EQ(session.record({}).map, map);
    EXPECT_EQ(session.depthChoices({}).pictures, choices.pictures);

    watch.stopAt = 5;
    EXPECT_TRUE(session.makeMontage(r).stopped);
    EXPECT_EQ(watch.mostHeld, 0u);
    EXPECT_EQ(session.record({}).map, map);
    EXPECT_EQ(session.depthChoices({}).pictures, choices.pictures);
    // Its pictures are gone: a smoothing pass is refused, not run on empty cells.
    EXPECT_FALSE(session.smooth({}, r, false, false, kSmoothRoutine, 0));
    EXPECT_TRUE(prompter.shown.empty()) << prompter.shown[0].text;
}

TEST(MontageRecords, EachComparedMethodKeepsItsOwnRecordAndTheUsersRequestStaysAsItWas) {
    Rig rig;
    const MontageRequest r = rig.request();
    RecordingPrompter answers;
    const ComparisonResult result = rig.session.compareAllMethods(r, 0, &answers);
    ASSERT_TRUE(result.ran);
    for (int k = 0; k < kComparisonMontages; ++k) {
        const MontageRecord& kept = rig.session.record(MontageChoice{k});
        ASSERT_FALSE(kept.empty()) << k;
        // The stages run from the last method to the first.
        EXPECT_EQ(int(kept.request.method), 4 - k) << k;
        EXPECT_NE(kept.properties.find("Montage method used =" + std::to_string(4 - k)), std::string::npos) << k;
        EXPECT_EQ(kept.request.firstFileName, r.firstFileName);
    }
    // What the controls were asked to show: each stage's method, the user's file and increment.
    ASSERT_EQ(rig.observer.requests.size(), 5u);
    for (const MontageRequest& shown : rig.observer.requests) {
        EXPECT_EQ(shown.incrementText, "10");
        EXPECT_EQ(shown.firstFileName, r.firstFileName);
    }
}

TEST(MontageRecords, ARunThatWritesOnlyTheRecommendedMethodKeepsThatMontageAlone) {
    SessionOptions bestOnly;
    bestOnly.keepBestComparisonOnly = true;
    Rig all, one(bestOnly);
    // Pictures whose channels are sharp in different places, so that the methods choose differently.
    for (Rig* rig : {&all, &one})
        for (int k = 1; k <= 3; ++k) {
            QImage img(60, 40, QImage::Format_RGB32);
            unsigned seed = 7u * unsigned(k);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 60; ++x) {
                    int c[3];
                    for (int ch = 0; ch < 3; ++ch) {
                        seed = seed * 1664525u + 1013904223u;
                        const int amp = (x / 20 + y / 20 + k + ch) % 3 == 0 ? 120 : 6;
                        c[ch] = 128 + int(seed >> 24) % (2 * amp) - amp;
                    }
                    img.setPixel(x, y, qRgb(c[0], c[1], c[2]));
                }
            img.save(QString::fromStdString(rig->path(("b" + std::to_string(k) + ".bmp").c_str())), "BMP");
        }
    RecordingPrompter answersAll, answersOne;
    const ComparisonResult a = all.session.compareAllMethods(all.request(), 0, &answersAll);
    const ComparisonResult b = one.session.compareAllMethods(one.request(), 0, &answersOne);
    ASSERT_TRUE(a.ran && b.ran);
    ASSERT_EQ(a.candidates.size(), 5u);
    ASSERT_EQ(b.candidates.size(), 5u);
    for (std::size_t i = 0; i < a.candidates.size(); ++i) EXPECT_EQ(a.candidates[i].score, b.candidates[i].score) << i;
    ASSERT_TRUE(a.message && b.message);
    EXPECT_EQ(a.message->text, b.message->text);
    // Only the recommended method's montage is still held, the same as the full comparison keeps.
    const int best = 4 - int(one.state.evaluation.bestMethod);
    // A later method beats the first, which was kept until then.
    ASSERT_GT(best, 0);
    for (int k = 0; k < kComparisonMontages; ++k) {
        EXPECT_FALSE(all.session.record(MontageChoice{k}).empty()) << k;
        EXPECT_EQ(one.session.record(MontageChoice{k}).empty(), k != best) << k;
    }
    const MontageRecord& kept = one.session.record(MontageChoice{best});
    EXPECT_EQ(kept.picture.rounded(), all.session.record(MontageChoice{best}).picture.rounded());
    EXPECT_EQ(kept.map, all.session.record(MontageChoice{best}).map);
    EXPECT_EQ(kept.request.method, all.session.record(MontageChoice{best}).request.method);
    EXPECT_EQ(one.session.record({}).picture.rounded(), all.session.record({}).picture.rounded());
}

TEST(MontageRecords, SavingWritesTheRecordInTheFormatOfTheName) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const QImage expected = rig.picture();
    for (const char* name : {"m.bmp", "m.png", "m.tif", "m"}) {
        EXPECT_EQ(rig.session.saveMontage({}, rig.path(name), {}), "") << name;
        EXPECT_EQ(fileImage(rig.path(name)), expected) << name;
    }
    // JPEG through the conversion program of the program's folder, waited for.
    const std::string programs = QCoreApplication::applicationDirPath().toStdString() + "/";
    EXPECT_EQ(rig.session.saveMontage({}, rig.path("m.jpg"), SaveMontageOptions{{}, programs, {}}), "");
    EXPECT_EQ(fileImage(rig.path("m.jpg")).size(), QSize(60, 40));
    // Without the program nothing is written and the user is told why.
    const std::string told = rig.session.saveMontage({}, rig.path("n.jpg"), SaveMontageOptions{{}, rig.path("none"), {}});
    EXPECT_EQ(told.rfind("I could not start the JPEG conversion program", 0), 0u) << told;
    EXPECT_FALSE(std::filesystem::exists(rig.path("n.jpg")));
    // No montage: error 5, nothing written.
    EXPECT_THROW(rig.session.saveMontage(MontageChoice{2}, rig.path("c.bmp"), {}), RuntimeError);
    EXPECT_FALSE(std::filesystem::exists(rig.path("c.bmp")));
}

TEST(MontageRecords, AProjectsTwoFilesAreWrittenTogetherOrNotAtAll) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    rig.session.saveProject({}, rig.path("p.mon"));
    EXPECT_EQ(fileImage(rig.path("p.vrk")), rig.picture());
    std::ifstream text(rig.path("p.mon"), std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(text)), {});
    EXPECT_EQ(saved, "[project]\r\n" + rig.session.record({}).properties + "\r\n");
    // The project file cannot be written (a folder has its name): its bitmap does not appear either.
    std::filesystem::create_directory(rig.path("q.mon"));
    EXPECT_THROW(rig.session.saveProject({}, rig.path("q.mon")), RuntimeError);
    EXPECT_FALSE(std::filesystem::exists(rig.path("q.vrk")));
    // A project named as its own bitmap would keep only its text: nothing is written.
    EXPECT_THROW(rig.session.saveProject({}, rig.path("r.vrk")), RuntimeError);
    EXPECT_FALSE(std::filesystem::exists(rig.path("r.vrk")));
}

TEST(MontageRecords, AnOpenedProjectBecomesTheMainRecordWithItsSettingsShown) {
    Rig rig;
    MontageRequest made = rig.request();
    made.method = FocusMethod::Green;
    made.ignored[1] = true;
    ASSERT_TRUE(rig.session.makeMontage(made).made);
    rig.session.saveProject({}, rig.path("p.mon"));
    const QImage saved = rig.picture();
    const MontageRecord savedRecord = rig.session.record({});

    Rig other;
    MontageRequest current = other.request();
    current.colourMatch = true;
    ASSERT_EQ(other.session.openProject(rig.path("p.mon"), current), ProjectOutcome::Opened);
    ASSERT_EQ(other.observer.requests.size(), 1u);
    const MontageRequest& shown = other.observer.requests[0];
    EXPECT_EQ(shown.firstFileName, rig.path("b1.bmp"));
    EXPECT_EQ(shown.method, FocusMethod::Green);
    EXPECT_EQ(shown.ignored, made.ignored);
    EXPECT_TRUE(shown.colourMatch); // what the project does not name stays
    const MontageRecord& main = other.session.record({});
    EXPECT_EQ(other.picture(), saved);
    EXPECT_EQ(main.map, savedRecord.map);
    EXPECT_EQ(main.properties, savedRecord.properties);
    EXPECT_EQ(other.state.series.imageCount, 3);
    EXPECT_TRUE(other.prompter.shown.empty());
}

// The stamps kept beside a project come back as they were written, names with line ends and all;
// a damaged file gives none.
TEST(MontageRecords, PictureStampsKeptBesideAProjectComeBackAsTheyWere) {
    QTemporaryDir dir;
    const std::string project = dir.path().toStdString() + "/kept.MON";
    EXPECT_EQ(pictureStampsNameFor(project), dir.path().toStdString() + "/kept.stamps");
    PictureFileStamp there = stampPictureFile(project);
    there.name = "/pics/a\nb 1:2.bmp";
    there.exists = true;
    there.device = 0xfd00;
    there.inode = 18446744073709551615ull;
    there.size = 123;
    there.modifiedSeconds = -5;
    there.modifiedNanoseconds = 999999999;
    PictureFileStamp gone;
    gone.name = "/pics/c.bmp";
    const std::vector<PictureFileStamp> stamps{there, gone};
    writePictureStamps(pictureStampsNameFor(project), stamps);
    EXPECT_EQ(readPictureStamps(pictureStampsNameFor(project)), stamps);
    EXPECT_TRUE(readPictureStamps(project).empty());
    for (const std::string damaged : {"1 2 3 4 5 6 99:/short\n", "1 2 3 4 5 6 2:/ab\n", "x\n"}) {
        std::ofstream(pictureStampsNameFor(project), std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_TRUE(readPictureStamps(pictureStampsNameFor(project)).empty()) << damaged;
    }
}

// Opens, over a montage just made, a project of b1.bmp's series with `settings` after its first file
// name: it is refused with one message, the controls untouched and the montage as it was.
void expectProjectRefused(Rig& rig, const std::string& settings, const std::string& said) {
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const MontageRecord before = rig.session.record({});
    std::ofstream(rig.path("refused.mon"), std::ios::binary)
        << "[project]\r\n\r\n  First file name =" << rig.path("b1.bmp") << "\r\n" << settings
        << "  Montage made from dominant image numbers:\r\n1\r\n\r\n";
    EXPECT_EQ(rig.session.openProject(rig.path("refused.mon"), rig.request()), ProjectOutcome::Failed);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, said);
    EXPECT_TRUE(rig.observer.requests.empty()); // the controls were not touched
    EXPECT_EQ(rig.session.record({}).picture.rounded(), before.picture.rounded());
}

TEST(MontageRecords, AProjectWithANumberBeyondSixteenBitsIsRefusedAndNothingChanges) {
    Rig rig;
    expectProjectRefused(rig,
                         "  Increment size =10\r\n  Offset display method =Same\r\n  Image 1 offset X =65618\r\n"
                         "  Image 1 offset Y =3\r\n",
                         "error 6 (Overflow) at line 0 of mnuOpenProject");
}

// A project naming a montage method this version does not have was opened with method 0 ticked,
// as if it had been made with it, and a retouched one made again with it: it is refused, saying why.
TEST(MontageRecords, AProjectWithAMethodThisVersionDoesNotHaveIsRefused) {
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(expectProjectRefused(rig, "  Montage method used =9 (Some Later Focus)\r\n  Increment size =10\r\n",
                                                 "error 5 (the project was made with montage method 9, which this "
                                                 "version does not have) at line 0 of mnuOpenProject"));
    EXPECT_EQ(rig.prompter.shown[0].icon, PromptIcon::Critical);
}

// A retouched project whose strokes file this version cannot read (a later version's) is refused
// before the controls take its settings, as a broken number is.
TEST(MontageRecords, AProjectWithAStrokesFileOfALaterVersionIsRefusedAndNothingChanges) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    rig.session.applyStroke({}, retouch::Stroke{2, retouch::Brush{3, 100, 100, false}, {{5, 5}}});
    rig.session.saveProject({}, rig.path("p.mon"));
    std::ofstream(rig.path("p.strokes"), std::ios::binary | std::ios::trunc)
        << "orvanta-strokes 2\nstroke 2 3 100 100 0 5,5 pressure=0.5\n";
    rig.observer.requests.clear();
    EXPECT_EQ(rig.session.openProject(rig.path("p.mon"), rig.request()), ProjectOutcome::Failed);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_NE(rig.prompter.shown[0].text.find("strokes file version 2 is not known"), std::string::npos)
        << rig.prompter.shown[0].text;
    EXPECT_TRUE(rig.observer.requests.empty()); // the controls were not touched
}

// What a project's settings make of the request the controls hold.
struct ProjectCase {
    const char* label;
    std::function<void(ProjectSettings&)> project;
    std::function<void(MontageRequest&)> current;
    std::function<void(const MontageRequest&)> check;
};

class ProjectRequests : public ::testing::TestWithParam<ProjectCase> {};

TEST_P(ProjectRequests, TakeWhatTheProjectNamesAndKeepTheRest) {
    const ProjectCase& c = GetParam();
    ProjectSettings s;
    s.firstFileName = "/p/a01.bmp";
    s.incrementText = "30";
    s.method = 2;
    c.project(s);
    MontageRequest current;
    current.firstFileName = "/q/b01.bmp";
    c.current(current);
    const MontageRequest r = projectRequest(s, current);
    EXPECT_EQ(r.firstFileName, "/p/a01.bmp");
    EXPECT_EQ(r.incrementText, "30");
    c.check(r);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProjectRequests,
    ::testing::Values(
        ProjectCase{"neither_offsets_nor_alignment_keeps_the_current_ticks", [](ProjectSettings&) {},
                    [](MontageRequest& r) { r.align = true; },
                    [](const MontageRequest& r) {
                        EXPECT_TRUE(r.align);
                        EXPECT_FALSE(r.useOffsets);
                        EXPECT_EQ(r.method, FocusMethod::Red);
                    }},
        ProjectCase{"alignment_switches_the_offsets_off",
                    [](ProjectSettings& s) { s.automaticAlignment = true; },
                    [](MontageRequest& r) {
                        r.useOffsets = true;
                        r.colourMatch = true;
                    },
                    [](const MontageRequest& r) {
                        EXPECT_TRUE(r.align);
                        EXPECT_FALSE(r.useOffsets);
                        EXPECT_FALSE(r.colourMatch); // the project's pictures were not matched in colour
                    }},
        ProjectCase{"alignment_matches_colours_as_the_project_did",
                    [](ProjectSettings& s) {
                        s.automaticAlignment = true;
                        s.colourMatch = true;
                    },
                    [](MontageRequest&) {},
                    [](const MontageRequest& r) {
                        EXPECT_TRUE(r.align);
                        EXPECT_TRUE(r.colourMatch);
                    }},
        ProjectCase{"offsets_bring_their_targets_and_area",
                    [](ProjectSettings& s) {
                        s.usesOffsets = true;
                        s.area = ProjectArea::Maximum;
                        s.targets[2] = std::pair{24, 13};
                    },
                    [](MontageRequest& r) {
                        r.align = true;
                        OffsetTable t{};
                        t[1] = ImageOffset{5, 6};
                        r.targets = t;
                    },
                    [](const MontageRequest& r) {
                        EXPECT_TRUE(r.useOffsets);
                        EXPECT_FALSE(r.align);
                        EXPECT_EQ(r.area, DisplayArea::Maximum);
                        ASSERT_TRUE(r.targets);
                        EXPECT_EQ((*r.targets)[2], (ImageOffset{24, 13}));
                        EXPECT_EQ((*r.targets)[1], (ImageOffset{5, 6})); // a target the project does not name stays
                    }},
        ProjectCase{"an_unknown_method_is_the_first", [](ProjectSettings& s) { s.method = 17; },
                    [](MontageRequest&) {}, [](const MontageRequest& r) { EXPECT_EQ(r.method, FocusMethod::ColorSpace3D); }}),
    [](const auto& info) { return std::string(info.param.label); });

// The conversion program's outcomes, with a stand-in program written for each case.
// The notes on evened pictures and the camera orientation line went in after the first place the
// words of their neighbouring lines appeared: in a folder named with those words, inside the first
// file name, which they cut in two.
TEST(MontageRecords, ReportLinesGoBesideTheirNeighboursNotIntoAFileNameWithTheSameWords) {
    PropertiesInput in;
    in.firstFileName = "/pics/x  Number of files found =2  Increment size =9/shot01.bmp";
    in.pictureCount = 3;
    in.method = int(FocusMethod::Pyramid);
    in.incrementText = "20";
    in.map = "123\r\n";
    const std::string report =
        withOrientationLine(withEvenedLines(buildPropertiesText(in), {EvenedPicture{2, 0.5}}), 6);
    const std::string firstLine = "\r\n  First file name =" + in.firstFileName + "\r\n";
    EXPECT_EQ(report.compare(0, firstLine.size(), firstLine), 0) << report;
    const std::string countLine = "  Number of files found =3\r\n";
    EXPECT_NE(report.find(countLine + "  Camera orientation =6 (pictures turned upright)\r\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("\r\n  Note: image 2 is 100 % brighter than the series and is evened out\r\n"
                          "  Increment size =20\r\n"),
              std::string::npos)
        << report;
}

// Which of a project's sides left the montage it was saved with, by the map it holds (3 x 2 blocks
// of 20: a 60 x 40 montage).
TEST(MontageRecords, TheMapTellsWhetherTheBitmapOrThePicturesChanged) {
    const std::string map = "123\r\n321\r\n";
    struct Case {
        const char* label;
        std::string map;
        bool cropped;
        int storedW, storedH, w, h;
        ProjectMisfit misfit;
    };
    for (const Case& c : {
             Case{"pictures grew", map, false, 60, 40, 80, 52, ProjectMisfit::Pictures},
             Case{"bitmap replaced", map, false, 80, 52, 60, 40, ProjectMisfit::Bitmap},
             Case{"bitmap cut down", map, false, 60, 20, 60, 40, ProjectMisfit::Bitmap},
             Case{"both changed", map, false, 80, 52, 100, 40, ProjectMisfit::Pictures},
             Case{"within the same blocks", map, false, 58, 40, 60, 40, ProjectMisfit::Pictures},
             Case{"no map", "", false, 80, 52, 60, 40, ProjectMisfit::Pictures},
             Case{"uneven map", "123\r\n32\r\n", false, 80, 52, 60, 40, ProjectMisfit::Pictures},
             // Aligned pictures, loaded unaligned, are larger than the montage of their common area.
             Case{"cropped, bitmap replaced", map, true, 120, 80, 72, 48, ProjectMisfit::Bitmap},
             Case{"cropped, pictures shrank", map, true, 60, 40, 40, 30, ProjectMisfit::Pictures},
         })
        EXPECT_EQ(projectMisfit(c.map, 20, c.cropped, c.storedW, c.storedH, c.w, c.h), c.misfit) << c.label;
}

TEST(ConversionRun, ReportsTheProgramsExitItsMessageAndACrash) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    auto program = [&](const std::string& body) {
        const std::string path = folder + "orvantajpeg";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    };
    program("echo \"  cannot read $1  \" >&2; exit 3");
    ConversionRun run = runConversion(folder, "/t/a.bmp", "/t/b.jpg");
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.succeeded());
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.message, "cannot read /t/a.bmp,/t/b.jpg");
    EXPECT_EQ(conversionFailureText(run, folder, "/t/b.jpg"), run.message);

    program("kill -SEGV $$");
    run = runConversion(folder, "a", "b");
    EXPECT_TRUE(run.crashed);
    EXPECT_EQ(conversionFailureText(run, folder, "b"), "The JPEG conversion program stopped unexpectedly;  'b'  was not written.");

    program("exit 0");
    EXPECT_TRUE(runConversion(folder, "a", "b").succeeded());
    std::filesystem::remove(folder + "orvantajpeg");
    EXPECT_FALSE(runConversion(folder, "a", "b").started);
}

} // namespace
} // namespace orv
