// Undo and Redo Retouch as a user meets them around the other commands of the main window.
#include "montage_fixture.h"

#include "ui/retouch_commands.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace orv::testing {
namespace {

struct HistoryRig : MontageRig {
    HistoryRig() {
        writeTexturedSeries(files, "r", 3, QSize(120, 80));
        writeTexturedSeries(files, "q", 4, QSize(100, 60));
        EXPECT_TRUE(make(files.path("r01.bmp"), "20").made);
    }
    FormMontagePicture* window() { return form->windows().montageWindow(); }
    void drag(QPoint from, QPoint to) {
        PictureBox* box = window()->PictureFile();
        QTest::mousePress(box, Qt::LeftButton, {}, from);
        QTest::mouseMove(box, to);
        QTest::mouseRelease(box, Qt::LeftButton, {}, to);
    }
    const RetouchHistory& history() { return form->session().record({}).retouch; }
};

// A Load of another series hides the montage being retouched. Ctrl+Z and Ctrl+Y from the main
// window then went on undoing and redoing strokes in the hidden montage of the earlier series,
// unseen, and took the keys from the text boxes, where they undo the typing of the new name.
TEST(RetouchHistoryWindow, UndoAndRedoKeysLeaveAMontageALoadHidAlone) {
    HistoryRig rig;
    rig.form->show();
    rig.window()->menuAction(QStringLiteral("mnuRetouch"))->trigger();
    QTest::keyClick(rig.window(), Qt::Key_2);
    rig.drag(QPoint(5, 5), QPoint(40, 50));
    rig.drag(QPoint(60, 5), QPoint(90, 50));
    QTest::keyClick(rig.window(), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(rig.history().count(), 1);
    ASSERT_EQ(rig.history().undone.size(), 1u);
    const std::vector<std::uint8_t> hidden = rig.form->session().record({}).picture.rounded();

    rig.prompter.answerNext(PromptAnswer::No); // the unsaved montage goes
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("q01.bmp")));
    rig.form->action(Command::Load)->trigger();
    ASSERT_FALSE(rig.window()->isVisible());
    EXPECT_FALSE(rig.form->retouchCommands().active());

    QApplication::setActiveWindow(rig.form.get());
    QLineEdit* name = rig.form->textFileName();
    name->setFocus();
    const QString loaded = name->text();
    QTest::keyClicks(name, "x");
    QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(name->text(), loaded);
    rig.form->CommandGo()->setFocus();
    QTest::keyClick(rig.form->CommandGo(), Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(rig.form->CommandGo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.history().count(), 1);
    EXPECT_EQ(rig.history().undone.size(), 1u);
    EXPECT_EQ(rig.form->session().record({}).picture.rounded(), hidden);

    // The next montage shows the window again, still retouching, and the keys undo its strokes.
    ASSERT_TRUE(rig.make(rig.files.path("q01.bmp"), "20").made);
    ASSERT_TRUE(rig.form->retouchCommands().active());
    rig.drag(QPoint(5, 5), QPoint(40, 50));
    ASSERT_EQ(rig.history().count(), 1);
    QTest::keyClick(rig.form->CommandGo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.history().count(), 0);
}

} // namespace
} // namespace orv::testing
