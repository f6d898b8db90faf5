// The desktop program keeps a user's work and shows what it does: the question before an unsaved
// montage is thrown away, the progress strip and Cancel, the zoom of the picture windows, windows
// that fit the screen, the map as text, and preferences that say what the program uses.
#include "montage_fixture.h"

#include "ui/form_gif.h"
#include "ui/form_preferences.h"
#include "ui/montage_windows.h"
#include "ui/output_commands.h"
#include "ui/run_progress.h"
#include "settings/project_file.h"
#include "settings/recovery.h"
#include "support/scoped_home.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <memory>

using namespace orv;
using namespace orv::testing;

namespace {

const Prompt kUnsaved{PromptIcon::Question, PromptButtons::YesNoCancel, kUnsavedMontageText, kUnsavedMontageTitle};

struct WorkRig : MontageRig {
    std::string first, second;
    WorkRig() {
        writeTexturedSeries(files, "wrk", 3, QSize(64, 48));
        writeTexturedSeries(files, "oth", 2, QSize(40, 30));
        first = files.path("wrk01.bmp");
        second = files.path("oth01.bmp");
        // The strip shows from the start of a run here (the program waits a moment, so that a
        // quick click does not lay the main window out twice).
        form->runProgress()->setShowDelay(0);
    }
    void makeFirst() {
        ASSERT_TRUE(make(first).made);
        prompter.shown.clear();
    }
    int asked() const {
        int n = 0;
        for (const Prompt& p : prompter.shown) n += p == kUnsaved;
        return n;
    }
};

// --- protect work ---------------------------------------------------------------------------------

// Each command that would throw the montage away asks first; Cancel keeps everything.
struct DiscardCase {
    const char* label;
    std::function<void(WorkRig&)> command;
};

class DiscardingCommands : public ::testing::TestWithParam<DiscardCase> {};

TEST_P(DiscardingCommands, AskFirstAndCancelKeepsTheSeriesAndTheMontage) {
    WorkRig rig;
    rig.makeFirst();
    rig.state.recent.add(rig.second, rig.state.preferences);
    rig.form->fillRecentFiles();
    const QImage before = rig.montagePicture();
    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.dialogs->chooseFile(QString::fromStdString(rig.second)); // for Browse
    rig.prompter.answerNext(PromptAnswer::Cancel);
    GetParam().command(rig);
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture(), before);
    EXPECT_TRUE(rig.state.montage.main().unsaved);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DiscardingCommands,
    ::testing::Values(DiscardCase{"load", [](WorkRig& r) { r.form->action(Command::Load)->trigger(); }},
                      DiscardCase{"browse", [](WorkRig& r) { r.form->action(Command::Browse)->trigger(); }},
                      DiscardCase{"recent_entry", [](WorkRig& r) { r.form->mnuRecentFile(0)->trigger(); }},
                      DiscardCase{"open_project", [](WorkRig& r) { r.form->action(Command::OpenProject)->trigger(); }},
                      DiscardCase{"make_montage_of_another_series",
                                  [](WorkRig& r) { r.form->action(Command::MakeMontage)->trigger(); }},
                      DiscardCase{"evaluate_increments_of_another_series",
                                  [](WorkRig& r) { r.form->action(Command::EvaluateIncrements)->trigger(); }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ProtectWork, NoGoesOnAndANewSeriesLoads) {
    WorkRig rig;
    rig.makeFirst();
    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.prompter.answerNext(PromptAnswer::No);
    rig.form->action(Command::Load)->trigger();
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.state.series.imageCount, 2);
}

// Make Montage on another series asks as Load does; No makes the new montage. On the same series
// (another block side or method, the first file spelt another way) the new montage is what was
// asked for: nothing is asked, since the one it replaces can be made again from those pictures.
TEST(ProtectWork, MakeMontageAsksOnlyWhenItReplacesAMontageOfAnotherSeries) {
    WorkRig rig;
    rig.makeFirst();
    rig.form->TextIncrement()->setText(QStringLiteral("16"));
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.folder() + "./wrk01.bmp"));
    rig.form->action(Command::MakeMontage)->trigger();
    EXPECT_EQ(rig.asked(), 0);
    EXPECT_EQ(rig.state.montage.main().increment, 16);
    EXPECT_TRUE(rig.state.montage.main().unsaved);

    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.prompter.answerNext(PromptAnswer::No);
    rig.form->action(Command::MakeMontage)->trigger();
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_EQ(rig.montagePicture().size(), QSize(40, 30));
}

