// A series a turned camera stored with orientation tags makes the montage its upright pictures
// make, by every route a montage is made and saved (the stack, the streamed batch series, the
// full-depth merge and assembly), every picture turned by the first picture's tag; projects keep
// their target centres on the same pixels.
#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include "input/deep_reader.h"
#include "output/picture_metadata.h"
#include "settings/project_file.h"

#include "band_picture.h"
#include "support/oriented_pictures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace orv {
namespace {

using testing::bandPicture;

enum class Kind { Png8, Tiff16 };

// Three band pictures p1 ... p3 as the camera stored them (each turned the other way by
// `storedTurn`), tagged `tags[k]`; `storedTurn` 1 and tags 1 give the upright series itself.
struct TaggedSeries {
    QTemporaryDir dir;
    Kind kind;
    TaggedSeries(Kind k, int storedTurn, const std::array<int, 3>& tags) : kind(k) {
        for (int n = 1; n <= 3; ++n) {
            const QImage stored = test::storedAs(bandPicture(n, 11u * n, true), storedTurn);
            if (kind == Kind::Png8) test::writeTaggedPng(name(n), stored, tags[std::size_t(n - 1)], 8);
            else test::writeTaggedTiff(name(n), stored, tags[std::size_t(n - 1)], 16);
        }
    }
    std::string name(int n) const {
        return dir.path().toStdString() + "/p" + std::to_string(n) + (kind == Kind::Png8 ? ".png" : ".tif");
    }
};

struct Made {
    bool made = false;
    int width = 0, height = 0;
    std::vector<std::uint8_t> cells;
    std::string map;
    DeepPicture saved; // the montage saved as a PNG, read back at full depth
    std::vector<std::string> said;
    std::vector<Prompt> shown;
};

Made makeAndSave(const TaggedSeries& series, FocusMethod method, bool stream) {
    RecordingPrompter prompter;
    PromptingObserver observer(prompter);
    SessionState state;
    state.programFolder = series.dir.path().toStdString() + "/";
    SessionOptions options;
    options.streamPyramid = stream;
    MontageSession session(state, observer, options);
    MontageRequest r;
    r.firstFileName = series.name(1);
    r.incrementText = "10";
    r.method = method;
    r.smoothing.autoSmooth = 0;
    Made m;
    m.made = session.makeMontage(r).made;
    const MontageRecord& main = state.montage.main();
    m.width = main.picture.pictureWidth();
    m.height = main.picture.pictureHeight();
    m.cells = main.picture.rounded();
    m.map = main.map;
    const std::string out = state.programFolder + "m.png";
    SaveMontageOptions save{{}, std::nullopt, [&](const std::string& line) { m.said.push_back(line); }};
    EXPECT_EQ(session.saveMontage({}, out, save), "");
    EXPECT_EQ(readDeepPicture(out, m.saved), DecodeStatus::Ok);
    m.shown = prompter.shown;
    return m;
}

struct RouteCase {
    const char* name;
    Kind kind;
    FocusMethod method;
    bool stream;
};

class TaggedSeriesMontage : public ::testing::TestWithParam<RouteCase> {};

// The camera pointed down: its pixels stored alike, the tags 6, 1 and 8 from shot to shot.
TEST_P(TaggedSeriesMontage, IsTheUprightSeriesMontageWhateverTheLaterPicturesTags) {
    const RouteCase c = GetParam();
    const TaggedSeries tagged(c.kind, 6, {6, 1, 8});
    const TaggedSeries upright(c.kind, 1, {1, 1, 1});
    const Made a = makeAndSave(tagged, c.method, c.stream);
    const Made b = makeAndSave(upright, c.method, c.stream);
    ASSERT_TRUE(a.made);
    ASSERT_TRUE(b.made);
    EXPECT_TRUE(a.shown.empty()) << a.shown.front().text;
    ASSERT_EQ(b.width, 60);
    EXPECT_EQ(a.width, 60);
    EXPECT_EQ(a.height, 40);
    EXPECT_EQ(a.cells, b.cells);
    EXPECT_EQ(a.map, b.map);
    // Saved at the series' depth (a 16-bit series read at full depth, never left at 8 bits for a
    // picture read the other way round), with the same samples.
    EXPECT_TRUE(a.said.empty()) << a.said.front();
    EXPECT_EQ(a.saved.bitsPerSample, c.kind == Kind::Tiff16 ? 16 : 8);
    EXPECT_EQ(a.saved.width, 60);
    EXPECT_EQ(a.saved.samples, b.saved.samples);
}

INSTANTIATE_TEST_SUITE_P(EveryRoute, TaggedSeriesMontage,
                         ::testing::Values(RouteCase{"StackBlocks", Kind::Png8, FocusMethod::ColorSpace3D, false},
                                           RouteCase{"StackPyramid", Kind::Png8, FocusMethod::Pyramid, false},
                                           RouteCase{"StreamedPyramid", Kind::Png8, FocusMethod::Pyramid, true},
                                           RouteCase{"DeepBlocks", Kind::Tiff16, FocusMethod::ColorSpace3D, false},
                                           RouteCase{"DeepPyramid", Kind::Tiff16, FocusMethod::Pyramid, false},
                                           RouteCase{"DeepStreamedPyramid", Kind::Tiff16, FocusMethod::Pyramid, true}),
                         [](const auto& info) { return std::string(info.param.name); });

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A project written before pictures were read upright stored its targets on the pictures as the
// camera stored them: opened now, they mark the same pixels of the upright pictures. A project
// written now says its centres are upright and they stay as they are; an untagged series'
// project is written as before.
TEST(TaggedSeriesProject, KeepsItsTargetsOnTheSamePixels) {
    const TaggedSeries tagged(Kind::Png8, 6, {6, 6, 6});
    const std::string first = tagged.name(1);
    const std::string old = tagged.dir.path().toStdString() + "/old.mon";
    {
        std::ofstream f(old, std::ios::binary);
        f << "[project]\r\n\r\n  First file name =" << first
          << "\r\n  Number of files found =3\r\n  Montage method used =0 (3D Color Space Focus)\r\n"
             "  Increment size =10\r\n  Smoothing =no \r\n  Offset display method =Same\r\n"
             "  Image 1 offset X =5\r\n  Image 1 offset Y =30\r\n  Image 2 offset X =0\r\n  Image 2 offset Y =59\r\n"
             "  Image 3 offset X =39\r\n  Image 3 offset Y =0\r\n"
             "  Montage made from dominant image numbers:\r\n111111\r\n\r\n";
    }
    const MontageRequest opened = projectRequest(readProjectSettings(old), MontageRequest{});
    ASSERT_TRUE(opened.useOffsets && opened.targets);
    const int storedAt[4][2] = {{0, 0}, {5, 30}, {0, 59}, {39, 0}};
    for (int n = 1; n <= 3; ++n) {
        const QImage upright = bandPicture(n, 11u * n, true);
        const QImage stored = test::storedAs(upright, 6);
        const ImageOffset t = (*opened.targets)[std::size_t(n)];
        ASSERT_TRUE(t.x >= 0 && t.x < 60 && t.y >= 0 && t.y < 40) << n << ": " << t.x << "," << t.y;
        EXPECT_EQ(upright.pixel(t.x, t.y), stored.pixel(storedAt[n][0], storedAt[n][1])) << n;
    }

    // Made again and saved: the centres as they were given, and the line that says so.
    RecordingPrompter prompter;
    PromptingObserver observer(prompter);
    SessionState state;
    MontageSession session(state, observer);
    MontageRequest r = opened;
    ASSERT_TRUE(session.makeMontage(r).made);
    const std::string now = tagged.dir.path().toStdString() + "/now.mon";
    session.saveProject({}, now);
    EXPECT_NE(fileText(now).find("\r\n  Camera orientation =6 (pictures turned upright)\r\n"), std::string::npos);
    const MontageRequest again = projectRequest(readProjectSettings(now), MontageRequest{});
    ASSERT_TRUE(again.targets);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ((*again.targets)[std::size_t(n)].x, (*opened.targets)[std::size_t(n)].x) << n;
        EXPECT_EQ((*again.targets)[std::size_t(n)].y, (*opened.targets)[std::size_t(n)].y) << n;
    }

