// An unsaved montage is asked about before anything throws it away: Load, Browse, a recent entry,
// Open Project, Make Montage and the comparisons on another or a re-shot series, Exit and the
// desktop session's end; Cancel keeps the series and the montage, Yes saves it first.
#include "work_rig.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace orv;
using namespace orv::testing;

namespace {

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
    rig.runAnswering(Command::Load, PromptAnswer::No);
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
    rig.runAnswering(Command::MakeMontage, PromptAnswer::No);
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
    rig.runAnswering(Command::MakeMontage, PromptAnswer::Cancel);
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.montagePicture(), before);
    EXPECT_TRUE(rig.state.montage.main().unsaved);
    rig.runAnswering(Command::CompareAllMethods, PromptAnswer::Cancel);
    EXPECT_EQ(rig.asked(), 2);
    EXPECT_EQ(rig.montagePicture(), before);

    rig.runAnswering(Command::MakeMontage, PromptAnswer::No);
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
    rig.runAnswering(Command::MakeMontage, PromptAnswer::Cancel);
    EXPECT_EQ(rig.asked(), 4);
    EXPECT_EQ(rig.montagePicture(), compared);
}

TEST(ProtectWork, YesSavesTheMontageFirstAndThenGoesOn) {
    WorkRig rig;
    rig.makeFirst();
    const std::string saved = rig.files.path("kept.bmp");
    rig.dialogs->chooseFile(QString::fromStdString(saved));
    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.runAnswering(Command::Load, PromptAnswer::Yes);
    EXPECT_EQ(QImage(QString::fromStdString(saved)).convertToFormat(QImage::Format_RGB888).size(), QSize(64, 48));
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_FALSE(rig.state.montage.main().unsaved);
}

TEST(ProtectWork, YesWhoseSaveIsCancelledStays) {
    WorkRig rig;
    rig.makeFirst();
    rig.dialogs->cancel();
    rig.form->textFileName()->setText(QString::fromStdString(rig.second));
    rig.runAnswering(Command::Load, PromptAnswer::Yes);
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
    rig.runAnswering(Command::Exit, PromptAnswer::Cancel);
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_TRUE(rig.form->isVisible());
    EXPECT_EQ(rig.quits, 0);
    EXPECT_FALSE(rig.state.montage.main().empty());

    rig.runAnswering(Command::Exit, PromptAnswer::No);
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
    rig.runAnswering(Command::Exit, PromptAnswer::Cancel);
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
    rig.runAnswering(Command::Exit, PromptAnswer::Yes);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.quits, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MontageOffScreen,
    ::testing::Values(HiddenMontageCase{"after_no_and_a_new_series",
                                        [](WorkRig& r) {
                                            r.form->textFileName()->setText(QString::fromStdString(r.second));
                                            r.runAnswering(Command::Load, PromptAnswer::No);
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
                                            r.runAnswering(Command::Load, PromptAnswer::No);
                                            ASSERT_EQ(r.asked(), 1);
                                        }}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