// The camera software wrote the series again under the same names (a re-shoot): the montage on
// screen is then the only record of the pictures it was made from, so Make Montage and the
// comparisons ask as for another series, and Cancel keeps it. The same unchanged series asks
// nothing, and a montage the comparisons made is asked about once its pictures are re-shot.
TEST(ProtectWork, MakeMontageAndTheComparisonsAskWhenTheSeriesWasReShotSince) {
    WorkRig rig;
    rig.makeFirst();
    const QImage before = rig.montagePicture();
    auto reshoot = [&](int bands) {
        // Later than the reading, on a file-system clock that may only tick every few milliseconds.
        QTest::qWait(30);
        // Written over in place: the same files, of the same size.
        writeTexturedSeries(rig.files, "wrk", 3, QSize(64, 48), bands);
    };
    reshoot(5);
    rig.prompter.answerNext(PromptAnswer::Cancel);
    rig.form->action(Command::MakeMontage)->trigger();
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.montagePicture(), before);
    EXPECT_TRUE(rig.state.montage.main().unsaved);
    rig.prompter.answerNext(PromptAnswer::Cancel);
    rig.form->action(Command::CompareAllMethods)->trigger();
    EXPECT_EQ(rig.asked(), 2);
    EXPECT_EQ(rig.montagePicture(), before);

    rig.prompter.answerNext(PromptAnswer::No);
    rig.form->action(Command::MakeMontage)->trigger();
    EXPECT_EQ(rig.asked(), 3);
    EXPECT_NE(rig.montagePicture(), before);
    // Made again from the pictures as they now are: nothing more is asked.
    rig.form->TextIncrement()->setText(QStringLiteral("16"));
    rig.form->action(Command::MakeMontage)->trigger();
    EXPECT_EQ(rig.asked(), 3);
    EXPECT_EQ(rig.state.montage.main().increment, 16);
    rig.form->action(Command::CompareAllMethods)->trigger();
    EXPECT_EQ(rig.asked(), 3);
    ASSERT_TRUE(rig.state.montage.main().unsaved);

    // A picture replaced by a new file (another identity) after the comparison made the montage.
    const QImage compared = rig.montagePicture();
    QTest::qWait(30);
    const std::string second = rig.files.path("wrk02.bmp");
    ASSERT_TRUE(QFile::rename(QString::fromStdString(second), QString::fromStdString(second + ".old")));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(second + ".old"), QString::fromStdString(second)));
    rig.prompter.answerNext(PromptAnswer::Cancel);
    rig.form->action(Command::MakeMontage)->trigger();
    EXPECT_EQ(rig.asked(), 4);
    EXPECT_EQ(rig.montagePicture(), compared);
}

TEST(ProtectWork, YesSavesTheMontageFirstAndThenGoesOn) {
    WorkRig rig;
    rig.makeFirst();
    const std::string saved = rig.files.path("kept.bmp");
    rig.dialogs->chooseFile(QString::fromStdString(saved));
    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.prompter.answerNext(PromptAnswer::Yes);
    rig.form->action(Command::Load)->trigger();
    EXPECT_EQ(QImage(QString::fromStdString(saved)).convertToFormat(QImage::Format_RGB888).size(), QSize(64, 48));
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_FALSE(rig.state.montage.main().unsaved);
}

TEST(ProtectWork, YesWhoseSaveIsCancelledStays) {
    WorkRig rig;
    rig.makeFirst();
    rig.dialogs->cancel();
    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.prompter.answerNext(PromptAnswer::Yes);
    rig.form->action(Command::Load)->trigger();
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_TRUE(rig.state.montage.main().unsaved);
}

// Saving, copying, printing or handing to the editor keeps the montage: nothing more is asked.
TEST(ProtectWork, ACopiedMontageIsNotAskedAboutButASmoothedOneIsAgain) {
    WorkRig rig;
    rig.makeFirst();
    rig.form->action(Command::CopyMontage)->trigger();
    EXPECT_FALSE(rig.state.montage.main().unsaved);
    rig.form->action(Command::Smooth)->trigger();
    EXPECT_TRUE(rig.state.montage.main().unsaved);
    rig.form->action(Command::CopyMontage)->trigger();
    rig.prompter.shown.clear();
    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.form->action(Command::Load)->trigger();
    EXPECT_EQ(rig.asked(), 0);
    EXPECT_EQ(rig.state.series.imageCount, 2);
}

TEST(ProtectWork, ExitAsksCancelKeepsTheProgramNoExits) {
    WorkRig rig;
    rig.makeFirst();
    rig.form->show();
    rig.prompter.answerNext(PromptAnswer::Cancel);
    rig.form->action(Command::Exit)->trigger();
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_TRUE(rig.form->isVisible());
    EXPECT_EQ(rig.quits, 0);
    EXPECT_FALSE(rig.state.montage.main().empty());

    rig.prompter.answerNext(PromptAnswer::No);
    rig.form->action(Command::Exit)->trigger();
    EXPECT_EQ(rig.asked(), 2);
    EXPECT_FALSE(rig.form->isVisible());
    EXPECT_EQ(rig.quits, 1);
}

// Logging out ends the program without closing its windows: the session manager's question is
// where an unsaved montage is asked about, as Exit asks. Cancel keeps the session going; an answer
// holds for the closing that ends the session, unless the work changes meanwhile.
TEST(ProtectWork, TheDesktopSessionsEndAsksAsExitDoes) {
    WorkRig rig;
    rig.form->show();
    int leaveAsked = 0;
    const auto mayAsk = [&] {
        ++leaveAsked;
        return true;
    };
    // Nothing unsaved: the session manager is not even asked for leave to ask.
    EXPECT_TRUE(rig.form->mayEndSession(mayAsk));
    EXPECT_EQ(leaveAsked, 0);
    rig.makeFirst();

    rig.prompter.answerNext(PromptAnswer::Cancel);
    EXPECT_FALSE(rig.form->mayEndSession(mayAsk));
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_TRUE(rig.state.montage.main().unsaved);

    // Without leave to ask, nothing is shown and the session ends.
    EXPECT_TRUE(rig.form->mayEndSession([] { return false; }));
    EXPECT_EQ(rig.asked(), 1);

    rig.prompter.answerNext(PromptAnswer::No);
    EXPECT_TRUE(rig.form->mayEndSession(mayAsk));
    EXPECT_EQ(rig.asked(), 2);
    // The session is cancelled elsewhere and the user smooths the montage: Exit asks again.
    rig.form->action(Command::Smooth)->trigger();
    rig.prompter.answerNext(PromptAnswer::Cancel);
    rig.form->action(Command::Exit)->trigger();
    EXPECT_EQ(rig.asked(), 3);
    EXPECT_EQ(rig.quits, 0);

    // Let go once more: the windows' closing as the session ends asks nothing.
    rig.prompter.answerNext(PromptAnswer::No);
    EXPECT_TRUE(rig.form->mayEndSession(mayAsk));
    EXPECT_EQ(rig.asked(), 4);
    rig.form->close();
    EXPECT_EQ(rig.asked(), 4);
    EXPECT_EQ(rig.quits, 1);
}

