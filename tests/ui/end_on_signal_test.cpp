// The program told to end by a signal (a logout, a service manager) with nobody there to answer:
// the unsaved montage is kept as a project in the state folder and offered at the next start.
#include "work_rig.h"

#include "ui/form_gif.h"
#include "settings/project_file.h"
#include "settings/recovery.h"
#include "support/scoped_home.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace orv;
using namespace orv::testing;

namespace {

// A logout or a service manager ends the program with a signal: nobody is there to answer a
// question, so the unsaved montage is kept as a project in the state folder, and the next start
// offers it; opened, it is still unsaved work that leaving asks about.
TEST(EndOnSignal, KeepsTheUnsavedMontageAndTheNextStartOffersIt) {
    ScopedHome home;
    std::string project;
    QImage made;
    {
        WorkRig rig;
        rig.makeFirst();
        made = rig.montagePicture();
        rig.form->endOnSignal(SIGTERM);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig.quits == 1; }, 5000));
        EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
        EXPECT_FALSE(rig.form->isVisible());
        project = rig.state.preferences.read(kPreferencesSection, kRecoveredProjectKey, "");
        ASSERT_EQ(project.rfind(home.home() + "/state/orvanta/unsaved montage ", 0), 0u) << project;
        EXPECT_TRUE(QFile::exists(QString::fromStdString(project)));
        EXPECT_TRUE(QFile::exists(QString::fromStdString(projectBitmapName(project))));
        // The series is the first rig's: it must still be there when the next start opens it.
        WorkRig next;
        next.state.preferences.write(kPreferencesSection, kRecoveredProjectKey, project);
        next.state.firstActivation = true;
        next.prompter.answerNext(PromptAnswer::Yes);
        next.form->Form_Activate();
        ASSERT_EQ(next.prompter.shown.size(), 1u);
        EXPECT_EQ(next.prompter.shown[0], (Prompt{PromptIcon::Question, PromptButtons::YesNo,
                                                  recoveredProjectText(project), kRecoveredProjectTitle}));
        EXPECT_EQ(next.montagePicture(), made);
        EXPECT_EQ(next.state.series.imageCount, 3);
        EXPECT_TRUE(next.state.montage.main().unsaved);
        // Offered once.
        EXPECT_EQ(next.state.preferences.read(kPreferencesSection, kRecoveredProjectKey, "x"), "");
    }
}

// Preferences that cannot be written (here a folder of that name) cannot name the kept montage: it
// is named in the state folder instead, and the next start still offers it, once.
TEST(EndOnSignal, AMontageKeptWhileThePreferencesCannotBeWrittenIsStillOffered) {
    ScopedHome home;
    const std::string preferences = home.home() + "/orvanta.ini";
    ASSERT_TRUE(std::filesystem::create_directory(preferences));
    WorkRig rig;
    rig.state.preferences = ProfileFile(preferences);
    rig.makeFirst();
    const QImage made = rig.montagePicture();
    rig.form->endOnSignal(SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.quits == 1; }, 5000));
    WorkRig next;
    next.state.preferences = ProfileFile(preferences);
    next.state.firstActivation = true;
    next.prompter.answerNext(PromptAnswer::Yes);
    next.form->Form_Activate();
    ASSERT_EQ(next.prompter.shown.size(), 1u);
    EXPECT_EQ(next.prompter.shown[0].title, kRecoveredProjectTitle);
    EXPECT_EQ(next.montagePicture(), made);
    EXPECT_TRUE(next.state.montage.main().unsaved);
    EXPECT_TRUE(takeRecoveredProjects(next.state.preferences).empty());
    EXPECT_TRUE(std::filesystem::is_directory(preferences));
}

