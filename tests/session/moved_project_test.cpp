// A project folder moved or copied with its pictures (another disk, another computer, a renamed
// folder): the project still names its first file where it was saved. Opening it reads the series
// from the project's own folder, says so, and a project saved again names the new place; a stored
// name that is there is used as before, and pictures that are in neither place are said as before.
#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include "band_picture.h"
#include "base/runtime_error.h"
#include "retouch/strokes_file.h"
#include "settings/project_file.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orv {
namespace {

using retouch::Brush;
using retouch::Stroke;
namespace fs = std::filesystem;

struct Rig : testing::BandSessionRig<testing::ShownRequests> {
    using BandSessionRig::BandSessionRig;
    std::vector<std::uint8_t> pixels() const { return session.record({}).picture.rounded(); }
};

// Moves every file of `from` into the folder `to` (made here), as a user moves a project folder.
std::string moveFolder(const std::string& from, const std::string& to) {
    fs::create_directory(to);
    for (const auto& entry : fs::directory_iterator(from)) fs::rename(entry.path(), fs::path(to) / entry.path().filename());
    return to + "/";
}

// A folder of its own for the session that opens the project, holding no pictures: a relative first
// name is completed against it and finds nothing there.
struct EmptyProgramFolder {
    QTemporaryDir dir;
    explicit EmptyProgramFolder(Rig& rig) {
        rig.state.programFolder = dir.path().toStdString() + "/";
    }
};

bool sawTitle(const RecordingPrompter& p, const char* title) {
    for (const auto& shown : p.shown)
        if (shown.title == title) return true;
    return false;
}

TEST(MovedProject, OpensItsSeriesFromItsOwnFolderSaysSoAndSavesTheNewPlace) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const std::vector<std::uint8_t> made = rig.pixels();
    rig.session.saveProject({}, rig.path("p.mon"));
    QTemporaryDir elsewhere;
    const std::string moved = elsewhere.path().toStdString() + "/renamed/";
    fs::create_directory(moved);
    for (const auto& entry : fs::directory_iterator(rig.dir.path().toStdString()))
        fs::copy_file(entry.path(), fs::path(moved) / entry.path().filename());

    // Copied: the stored pictures are still there and are the ones read, as before.
    Rig copied;
    EmptyProgramFolder copiedProgram(copied);
    ASSERT_EQ(copied.session.openProject(moved + "p.mon", copied.request()), ProjectOutcome::Opened);
    EXPECT_EQ(copied.observer.requests[0].firstFileName, rig.path("b1.bmp"));
    EXPECT_TRUE(copied.prompter.shown.empty());

    // Moved: the stored pictures are gone.
    for (int k = 1; k <= 3; ++k) fs::remove(rig.dir.path().toStdString() + "/b" + std::to_string(k) + ".bmp");
    Rig other;
    EmptyProgramFolder program(other);
    ASSERT_EQ(other.session.openProject(moved + "p.mon", other.request()), ProjectOutcome::Opened);
    ASSERT_EQ(other.observer.requests.size(), 1u);
    EXPECT_EQ(other.observer.requests[0].firstFileName, moved + "b1.bmp");
    EXPECT_TRUE(other.state.montage.seriesReady);
    EXPECT_EQ(other.state.series.imageCount, 3);
    ASSERT_EQ(other.prompter.shown.size(), 1u);
    EXPECT_EQ(other.prompter.shown[0].title, kMovedSeriesTitle);
    EXPECT_EQ(other.prompter.shown[0].text, movedSeriesText(rig.path("b1.bmp"), moved));
    EXPECT_EQ(other.pixels(), made);

    // Saved again, the project names the series where it is now.
    other.session.saveProject({}, moved + "q.mon");
    EXPECT_EQ(readProjectSettings(moved + "q.mon").firstFileName, moved + "b1.bmp");
    EXPECT_NE(readProjectContents(moved + "q.mon").propertiesText.find("  First file name =" + moved + "b1.bmp\r\n"),
              std::string::npos);
    // The series can be made again from the project's settings.
    ASSERT_TRUE(other.session.makeMontage(other.observer.requests[0]).made);
    EXPECT_EQ(other.pixels(), made);

    // Pictures in neither place: the stored name is kept and its reading says what is wrong, as
    // before; the project's stored montage is still shown.
    fs::remove(moved + "b1.bmp");
    Rig third;
    EmptyProgramFolder thirdProgram(third);
    ASSERT_EQ(third.session.openProject(moved + "p.mon", third.request()), ProjectOutcome::Opened);
    ASSERT_EQ(third.observer.requests.size(), 1u);
    EXPECT_EQ(third.observer.requests[0].firstFileName, rig.path("b1.bmp"));
    EXPECT_FALSE(third.state.montage.seriesReady);
    EXPECT_FALSE(sawTitle(third.prompter, kMovedSeriesTitle));
    EXPECT_FALSE(third.prompter.shown.empty());
    EXPECT_EQ(third.pixels(), made);
}

// A relative first name (a project saved from a montage window) is completed against the program's
// folder; the pictures not there but beside the project are read from there.
TEST(MovedProject, ARelativeFirstNameMissingFromTheProgramFolderIsFoundBesideTheProject) {
    Rig rig;
    MontageRequest r = rig.request();
    r.firstFileName = "b1.bmp";
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    rig.session.saveProject({}, rig.path("p.mon"));
    ASSERT_EQ(readProjectSettings(rig.path("p.mon")).firstFileName, "b1.bmp");
    QTemporaryDir elsewhere;
    const std::string moved = moveFolder(rig.dir.path().toStdString(), elsewhere.path().toStdString() + "/m");

    Rig other;
    EmptyProgramFolder program(other);
    ASSERT_EQ(other.session.openProject(moved + "p.mon", other.request()), ProjectOutcome::Opened);
    EXPECT_EQ(other.observer.requests[0].firstFileName, moved + "b1.bmp");
    EXPECT_TRUE(other.state.montage.seriesReady);
    ASSERT_EQ(other.prompter.shown.size(), 1u);
    EXPECT_EQ(other.prompter.shown[0].text, movedSeriesText(program.dir.path().toStdString() + "/b1.bmp", moved));
}

// A retouched project moved with its pictures: its montage is made again from them and its strokes
// can still be undone.
TEST(MovedProject, ARetouchedProjectMovedWithItsPicturesKeepsItsStrokesUndoable) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const std::vector<std::uint8_t> made = rig.pixels();
    rig.session.applyStrokes({}, {Stroke{3, Brush{9, 30, 90, true}, {{2, 3}, {50, 30}}},
                                  Stroke{1, Brush{5, 100, 100, false}, {{40, 5}}}});
    const std::vector<std::uint8_t> retouched = rig.pixels();
    rig.session.saveProject({}, rig.path("p.mon"));
    QTemporaryDir elsewhere;
    const std::string moved = moveFolder(rig.dir.path().toStdString(), elsewhere.path().toStdString() + "/m");

    Rig other;
    EmptyProgramFolder program(other);
    ASSERT_EQ(other.session.openProject(moved + "p.mon", other.request()), ProjectOutcome::Opened);
    EXPECT_EQ(other.pixels(), retouched);
    EXPECT_EQ(other.session.strokeCount({}), 2);
    ASSERT_TRUE(other.session.undoStroke({}));
    ASSERT_TRUE(other.session.undoStroke({}));
    EXPECT_EQ(other.pixels(), made);
    ASSERT_EQ(other.prompter.shown.size(), 1u) << other.prompter.shown.back().text;
    EXPECT_EQ(other.prompter.shown[0].title, kMovedSeriesTitle);
}

} // namespace
} // namespace orv