TEST(ProtectWork, YesAtTheDesktopSessionsEndSavesTheMontage) {
    WorkRig rig;
    rig.makeFirst();
    const std::string saved = rig.files.path("at logout.bmp");
    rig.dialogs->chooseFile(QString::fromStdString(saved));
    rig.prompter.answerNext(PromptAnswer::Yes);
    EXPECT_TRUE(rig.form->mayEndSession([] { return true; }));
    EXPECT_EQ(QImage(QString::fromStdString(saved)).size(), QSize(64, 48));
    EXPECT_FALSE(rig.state.montage.main().unsaved);
    // A save that does not happen keeps the session going.
    rig.form->action(Command::Smooth)->trigger();
    rig.dialogs->cancel();
    rig.prompter.answerNext(PromptAnswer::Yes);
    EXPECT_FALSE(rig.form->mayEndSession([] { return true; }));
    EXPECT_TRUE(rig.state.montage.main().unsaved);
}

TEST(ProtectWork, ExitWithoutAMontageAsksNothing) {
    WorkRig rig;
    rig.form->show();
    rig.form->action(Command::Exit)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.quits, 1);
}

TEST(ProtectWork, ALoadWhoseFirstFileIsMissingLeavesSeriesWindowsAndMontage) {
    WorkRig rig;
    rig.makeFirst();
    rig.form->action(Command::CopyMontage)->trigger(); // kept: no question
    const QImage before = rig.montagePicture();
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("typo01.bmp")));
    rig.form->action(Command::Load)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, kMissingFileText);
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_EQ(rig.visibleSourceWindows(), 3);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture(), before);
}

// A typing slip before Make Montage (a first file that is not there, a name without a number) is
// said and changes nothing: the series and the montage stay on screen, so the unsaved montage can
// still be saved and is still asked about, and the "Window" entries are the windows on screen.
TEST(ProtectWork, AMakeMontageWhoseNameIsWrongLeavesSeriesWindowsAndMontage) {
    for (const char* slip : {"typo01.bmp", "typo.bmp"}) {
        WorkRig rig;
        rig.makeFirst();
        const QImage before = rig.montagePicture();
        const QString caption = rig.form->windows().montageWindow()->windowTitle();
        rig.form->textFileName()->setText(QString::fromStdString(rig.files.path(slip)));
        rig.form->CommandGo()->click();
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << slip;
        EXPECT_EQ(rig.state.series.imageCount, 3) << slip;
        EXPECT_EQ(rig.visibleSourceWindows(), 3) << slip;
        ASSERT_TRUE(rig.form->windows().montageWindow()->isVisible()) << slip;
        EXPECT_EQ(rig.form->windows().montageWindow()->windowTitle(), caption) << slip;
        EXPECT_EQ(rig.montagePicture(), before) << slip;
        EXPECT_EQ(rig.form->mnuWindow2(0)->text(), caption) << slip;
        // Leaving asks about the montage, and Yes saves it.
        rig.prompter.shown.clear();
        rig.prompter.answerNext(PromptAnswer::Yes);
        rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("kept.bmp")));
        rig.form->show();
        rig.form->action(Command::Exit)->trigger();
        EXPECT_EQ(rig.asked(), 1) << slip;
        EXPECT_EQ(QImage(QString::fromStdString(rig.files.path("kept.bmp"))).convertToFormat(QImage::Format_RGB888), before)
            << slip;
        EXPECT_EQ(rig.quits, 1) << slip;
    }
}

// A montage no longer on screen (the user let a Load go on, closed its window, or a Load hid it)
// cannot be saved: Save Montage As says there is none. It is not asked about again, so a Yes can
// never end in that refusal and keep the program or the next series from going on.
struct HiddenMontageCase {
    const char* label;
    std::function<void(WorkRig&)> hide;
};

class MontageOffScreen : public ::testing::TestWithParam<HiddenMontageCase> {};