// Copies of the program ended together (a logout) each keep their unsaved montage; the next start
// offers every project still there once, one question each, and not one deleted meanwhile.
TEST(EndOnSignal, EveryCopyEndedTogetherHasItsMontageOfferedAtTheNextStart) {
    ScopedHome home;
    WorkRig a, b, c; // their series must still be there when the next start opens them
    b.state.preferences = a.state.preferences;
    c.state.preferences = a.state.preferences;
    a.makeFirst();
    ASSERT_TRUE(b.make(b.second).made);
    c.makeFirst();
    const QImage madeByB = b.montagePicture();
    const std::string folder = home.home() + "/state/orvanta";
    auto projectsKept = [&] {
        std::set<std::string> kept;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            if (entry.path().extension() == ".mon") kept.insert(entry.path().string());
        return kept;
    };
    std::vector<std::string> kept; // a's, b's, c's
    for (WorkRig* rig : {&a, &b, &c}) {
        const std::set<std::string> before = projectsKept();
        rig->form->endOnSignal(SIGTERM);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig->quits == 1; }, 5000));
        for (const std::string& project : projectsKept())
            if (!before.count(project)) kept.push_back(project);
        ASSERT_EQ(kept.size(), std::size_t(rig == &a ? 1 : rig == &b ? 2 : 3));
    }
    // The user deleted c's meanwhile.
    ASSERT_TRUE(std::filesystem::remove(kept[2]));

    WorkRig next;
    next.state.preferences = a.state.preferences;
    next.state.firstActivation = true;
    next.prompter.answerNext(PromptAnswer::No);
    next.prompter.answerNext(PromptAnswer::Yes);
    next.form->Form_Activate();
    ASSERT_EQ(next.prompter.shown.size(), 2u);
    EXPECT_EQ(next.prompter.shown[0], (Prompt{PromptIcon::Question, PromptButtons::YesNo,
                                              recoveredProjectText(kept[0]), kRecoveredProjectTitle}));
    EXPECT_EQ(next.prompter.shown[1], (Prompt{PromptIcon::Question, PromptButtons::YesNo,
                                              recoveredProjectText(kept[1]), kRecoveredProjectTitle}));
    EXPECT_EQ(next.montagePicture(), madeByB);
    EXPECT_TRUE(next.state.montage.main().unsaved);

    // Offered once.
    WorkRig later;
    later.state.preferences = a.state.preferences;
    later.state.firstActivation = true;
    later.form->Form_Activate();
    EXPECT_TRUE(later.prompter.shown.empty()) << later.prompter.shown[0].text;
}

// Without unsaved work nothing is kept; a run under way is stopped first, and the montage it would
// have replaced is the one kept.
TEST(EndOnSignal, StopsARunAndKeepsOnlyUnsavedWork) {
    ScopedHome home;
    WorkRig rig;
    rig.form->endOnSignal(SIGHUP);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.quits == 1; }, 5000));
    EXPECT_EQ(rig.state.preferences.read(kPreferencesSection, kRecoveredProjectKey, ""), "");

    WorkRig running;
    running.makeFirst();
    const QImage made = running.montagePicture();
    writeTexturedSeries(running.files, "big", 6, QSize(120, 90));
    running.form->textFileName()->setText(QString::fromStdString(running.files.path("big01.bmp")));
    bool signalled = false;
    whenTrue(
        running.form.get(), [&] { return running.form->commandRunning(); },
        [&] {
            signalled = true;
            running.form->endOnSignal(SIGTERM);
        });
    QTest::qWait(60);
    running.prompter.answerNext(PromptAnswer::No); // the montage of another series goes
    running.form->action(Command::MakeMontage)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return running.quits == 1; }, 5000));
    EXPECT_TRUE(signalled);
    EXPECT_TRUE(running.state.montage.main().unsaved);
    const std::string project = running.state.preferences.read(kPreferencesSection, kRecoveredProjectKey, "");
    ASSERT_FALSE(project.empty());
    EXPECT_EQ(QImage(QString::fromStdString(projectBitmapName(project)), "BMP").convertToFormat(QImage::Format_RGB888),
              made);
}