    // An untagged series: the old project's centres as they are, no line written.
    const TaggedSeries plain(Kind::Png8, 1, {1, 1, 1});
    std::string text = fileText(old);
    text.replace(text.find(first), first.size(), plain.name(1));
    const std::string plainProject = plain.dir.path().toStdString() + "/plain.mon";
    std::ofstream(plainProject, std::ios::binary) << text;
    const MontageRequest kept = projectRequest(readProjectSettings(plainProject), MontageRequest{});
    EXPECT_EQ((*kept.targets)[1].x, 5);
    EXPECT_EQ((*kept.targets)[1].y, 30);
    MontageSession plainSession(state, observer);
    ASSERT_TRUE(plainSession.makeMontage(kept).made);
    plainSession.saveProject({}, plain.dir.path().toStdString() + "/again.mon");
    EXPECT_EQ(fileText(plain.dir.path().toStdString() + "/again.mon").find("Camera orientation"), std::string::npos);
}

// A target an older project holds far outside its picture (a hand-edited file) is moved as far
// outside the upright picture: opening the project never fails on it, and the batch run, which
// opens a project before any error is caught, is not ended by it.
TEST(TaggedSeriesProject, AFarTargetOfAnOlderProjectStaysFarOutside) {
    const TaggedSeries tagged(Kind::Png8, 6, {6, 6, 6});
    const std::string old = tagged.dir.path().toStdString() + "/far.mon";
    std::ofstream(old, std::ios::binary)
        << "[project]\r\n\r\n  First file name =" << tagged.name(1)
        << "\r\n  Number of files found =3\r\n  Montage method used =0 (3D Color Space Focus)\r\n"
           "  Increment size =10\r\n  Smoothing =no \r\n  Offset display method =Same\r\n"
           "  Image 1 offset X =32767\r\n  Image 1 offset Y =-32768\r\n"
           "  Montage made from dominant image numbers:\r\n111111\r\n\r\n";
    MontageRequest opened;
    ASSERT_NO_THROW(opened = projectRequest(readProjectSettings(old), MontageRequest{}));
    ASSERT_TRUE(opened.targets);
    // Stored (32767, -32768) of a 40 x 60 picture turned by tag 6 lies at (59 + 32768, 32767).
    EXPECT_EQ((*opened.targets)[1].x, 32767);
    EXPECT_EQ((*opened.targets)[1].y, 32767);

    // A first name whose number passes 16 bits is no series (the run says so): its centres stay.
    const std::string beyond = tagged.dir.path().toStdString() + "/q40000.png";
    test::writeTaggedPng(beyond, test::storedAs(bandPicture(1, 11u, true), 6), 6, 8);
    std::string text;
    {
        std::ifstream in(old, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    text.replace(text.find(tagged.name(1)), tagged.name(1).size(), beyond);
    std::ofstream(old, std::ios::binary | std::ios::trunc) << text;
    ASSERT_NO_THROW(opened = projectRequest(readProjectSettings(old), MontageRequest{}));
    EXPECT_EQ((*opened.targets)[1].x, 32767);
    EXPECT_EQ((*opened.targets)[1].y, -32768);
}

// An older project of pictures that are now turned upright (a half turn keeps their sides) says
// that its stored montage and map no longer match them; a project saved now opens without a word.
TEST(TaggedSeriesProject, AnOlderProjectOfPicturesNowTurnedSaysItsMontageNoLongerMatches) {
    // The series as the program read it before: tagged 3, its pixels taken as stored.
    TaggedSeries series(Kind::Png8, 3, {1, 1, 1});
    RecordingPrompter prompter;
    PromptingObserver observer(prompter);
    SessionState state;
    state.programFolder = series.dir.path().toStdString() + "/";
    MontageSession session(state, observer);
    MontageRequest r;
    r.firstFileName = series.name(1);
    r.incrementText = "10";
    ASSERT_TRUE(session.makeMontage(r).made);
    const std::string old = state.programFolder + "old.mon";
    session.saveProject({}, old);
    for (int n = 1; n <= 3; ++n)
        test::writeTaggedPng(series.name(n), test::storedAs(bandPicture(n, 11u * n, true), 3), 3, 8);

    prompter.shown.clear();
    ASSERT_EQ(session.openProject(old, r), ProjectOutcome::Opened);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, kProjectTurnedText);
    EXPECT_EQ(prompter.shown[0].title, std::string("The pictures have changed"));

    ASSERT_TRUE(session.makeMontage(r).made);
    const std::string now = state.programFolder + "now.mon";
    session.saveProject({}, now);
    prompter.shown.clear();
    ASSERT_EQ(session.openProject(now, r), ProjectOutcome::Opened);
    EXPECT_TRUE(prompter.shown.empty()) << prompter.shown.front().text;
}

} // namespace
} // namespace orv