TEST_P(MontageOffScreen, IsNotAskedAboutAndLoadAndExitGoOn) {
    WorkRig rig;
    rig.makeFirst();
    rig.form->show();
    GetParam().hide(rig);
    ASSERT_FALSE(rig.form->windows().montageWindow()->isVisible());
    rig.prompter.shown.clear();
    rig.prompter.answerNext(PromptAnswer::Yes); // were it asked, Yes would be the trap
    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.form->action(Command::Load)->trigger();
    EXPECT_EQ(rig.asked(), 0);
    EXPECT_EQ(rig.state.series.imageCount, 2);
    rig.prompter.answerNext(PromptAnswer::Yes);
    rig.form->action(Command::Exit)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.quits, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MontageOffScreen,
    ::testing::Values(HiddenMontageCase{"after_no_and_a_new_series",
                                        [](WorkRig& r) {
                                            r.form->textFileName()->setText(QString::fromStdString(r.second));
                                            r.prompter.answerNext(PromptAnswer::No);
                                            r.form->action(Command::Load)->trigger();
                                            ASSERT_EQ(r.asked(), 1);
                                        }},
                      HiddenMontageCase{"after_its_window_was_closed",
                                        [](WorkRig& r) {
                                            r.form->windows().montageWindow()->menuAction("mnuClose")->trigger();
                                        }},
                      HiddenMontageCase{"after_a_load_whose_first_picture_is_damaged",
                                        [](WorkRig& r) {
                                            r.files.writeText("bad01.bmp", "not a picture");
                                            r.form->textFileName()->setText(QString::fromStdString(r.files.path("bad01.bmp")));
                                            r.prompter.answerNext(PromptAnswer::No);
                                            r.form->action(Command::Load)->trigger();
                                            ASSERT_EQ(r.asked(), 1);
                                        }}),
    [](const auto& info) { return std::string(info.param.label); });

// --- the program told to end (SIGTERM, SIGHUP) ----------------------------------------------------

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
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [&, watch] {
        if (!running.form->commandRunning()) {
            QTimer::singleShot(1, running.form.get(), *watch);
            return;
        }
        signalled = true;
        running.form->endOnSignal(SIGTERM);
    };
    QTimer::singleShot(0, running.form.get(), *watch);
    QElapsedTimer pause;
    pause.start();
    QTest::qWaitFor([&] { return pause.elapsed() > 50; });
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
    writeTexturedSeries(rig.files, "tall", 2, QSize(64, 400));
    ASSERT_TRUE(rig.make(rig.files.path("tall01.bmp")).made);
    const QImage made = rig.montagePicture();
    const std::string saved = rig.files.path("saved while leaving.gif");
    rig.dialogs->chooseFile(QString::fromStdString(saved));
    bool duringSave = false;
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [&rig, &duringSave, watch] {
        const auto* gif = qobject_cast<FormGIF*>(QApplication::activeModalWidget());
        if (gif && gif->Picture2()->percent() > 0) {
            duringSave = true;
            rig.form->endOnSignal(SIGTERM);
            return;
        }
        QTimer::singleShot(0, rig.form.get(), *watch);
    };
    QTimer::singleShot(0, rig.form.get(), *watch);
    rig.form->action(Command::SaveMontageAs)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.quits == 1; }, 5000));
    ASSERT_TRUE(duringSave);
    const QImage gif(QString::fromStdString(saved));
    ASSERT_EQ(gif.size(), made.size());
    EXPECT_FALSE(rig.state.montage.main().unsaved);
    EXPECT_EQ(rig.state.preferences.read(kPreferencesSection, kRecoveredProjectKey, ""), "");
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
            ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home.home())));
            QFile file(QString::fromStdString(home.home() + "/state"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        WorkRig rig;
        rig.makeFirst();
        rig.form->endOnSignal(SIGTERM);
        ASSERT_TRUE(QTest::qWaitFor([&] { return rig.quits == 1; }, 5000));
        EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
        EXPECT_EQ(rig.state.preferences.read(kPreferencesSection, kRecoveredProjectKey, ""), "");
        if (othersFolder) {
            EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());
        }
    }
}

// --- progress and Cancel ---------------------------------------------------------------------------

TEST(RunProgressStrip, ShowsThePhaseWhileACommandRunsAndGoesAfterwards) {
    WorkRig rig;
    RunProgress* strip = rig.form->runProgress();
    QStringList phases;
    int largestTotal = 0;
    std::function<void()> watch = [&] {
        if (!rig.form->commandRunning()) return;
        phases << strip->phaseLabel()->text();
        largestTotal = std::max(largestTotal, strip->bar()->maximum());
        QTimer::singleShot(1, rig.form.get(), watch);
    };
    QTimer::singleShot(0, rig.form.get(), watch);
    rig.form->action(Command::AlignImages)->setChecked(true);
    rig.form->textFileName()->setText(QString::fromStdString(rig.first));
    rig.form->TextIncrement()->setText(QStringLiteral("10"));
    rig.form->CommandGo()->click();
    EXPECT_TRUE(strip->isHidden());
    EXPECT_FALSE(phases.isEmpty());
    EXPECT_TRUE(phases.filter(QStringLiteral("Reading")).size() + phases.filter(QStringLiteral("Aligning")).size() +
                    phases.filter(QStringLiteral("Fusing")).size() >
                0)
        << phases.join(',').toStdString();
    EXPECT_GT(largestTotal, 0);
    EXPECT_EQ(phaseText(RunPhase::Aligning), "Aligning");
}

TEST(RunProgressStrip, AQuickRunNeverShowsIt) {
    WorkRig rig;
    RunProgress* strip = rig.form->runProgress();
    strip->setShowDelay(60000);
    bool shown = false;
    std::function<void()> watch = [&] {
        if (!rig.form->commandRunning()) return;
        shown = shown || !strip->isHidden();
        QTimer::singleShot(1, rig.form.get(), watch);
    };
    QTimer::singleShot(0, rig.form.get(), watch);
    rig.makeFirst();
    EXPECT_FALSE(shown);
    EXPECT_TRUE(strip->isHidden());
}