// The signal arrives while the GIF window writes the montage: the file is finished first, as a
// picture being written in any other format is, so the montage is saved and nothing is kept for
// the next start.
TEST(EndOnSignal, WhileTheGifWindowSavesTheFileIsFinishedFirst) {
    ScopedHome home;
    WorkRig rig;
    // Tall, for a save long enough to be caught, yet within the montage window at any screen scale
    // (a GIF larger than the window is offered as a BMP instead).
    const int tall = std::min(400, QGuiApplication::primaryScreen()->availableGeometry().height() / 2);
    writeTexturedSeries(rig.files, "tall", 2, QSize(64, tall));
    ASSERT_TRUE(rig.make(rig.files.path("tall01.bmp")).made);
    const QImage made = rig.montagePicture();
    const std::string saved = rig.files.path("saved while leaving.gif");
    rig.dialogs->chooseFile(QString::fromStdString(saved));
    bool duringSave = false;
    whenTrue(
        rig.form.get(),
        [] {
            const auto* gif = qobject_cast<FormGIF*>(QApplication::activeModalWidget());
            return gif && gif->Picture2()->percent() > 0;
        },
        [&rig, &duringSave] {
            duringSave = true;
            rig.form->endOnSignal(SIGTERM);
        });
    rig.form->action(Command::SaveMontageAs)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.quits == 1; }, 5000));
    ASSERT_TRUE(duringSave);
    const QImage gif(QString::fromStdString(saved));
    ASSERT_EQ(gif.size(), made.size());
    EXPECT_FALSE(rig.state.montage.main().unsaved);
    EXPECT_EQ(rig.state.preferences.read(kPreferencesSection, kRecoveredProjectKey, ""), "");
}

void putAFileWhereTheStateFolderGoes(const ScopedHome& home) {
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home.home())));
    QFile file(QString::fromStdString(home.home() + "/state"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// The program ends on SIGTERM without a question.
void endAskingNothing(WorkRig& rig) {
    rig.form->endOnSignal(SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.quits == 1; }, 5000));
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
}

// A state folder that cannot be made (a file stands where it should be) or that belongs to another
// user keeps nothing: the program still ends at once, and nothing is named for the next start.
TEST(EndOnSignal, AStateFolderThatCannotBeMadeOrIsAnotherUsersKeepsNothing) {
    for (const bool othersFolder : {false, true}) {
        SCOPED_TRACE(othersFolder ? "another user's folder" : "a file for the folder");
        if (othersFolder && ::geteuid() != 0) continue; // only root can give a folder away
        ScopedHome home;
        const std::string folder = home.home() + "/state/orvanta";
        if (othersFolder) {
            ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
            ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
            ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        } else {
            putAFileWhereTheStateFolderGoes(home);
        }
        WorkRig rig;
        rig.makeFirst();
        endAskingNothing(rig);
        EXPECT_EQ(rig.state.preferences.read(kPreferencesSection, kRecoveredProjectKey, ""), "");
        if (othersFolder) {
            EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());
        }
    }
}

// A montage that could not be kept at an end (no state folder to keep it in) was lost without a
// word: the end still asks nothing, and the next start says that it is lost and why, once.
TEST(EndOnSignal, AMontageThatCouldNotBeKeptIsSaidAtTheNextStart) {
    ScopedHome home;
    putAFileWhereTheStateFolderGoes(home);
    WorkRig rig;
    rig.makeFirst();
    endAskingNothing(rig);

    WorkRig next;
    next.state.preferences = rig.state.preferences;
    for (int start = 0; start < 2; ++start) {
        next.state.firstActivation = true;
        next.form->Form_Activate();
    }
    ASSERT_EQ(next.prompter.shown.size(), 1u);
    EXPECT_EQ(next.prompter.shown[0],
              (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                      unkeptMontageText(home.home() + "/state/orvanta: Not a directory"), "Montage not kept"}));
    EXPECT_FALSE(next.state.montage.main().unsaved);
}

} // namespace
