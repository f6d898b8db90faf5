// The strokes painted in a montage window as work that is never lost unasked: the question before
// Make Montage, a command or closing a window loses them, comparison montages' strokes, and the
// strokes kept with a project and painted again when it opens.
#include "cli_like.h"
#include "grabbed_pixels.h"
#include "montage_fixture.h"
#include "retouch_rig.h"

#include "fusion/pyramid_focus.h"
#include "retouch/strokes_file.h"
#include "settings/preferences.h"
#include "ui/output_commands.h"
#include "ui/retouch_commands.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace orv::testing {
namespace {

TEST(RetouchWindow, MakeMontageAsksBeforeItLosesStrokes) {
    RetouchRig rig;
    rig.trigger("mnuRetouch");
    rig.drag({QPoint(30, 30), QPoint(60, 40)});
    ASSERT_EQ(rig.strokes(), 1);
    const QImage painted = rig.montagePicture();
    rig.prompter.answerNext(PromptAnswer::No);
    QTest::mouseClick(rig.form->CommandGo(), Qt::LeftButton);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, "The montage has 1 retouch strokes. Make a new montage and lose them?");
    EXPECT_EQ(rig.prompter.shown[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(rig.strokes(), 1);
    EXPECT_EQ(rig.montagePicture(), painted);
    // The comparisons make new montages too.
    rig.runAnswering(Command::CompareAllMethods, PromptAnswer::No);
    ASSERT_EQ(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[1].text, rig.prompter.shown[0].text);
    EXPECT_EQ(rig.strokes(), 1);
    rig.runAnswering(Command::MakeMontage, PromptAnswer::Yes);
    EXPECT_EQ(rig.prompter.shown.size(), 3u);
    EXPECT_EQ(rig.strokes(), 0);
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    EXPECT_TRUE(rig.window()->windowTitle().endsWith(QString::fromLatin1(kRetouchCaptionMark) + "1"));
}

TEST(RetouchWindow, AProjectSavedAndOpenedKeepsItsStrokesUndoable) {
    RetouchRig rig;
    rig.startRetouching(3);
    rig.drag({QPoint(30, 30), QPoint(90, 50)});
    const QImage painted = rig.montagePicture();
    rig.saveProject(rig.files.path("p.mon"));
    ASSERT_EQ(retouch::readStrokesFile(rig.files.path("p.strokes")).size(), 1u);

    RetouchRig other;
    other.prompter.answerNext(PromptAnswer::No); // its own montage need not be saved first
    other.open(rig.files.path("p.mon"));
    EXPECT_EQ(other.montagePicture(), painted);
    ASSERT_EQ(other.strokes(), 1);
    other.trigger("mnuUndoRetouch");
    EXPECT_EQ(other.montagePicture(), rig.plain);
}

// A command started while the left button still paints (a shortcut, the context menu mid-drag)
// ends the stroke first: it counts as work Make Montage asks about, and the drag paints no more.
TEST(RetouchWindow, ACommandStartedMidStrokeEndsTheStrokeFirst) {
    RetouchRig rig;
    rig.startRetouching(3);
    QTest::mousePress(rig.box(), Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseMove(rig.box(), QPoint(60, 40));
    rig.runAnswering(Command::MakeMontage, PromptAnswer::No);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, loseStrokesText(1));
    EXPECT_FALSE(rig.form->session().strokeUnderway());
    const QImage painted = rig.montagePicture();
    EXPECT_NE(painted, rig.plain);
    QTest::mouseMove(rig.box(), QPoint(100, 70));
    QTest::mouseRelease(rig.box(), Qt::LeftButton, {}, QPoint(100, 70));
    EXPECT_EQ(rig.strokes(), 1);
    EXPECT_EQ(rig.montagePicture(), painted);
    rig.trigger("mnuUndoRetouch");
    EXPECT_EQ(rig.montagePicture(), rig.plain);
}

// A retouched project whose pictures changed size since: its stored montage is shown as saved and
// the user told; strokes that no longer lie on the pictures' montage are not offered for undo.
TEST(RetouchWindow, AProjectWhosePicturesChangedSizeKeepsItsStoredMontage) {
    RetouchRig rig;
    rig.startRetouching(3);
    rig.drag({QPoint(30, 30), QPoint(110, 70)});
    const QImage painted = rig.montagePicture();
    rig.saveProject(rig.files.path("p.mon"));
    rig.trigger("mnuRetouch");

    for (const QSize size : {QSize(96, 64), QSize(140, 92)}) {
        writeTexturedSeries(rig.files, "r", 3, size);
        rig.prompter.shown.clear();
        rig.open(rig.files.path("p.mon"));
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << rig.prompter.shown[0].text;
        EXPECT_EQ(rig.prompter.shown[0].text, projectResizedText(120, 80, size.width(), size.height()));
        EXPECT_EQ(rig.montagePicture(), painted);
        EXPECT_EQ(rig.strokes(), 0);
    }
}

// Strokes painted into a comparison montage are work as well: every command that throws its
// window away asks first, and No keeps the window and its strokes.
struct ComparisonRig : RetouchRig {
    FormMontagePicture* comparison = nullptr;
    int k = -1;
    ComparisonRig() {
        form->action(Command::CompareAllMethods)->trigger();
        form->action(Command::CopyMontage)->trigger(); // the main montage is kept
        for (int i = kComparisonMontages - 1; i >= 0 && !comparison; --i)
            if (FormMontagePicture* w = form->windows().comparisonWindow(i); w && w->isVisible()) {
                comparison = w;
                k = i;
            }
        EXPECT_NE(comparison, nullptr);
        if (!comparison) return;
        comparison->menuAction(QStringLiteral("mnuRetouch"))->trigger();
        PictureBox* b = comparison->PictureFile();
        QTest::mousePress(b, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseMove(b, QPoint(70, 50));
        QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(70, 50));
        EXPECT_EQ(form->session().strokeCount(MontageChoice{k}), 1);
        prompter.shown.clear();
        form->show();
    }
};

struct LosingCase {
    const char* label;
    std::function<void(ComparisonRig&)> command;
    const char* going;
};

void PrintTo(const LosingCase& c, std::ostream* os) { *os << c.label; }

class ComparisonStrokes : public ::testing::TestWithParam<LosingCase> {};

TEST_P(ComparisonStrokes, AreAskedAboutAndNoKeepsThem) {
    ComparisonRig rig;
    ASSERT_NE(rig.comparison, nullptr);
    rig.prompter.answerNext(PromptAnswer::No);
    GetParam().command(rig);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, loseComparisonStrokesText(1, GetParam().going));
    EXPECT_EQ(rig.prompter.shown[0].buttons, PromptButtons::YesNo);
    EXPECT_EQ(rig.quits, 0);
    EXPECT_EQ(rig.form->windows().comparisonWindow(rig.k), rig.comparison);
    EXPECT_EQ(rig.form->session().strokeCount(MontageChoice{rig.k}), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ComparisonStrokes,
    ::testing::Values(LosingCase{"exit", [](ComparisonRig& r) { r.form->action(Command::Exit)->trigger(); }, "Go on"},
                      LosingCase{"load", [](ComparisonRig& r) { r.form->action(Command::Load)->trigger(); }, "Go on"},
                      LosingCase{"make_montage", [](ComparisonRig& r) { r.form->action(Command::MakeMontage)->trigger(); },
                                 "Make a new montage"},
                      LosingCase{"compare_all_methods",
                                 [](ComparisonRig& r) { r.form->action(Command::CompareAllMethods)->trigger(); },
                                 "Make a new montage"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ComparisonStrokes, OnceSavedOrThrownAwayTheyAreNotAskedAboutAgain) {
    ComparisonRig rig;
    ASSERT_NE(rig.comparison, nullptr);
    // Yes lets the new series in; its comparison windows are gone, and quitting asks nothing.
    rig.runAnswering(Command::Load, PromptAnswer::Yes);
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.form->windows().comparisonWindow(rig.k), nullptr);
    rig.form->action(Command::Exit)->trigger();
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.quits, 1);

    // A comparison window the user closed cannot be saved from any more: quitting asks nothing
    // about its strokes.
    ComparisonRig closed;
    ASSERT_NE(closed.comparison, nullptr);
    closed.prompter.answerNext(PromptAnswer::No); // closing it asks once; No lets the strokes go
    closed.comparison->close();
    ASSERT_EQ(closed.prompter.shown.size(), 1u);
    EXPECT_EQ(closed.prompter.shown[0].text, closeRetouchedText(1));
    closed.prompter.shown.clear();
    closed.form->action(Command::Exit)->trigger();
    EXPECT_TRUE(closed.prompter.shown.empty()) << closed.prompter.shown[0].text;
    EXPECT_EQ(closed.quits, 1);

    // A comparison montage saved from its window is kept: nothing is asked.
    ComparisonRig saved;
    ASSERT_NE(saved.comparison, nullptr);
    saved.dialogs->chooseFile(QString::fromStdString(saved.files.path("kept.bmp")));
    saved.comparison->action(Command::PictureSaveAs)->trigger();
    saved.prompter.shown.clear();
    saved.form->action(Command::Exit)->trigger();
    EXPECT_TRUE(saved.prompter.shown.empty()) << saved.prompter.shown[0].text;
    EXPECT_EQ(saved.quits, 1);
}

// A comparison window that goes while it is retouched, its stroke still under the button, lets go
// of retouching first: the stroke is ended and kept, and nothing is left pointing at the window.
TEST(ComparisonStrokes, AWindowGoingMidStrokeEndsTheStrokeFirst) {
    ComparisonRig rig;
    ASSERT_NE(rig.comparison, nullptr);
    PictureBox* b = rig.comparison->PictureFile();
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseMove(b, QPoint(60, 40));
    ASSERT_TRUE(rig.form->session().strokeUnderway());
    delete rig.comparison;
    EXPECT_FALSE(rig.form->session().strokeUnderway());
    EXPECT_EQ(rig.retouch().window(), nullptr);
    EXPECT_EQ(rig.form->session().strokeCount(MontageChoice{rig.k}), 2);
}

// Closing a montage window whose strokes were not kept asks as Exit does: Cancel keeps the
// window and its strokes, Yes saves the retouched montage before the window goes, No lets it go.
struct ClosingCase {
    const char* label;
    bool comparison;
    std::function<void(FormMontagePicture*)> close;
};

void PrintTo(const ClosingCase& c, std::ostream* os) { *os << c.label; }

class ClosingRetouched : public ::testing::TestWithParam<ClosingCase> {};

TEST_P(ClosingRetouched, AsksFirstAndKeepsTheStrokesUnlessLetGo) {
    std::unique_ptr<RetouchRig> rig;
    FormMontagePicture* w = nullptr;
    std::optional<int> which;
    if (GetParam().comparison) {
        auto c = std::make_unique<ComparisonRig>();
        ASSERT_NE(c->comparison, nullptr);
        w = c->comparison;
        which = c->k;
        rig = std::move(c);
    } else {
        rig = std::make_unique<RetouchRig>();
        w = rig->window();
        rig->trigger("mnuRetouch");
        rig->drag({QPoint(30, 30), QPoint(60, 40)});
        rig->prompter.shown.clear();
    }
    auto strokes = [&] { return rig->form->session().strokeCount(MontageChoice{which}); };
    ASSERT_EQ(strokes(), 1);
    const QImage painted = w->PictureFile()->picture().convertToFormat(QImage::Format_RGB888);

    rig->prompter.answerNext(PromptAnswer::Cancel);
    GetParam().close(w);
    ASSERT_EQ(rig->prompter.shown.size(), 1u);
    EXPECT_EQ(rig->prompter.shown[0].text, closeRetouchedText(1));
    EXPECT_EQ(rig->prompter.shown[0].buttons, PromptButtons::YesNoCancel);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(strokes(), 1);

    // Yes whose save is cancelled keeps the window too.
    rig->prompter.answerNext(PromptAnswer::Yes);
    rig->dialogs->cancel();
    GetParam().close(w);
    EXPECT_TRUE(w->isVisible());

    const std::string kept = rig->files.path("kept.bmp");
    rig->prompter.answerNext(PromptAnswer::Yes);
    rig->dialogs->chooseFile(QString::fromStdString(kept));
    GetParam().close(w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(QImage(QString::fromStdString(kept)).convertToFormat(QImage::Format_RGB888), painted);

    // Once kept, closing again asks nothing.
    w->show();
    rig->prompter.shown.clear();
    GetParam().close(w);
    EXPECT_TRUE(rig->prompter.shown.empty());
    EXPECT_FALSE(w->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClosingRetouched,
    ::testing::Values(ClosingCase{"main_by_its_frame", false, [](FormMontagePicture* w) { w->close(); }},
                      ClosingCase{"main_by_close_window", false,
                                  [](FormMontagePicture* w) { w->menuAction(QStringLiteral("mnuClose"))->trigger(); }},
                      ClosingCase{"comparison_by_its_frame", true, [](FormMontagePicture* w) { w->close(); }}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ClosingRetouched, NoLetsTheWindowAndItsStrokesGoAndNothingIsAskedAtExit) {
    RetouchRig rig;
    rig.trigger("mnuRetouch");
    rig.drag({QPoint(30, 30), QPoint(60, 40)});
    rig.prompter.shown.clear();
    rig.prompter.answerNext(PromptAnswer::No);
    rig.window()->close();
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_FALSE(rig.window()->isVisible());
    rig.form->action(Command::Exit)->trigger();
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.quits, 1);
}


// What a person does with the shared pcb series: a Pyramid Focus montage, a region painted from
// picture 3, undone and redone, the montage and the project saved, the project opened again and
// the stroke undone.
TEST(RetouchRealSeries, PcbPyramidFocusPaintedFromPictureThreeAndUndoneAfterReopening) {
    const std::string first = std::string(ORVANTA_SHARED_DATA) + "/stacks/pcb/pcb01.jpg";
    if (!QFile::exists(QString::fromStdString(first))) GTEST_SKIP() << "the shared pcb series is not here";
    MontageRig rig;
    rig.form->setMontageMethod(kPyramidFocusMethod);
    ASSERT_TRUE(rig.make(first, "20").made);
    FormMontagePicture* window = rig.form->windows().montageWindow();
    const QImage plain = rig.montagePicture();
    window->menuAction("mnuRetouch")->trigger();
    QTest::keyClick(window, Qt::Key_3);
    PictureBox* box = window->PictureFile();
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(900, 700));
    for (int i = 1; i <= 10; ++i) QTest::mouseMove(box, QPoint(900 + 30 * i, 700 + 12 * i));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(1200, 820));
    const QImage painted = rig.montagePicture();
    ASSERT_NE(painted, plain);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), plain);
    QTest::keyClick(window, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), painted);

    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("pcb montage.png")));
    window->menuAction("mnuSaveAs")->trigger();
    EXPECT_EQ(QImage(QString::fromStdString(rig.files.path("pcb montage.png"))).convertToFormat(QImage::Format_RGB888),
              painted);
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("pcb.mon")));
    window->menuAction("mnuSaveProject")->trigger();
    ASSERT_TRUE(QFile::exists(QString::fromStdString(rig.files.path("pcb.strokes"))));

    MontageRig other;
    other.open(rig.files.path("pcb.mon"));
    EXPECT_EQ(other.montagePicture(), painted);
    other.form->windows().montageWindow()->menuAction("mnuUndoRetouch")->trigger();
    EXPECT_EQ(other.montagePicture(), plain);
    EXPECT_TRUE(other.prompter.shown.empty());
}

} // namespace
} // namespace orv::testing