// Cancel stops the run at the next picture or row: the earlier montage, its record and its map
// stay, nothing is said, and the next run works.
struct StopCase {
    const char* label;
    bool align;
    int method; // 0: 3D Color Space, 5: Pyramid
    bool escape; // Esc instead of the button
};

class CancelRun : public ::testing::TestWithParam<StopCase> {};

TEST_P(CancelRun, KeepsTheEarlierMontageAndShowsNothingHalfMade) {
    const StopCase& c = GetParam();
    WorkRig rig;
    rig.form->setMontageMethod(c.method);
    rig.form->action(Command::AlignImages)->setChecked(c.align);
    rig.form->show();
    rig.makeFirst();
    const QImage before = rig.montagePicture();
    const std::string map = rig.state.montage.main().map;
    const std::string properties = rig.state.montage.main().properties;

    if (c.escape) {
        rig.form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    }
    QTimer::singleShot(0, rig.form.get(), [&] {
        ASSERT_FALSE(rig.form->runProgress()->isHidden());
        // Esc works in whichever window of the program is active.
        if (c.escape) QTest::keyClick(QApplication::activeWindow() ? QApplication::activeWindow() : rig.form.get(), Qt::Key_Escape);
        else rig.form->runProgress()->cancelButton()->click();
    });
    const MakeOutcome out = rig.make(rig.first, "12");
    EXPECT_FALSE(out.made);
    EXPECT_TRUE(out.stopped);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.state.montage.main().map, map);
    EXPECT_EQ(rig.state.montage.main().properties, properties);
    EXPECT_EQ(rig.montagePicture(), before);
    EXPECT_EQ(rig.map(), map);
    EXPECT_TRUE(rig.form->runProgress()->isHidden());
    EXPECT_TRUE(rig.form->CommandGo()->isEnabled());

    // Nothing is asked any more: the next run goes through.
    const MakeOutcome again = rig.make(rig.first, "12");
    EXPECT_TRUE(again.made);
    EXPECT_NE(rig.state.montage.main().map, map);
}

INSTANTIATE_TEST_SUITE_P(Table, CancelRun,
                         ::testing::Values(StopCase{"block_method_button", false, 0, false},
                                           StopCase{"pyramid_with_alignment_button", true, 5, false},
                                           StopCase{"block_method_escape", false, 0, true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CancelRun, ALoadStoppedKeepsThePicturesReadSoFar) {
    WorkRig rig;
    rig.form->textFileName()->setText(QString::fromStdString(rig.first));
    QTimer::singleShot(0, rig.form.get(), [&] { rig.form->runProgress()->requestStop(); });
    rig.form->action(Command::Load)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_GE(rig.state.series.imageCount, 1);
    EXPECT_LT(rig.state.series.imageCount, 3);
    EXPECT_EQ(rig.visibleSourceWindows(), rig.state.series.imageCount);
}

// A Make Montage stopped while it still reads its pictures leaves the earlier, unsaved montage on
// screen: it can be saved, and leaving asks about it.
TEST(CancelRun, AStopWhileReadingKeepsTheEarlierMontageOnScreenAndAskedAbout) {
    WorkRig rig;
    writeTexturedSeries(rig.files, "next", 4, QSize(120, 90));
    rig.makeFirst();
    const QImage before = rig.montagePicture();
    ASSERT_TRUE(rig.state.montage.main().unsaved);
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [&rig, watch] {
        if (rig.form->commandRunning() && rig.state.series.imageCount >= 1) {
            rig.form->runProgress()->requestStop();
            return;
        }
        QTimer::singleShot(0, rig.form.get(), *watch);
    };
    QTimer::singleShot(0, rig.form.get(), *watch);
    // The window events run after the first picture only when the last turn is a moment ago.
    QElapsedTimer pause;
    pause.start();
    QTest::qWaitFor([&] { return pause.elapsed() > 50; });
    ASSERT_TRUE(rig.make(rig.files.path("next01.bmp")).stopped);
    ASSERT_LT(rig.state.series.imageCount, 4);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture(), before);
    EXPECT_EQ(rig.form->mnuWindow2(0)->text().toStdString(), rig.form->windows().montageWindow()->windowTitle().toStdString());
    rig.form->show();
    rig.prompter.answerNext(PromptAnswer::Cancel);
    rig.form->action(Command::Exit)->trigger();
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.quits, 0);
}

// The Load start-up runs at the first activation (a file on the command line, or "Load images on
// start up") is a command like any other: the controls wait for it, so a click on Make Montage
// cannot start a second run inside it, and Cancel stops it.
TEST(CancelRun, TheStartUpLoadLocksTheControlsAndCanBeStopped) {
    WorkRig rig;
    writeTexturedSeries(rig.files, "boot", 6, QSize(120, 90));
    rig.state.firstActivation = true;
    rig.state.fileOnCommandLine = true;
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("boot01.bmp")));
    bool ran = false;
    QTimer::singleShot(0, rig.form.get(), [&] {
        ran = true;
        EXPECT_TRUE(rig.form->commandRunning());
        EXPECT_FALSE(rig.form->CommandGo()->isEnabled());
        EXPECT_FALSE(rig.form->action(Command::Load)->isEnabled());
        rig.form->CommandGo()->click();
        rig.form->action(Command::MakeMontage)->trigger();
        rig.form->runProgress()->cancelButton()->click();
    });
    rig.form->Form_Activate();
    ASSERT_TRUE(ran);
    EXPECT_EQ(rig.form->montageCommands().montagesMade(), 0);
    EXPECT_FALSE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_GE(rig.state.series.imageCount, 1);
    EXPECT_LT(rig.state.series.imageCount, 6);
    EXPECT_EQ(rig.visibleSourceWindows(), rig.state.series.imageCount);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_FALSE(rig.form->commandRunning());
    EXPECT_TRUE(rig.form->CommandGo()->isEnabled());
}

// Exit while a montage is being made stops the run: the program does not go on computing out of
// sight, and no window of the run comes back once the main window has gone.
TEST(CancelRun, ExitDuringARunStopsItAndNoWindowComesBack) {
    WorkRig rig;
    writeTexturedSeries(rig.files, "long", 6, QSize(200, 150));
    rig.form->show();
    bool running = false;
    QTimer::singleShot(0, rig.form.get(), [&] {
        running = rig.form->commandRunning();
        rig.form->action(Command::Exit)->trigger();
    });
    const MakeOutcome out = rig.make(rig.files.path("long01.bmp"));
    ASSERT_TRUE(running);
    EXPECT_EQ(rig.quits, 1);
    EXPECT_TRUE(out.stopped);
    EXPECT_FALSE(out.made);
    EXPECT_FALSE(rig.form->isVisible());
    EXPECT_FALSE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.visibleSourceWindows(), 0);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
}

// Exit while the montage is being saved lets the file be written: stopped, the file the user asked
// for was never there, and the montage being saved was asked about as unsaved (No stopped the save
// and ended the program). The program ends once the save has ended, asking nothing more.
TEST(CancelRun, ExitDuringASaveWritesTheFileAndThenEnds) {
    WorkRig rig;
    rig.makeFirst();
    rig.form->show();
    const std::string saved = rig.files.path("saved while leaving.tif");
    rig.dialogs->chooseFile(QString::fromStdString(saved));
    rig.prompter.answerNext(PromptAnswer::No); // should the montage be asked about
    // The window events run during the save only when the last turn is a moment ago.
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() <= 50) QCoreApplication::processEvents();
    bool duringSave = false;
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [&rig, &duringSave, watch] {
        if (rig.form->commandRunning() && rig.form->runProgress()->phaseLabel()->text().startsWith("Saving")) {
            duringSave = true;
            rig.form->action(Command::Exit)->trigger();
            return;
        }
        QTimer::singleShot(0, rig.form.get(), *watch);
    };
    QTimer::singleShot(0, rig.form.get(), *watch);
    rig.form->action(Command::SaveMontageAs)->trigger();
    ASSERT_TRUE(duringSave);
    QCoreApplication::processEvents();
    EXPECT_EQ(QImage(QString::fromStdString(saved)).size(), QSize(64, 48));
    EXPECT_EQ(rig.asked(), 0);
    EXPECT_FALSE(rig.state.montage.main().unsaved);
    EXPECT_EQ(rig.quits, 1);
    EXPECT_FALSE(rig.form->isVisible());
}

// --- files dropped on the main window ----------------------------------------------------------

// A picture dropped from a file manager loads its series as Browse does, a project opens as Load a
// Project does; an unsaved montage is asked about first; a folder or several files are not taken.
TEST(DropOnMainWindow, APictureLoadsItsSeriesAndAProjectOpensAsTheMenuCommandsDo) {
    WorkRig rig;
    rig.makeFirst();
    const std::string project = rig.files.path("wrk.mon");
    rig.dialogs->chooseFile(QString::fromStdString(project));
    rig.form->action(Command::SaveProject)->trigger();
    ASSERT_FALSE(rig.state.montage.main().unsaved);
    const QImage stored = rig.montagePicture();
    rig.prompter.shown.clear();

    auto drop = [&](QList<QUrl> urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.form.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.form.get(), &dropped);
        QTest::qWait(0); // the file opens once the drop has ended
        QCoreApplication::processEvents();
        return true;
    };
    auto file = [](const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); };

    EXPECT_FALSE(drop({file(rig.files.path(""))}));
    EXPECT_FALSE(drop({file(rig.second), file(rig.first)}));
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.org/a01.jpg"))}));
    EXPECT_EQ(rig.state.series.imageCount, 3);

    ASSERT_TRUE(drop({file(rig.second)}));
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.second);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;

    ASSERT_TRUE(drop({file(project)}));
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture(), stored);

    // A new montage, unsaved: the drop asks first, and Cancel keeps it and its series.
    rig.form->textFileName()->setText(QString::fromStdString(rig.first));
    ASSERT_TRUE(rig.form->makeMontage().made);
    rig.prompter.shown.clear();
    rig.prompter.answerNext(PromptAnswer::Cancel);
    ASSERT_TRUE(drop({file(rig.second)}));
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_TRUE(rig.state.montage.main().unsaved);
}

// --- zoom -------------------------------------------------------------------------------------------

TEST(PictureZoom, TheOneMappingFollowsTheZoomAndTheBoxTakesTheScaledSize) {
    PictureBox box;
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    box.setPicture(picture);
    EXPECT_EQ(box.size(), QSize(40, 30));
    EXPECT_EQ(box.toPicture(QPointF(10, 6)), QPointF(10, 6));
    box.setZoom(2);
    EXPECT_EQ(box.size(), QSize(80, 60));
    EXPECT_EQ(box.toPicture(QPointF(10, 6)), QPointF(5, 3));
    EXPECT_EQ(box.toBox(QRect(1, 2, 3, 4)), QRect(2, 4, 6, 8));
    box.setZoom(0.5);
    EXPECT_EQ(box.size(), QSize(20, 15));
    EXPECT_EQ(box.toBox(QRectF(10, 10, 4, 4)), QRectF(5, 5, 2, 2));
    // Round trip: a picture point shows where the mouse finds it again.
    const QRectF shown = box.toBox(QRectF(12, 8, 0, 0));
    EXPECT_EQ(box.toPicture(shown.topLeft()), QPointF(12, 8));
    box.setZoom(1000);
    EXPECT_EQ(box.zoom(), PictureBox::kMaxZoom);
}

TEST(PictureZoom, PaintsThePictureAtTheZoom) {
    PictureBox box;
    QImage picture(4, 2, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    box.setPicture(picture);
    box.setZoom(4);
    const QImage painted = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(painted.size(), QSize(16, 8));
    EXPECT_EQ(painted.pixel(3, 3), qRgb(255, 0, 0)); // picture pixel (0, 0), four screen pixels wide
    EXPECT_EQ(painted.pixel(4, 0), qRgb(0, 0, 255));
    EXPECT_EQ(painted.pixel(15, 7), qRgb(0, 0, 255));
}

TEST(PictureZoom, KeysWheelAndButtonsZoomTheWindowAndItsStatusSaysSoTheCaptionStays) {
    WorkRig rig;
    rig.makeFirst();
    FormMontagePicture* w = rig.form->windows().montageWindow();
    const QString caption = w->windowTitle();
    EXPECT_EQ(w->zoomStatus()->text(), "Zoom 100 %");
    w->zoomIn();
    EXPECT_EQ(w->zoomStatus()->text(), "Zoom 125 %");
    w->zoomOut();
    w->zoomOut();
    EXPECT_EQ(w->zoomStatus()->text(), "Zoom 80 %");
    EXPECT_EQ(w->PictureFile()->size(), QSize(51, 38));

    // Ctrl+wheel over the picture.
    QWheelEvent up(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w->scrollArea()->viewport(), &up);
    EXPECT_DOUBLE_EQ(w->zoom(), 1.0);

    // Fit to Window: the whole picture in the window as it is.
    w->resize(40, 60);
    w->show();
    w->findChild<QToolButton*>(QStringLiteral("CommandZoomFit"))->click();
    const QSize room = w->scrollArea()->viewport()->size();
    EXPECT_LE(w->PictureFile()->width(), room.width());
    EXPECT_LE(w->PictureFile()->height(), room.height());
    // It touches the window on one side.
    EXPECT_TRUE(room.width() - w->PictureFile()->width() <= 1 || room.height() - w->PictureFile()->height() <= 1)
        << room.width() << "x" << room.height();
    EXPECT_NE(w->zoom(), 1.0);
    w->findChild<QToolButton*>(QStringLiteral("CommandZoom100"))->click();
    EXPECT_DOUBLE_EQ(w->zoom(), 1.0);
    EXPECT_EQ(w->windowTitle(), caption);
}

// Zooming keeps the picture point under the mouse (the wheel) or in the middle of the window (the
// keys and buttons, the mouse elsewhere) where it was, also from a scrolled position.
TEST(PictureZoom, ThePointUnderTheMouseOrInTheMiddleStaysWhereItWas) {
    WorkRig rig;
    rig.makeFirst();
    FormMontagePicture* w = rig.form->windows().montageWindow();
    w->show();
    w->resize(50, 60);
    QApplication::processEvents();
    QWidget* viewport = w->scrollArea()->viewport();
    PictureBox* box = w->PictureFile();
    auto pictureAt = [&](QPointF v) { return box->toPicture(v - QPointF(box->pos())); };
    auto wheel = [&](QPointF v, int delta) {
        QWheelEvent e(v, viewport->mapToGlobal(v), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &e);
    };
    QCursor::setPos(w->mapToGlobal(QPoint(-500, -500)));
    for (const QPointF v : {QPointF(30, 20), QPointF(5, 25), QPointF(200, 60)}) {
        // Larger than the window, scrolled part of the way.
        w->setZoom(4);
        w->scrollArea()->horizontalScrollBar()->setValue(10);
        w->scrollArea()->verticalScrollBar()->setValue(30);
        const QPointF before = pictureAt(v);
        wheel(v, 120);
        wheel(v, 120);
        ASSERT_GT(w->zoom(), 5.5);
        EXPECT_NEAR(pictureAt(v).x(), before.x(), 1.0) << v.x() << "," << v.y();
        EXPECT_NEAR(pictureAt(v).y(), before.y(), 1.0) << v.x() << "," << v.y();
        wheel(v, -120);
        EXPECT_NEAR(pictureAt(v).x(), before.x(), 1.0);
        EXPECT_NEAR(pictureAt(v).y(), before.y(), 1.0);
        const QPointF middle = QRectF(viewport->rect()).center();
        const QPointF inMiddle = pictureAt(middle);
        w->zoomIn();
        EXPECT_NEAR(pictureAt(middle).x(), inMiddle.x(), 1.0);
        EXPECT_NEAR(pictureAt(middle).y(), inMiddle.y(), 1.0);
    }
}

// The offset target is in picture pixels: at 200 % a drag of 20 screen pixels moves it 10.
TEST(PictureZoom, TheOffsetTargetFollowsTheZoom) {
    WorkRig rig;
    rig.load(rig.first);
    rig.form->action(Command::UseOffsets)->trigger();
    FormPicture* w = rig.form->windows().sourceWindow(1);
    w->show();
    w->setZoom(2);
    const QRectF before = w->offsetTarget();
    const QPointF centre = before.center();
    PictureBox* box = w->PictureFile();
    const QPoint at = box->toBox(QRectF(centre, QSizeF(0, 0))).topLeft().toPoint();
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, at);
    QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(20, 10)), box->mapToGlobal(QPointF(at + QPoint(20, 10))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &move);
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, at + QPoint(20, 10));
    EXPECT_DOUBLE_EQ(w->offsetTarget().left() - before.left(), 10);
    EXPECT_DOUBLE_EQ(w->offsetTarget().top() - before.top(), 5);
}

// --- windows that fit --------------------------------------------------------------------------------

TEST(WindowsFit, TheMainWindowKeepsItsControlsInSight) {
    WorkRig rig;
    rig.form->show();
    rig.form->resize(400, 120);
    EXPECT_GE(rig.form->width(), rig.form->CommandGo()->geometry().right());
    EXPECT_GE(rig.form->centralWidget()->height(), rig.form->CommandGo()->geometry().bottom());
}

TEST(WindowsFit, TheMapWindowShowsItsDigitsAsTextAndStaysOnTheScreen) {
    WorkRig rig;
    rig.makeFirst();
    FormUsed* map = rig.form->windows().usedWindow();
    QCoreApplication::processEvents();
    QString expected = QString::fromStdString(rig.state.montage.main().map);
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (expected.endsWith('\n')) expected.chop(1);
    EXPECT_EQ(map->textMap()->toPlainText(), expected);
    EXPECT_TRUE(map->textMap()->isReadOnly());
    EXPECT_TRUE(map->textMap()->font().fixedPitch() || QFontInfo(map->textMap()->font()).fixedPitch());
    EXPECT_FALSE(map->textMap()->accessibleName().isEmpty());

    // A map for a huge montage: the window stays within the screen and the view scrolls.
    map->sizeForGrid(400, 800);
    const QSize avail = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(map->width(), avail.width());
    EXPECT_LE(map->height(), avail.height());
}

TEST(WindowsFit, ThePropertiesWindowHasANameStaysOnTheScreenAndScrolls) {
    WorkRig rig;
    rig.makeFirst();
    FormMontagePicture* main = rig.form->windows().montageWindow();
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    main->move(avail.right() - 20, avail.top());
    main->mnuProperties()->trigger();
    FormProperties* props = rig.form->windows().propertiesWindow();
    ASSERT_TRUE(props->isVisible());
    EXPECT_EQ(props->accessibleName(), "Properties");
    EXPECT_TRUE(avail.contains(QRect(props->pos(), props->size()))) << props->x() << "," << props->y();
    // A text larger than the screen: the window stops at the screen and its view scrolls.
    props->setText(std::string(4000, 'x') + "\r\n" + std::string(20, 'y'));
    EXPECT_LE(props->width(), avail.width());
    EXPECT_NE(props->findChild<QScrollArea*>(), nullptr);
}

// A report taller than the screen (many pictures and notes) but narrower: it scrolls up and down,
// and the scroll bar does not cover the ends of its lines, which could then only be read by
// scrolling sideways.
TEST(WindowsFit, APropertiesTextTallerThanTheScreenShowsItsLinesWhole) {
    std::optional<QPoint> drag;
    FormProperties props(drag, nullptr);
    std::string report;
    for (int k = 1; k <= 90; ++k)
        report += "Image " + std::to_string(k) + " -- /home/ann/pictures/beetle/shot" + std::to_string(k) + ".bmp\r\n";
    props.setText(report);
    props.showBeside(nullptr);
    QCoreApplication::processEvents();
    const QRect avail = props.screen()->availableGeometry();
    auto* scroll = props.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    ASSERT_GT(scroll->widget()->height(), scroll->viewport()->height()) << "the text is not taller than the screen";
    EXPECT_LE(props.height(), avail.height());
    EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width()) << "the line ends lie under the scroll bar";
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
}

// --- preferences -------------------------------------------------------------------------------------

TEST(PreferencesTruth, ANewProfileShowsTheIncrementTheProgramUsesAndCancelWritesNothing) {
    WorkRig rig;
    rig.form->action(Command::Preferences)->trigger();
    auto* prefs = rig.form->findChild<FormPreferences*>();
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(prefs->Text1()->text(), "10");
    prefs->Text1()->setText(QStringLiteral("33"));
    prefs->TextEditor()->setText(QStringLiteral("gimp %f"));
    prefs->CommandCancel()->click();
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(rig.preference("Increment"), "0");
    EXPECT_EQ(rig.preference("Image editor"), "0");
}

TEST(PreferencesTruth, TheChosenMethodIsKeptLikeTheAlignment) {
    WorkRig rig;
    rig.form->mnusimpleCol(5)->trigger();
    rig.form->action(Command::AlignImages)->trigger();
    EXPECT_EQ(rig.preference("Montage method"), "5");
    EXPECT_EQ(rig.preference("Automatic alignment"), "1");
}

} // namespace
