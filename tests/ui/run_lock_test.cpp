// A command that runs locks the program: what a user does meanwhile (a second click on Make
// Montage, Load, typing, closing windows) neither starts another run nor breaks the one under way.
#include "montage_fixture.h"

#include "ui/montage_windows.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

using namespace orv;
using namespace orv::testing;

namespace {

// Runs `during` once, from the first window events the next command lets run.
void whileTheNextCommandRuns(FormMontage& form, std::function<void()> during) {
    QTimer::singleShot(0, &form, std::move(during));
}

struct LockRig : MontageRig {
    std::string first;
    LockRig() {
        writeTexturedSeries(files, "lock", 4, QSize(96, 64));
        first = files.path("lock01.bmp");
        form->textFileName()->setText(QString::fromStdString(first));
        form->TextIncrement()->setText(QStringLiteral("20"));
    }
};

TEST(RunLock, ASecondMakeMontageOrALoadDuringARunIsRefusedAndTheControlsComeBack) {
    LockRig rig;
    bool ran = false;
    whileTheNextCommandRuns(*rig.form, [&] {
        ran = true;
        EXPECT_TRUE(rig.form->commandRunning());
        EXPECT_FALSE(rig.form->CommandGo()->isEnabled());
        EXPECT_FALSE(rig.form->CommandBrowse()->isEnabled());
        EXPECT_FALSE(rig.form->action(Command::Load)->isEnabled());
        EXPECT_FALSE(rig.form->action(Command::CompareAllMethods)->isEnabled());
        // Typing into the boxes is refused while the run uses what they said.
        QTest::keyClicks(rig.form->textFileName(), "xyz");
        QTest::keyClicks(rig.form->TextIncrement(), "9");
        rig.form->CommandGo()->click();
        rig.form->action(Command::MakeMontage)->trigger();
        rig.form->action(Command::Load)->trigger();
    });
    rig.form->CommandGo()->click();
    ASSERT_TRUE(ran);
    EXPECT_EQ(rig.form->montageCommands().montagesMade(), 1);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.first);
    EXPECT_EQ(rig.form->TextIncrement()->text(), "20");
    EXPECT_EQ(rig.state.series.imageCount, 4);
    // Everything answers again once the run is over.
    EXPECT_FALSE(rig.form->commandRunning());
    EXPECT_TRUE(rig.form->CommandGo()->isEnabled());
    EXPECT_TRUE(rig.form->action(Command::Load)->isEnabled());
    EXPECT_FALSE(rig.form->textFileName()->isReadOnly());
    rig.form->CommandGo()->click();
    EXPECT_EQ(rig.form->montageCommands().montagesMade(), 2);
}

// While a new montage is being made, the window shows it half made and the record still holds the
// earlier one: copying, printing or editing "the montage" then would hand over a picture that is
// not on screen, so those entries wait for the run as Save Montage As does.
TEST(RunLock, TheMontagesCopyPrintAndEditorEntriesWaitForTheRun) {
    LockRig rig;
    ASSERT_TRUE(rig.form->makeMontage().made);
    rig.state.montage.main().unsaved = false; // no question before the next run
    QGuiApplication::clipboard()->clear();
    bool ran = false;
    whileTheNextCommandRuns(*rig.form, [&] {
        ran = true;
        for (Command c : {Command::CopyMontage, Command::EditMontage, Command::PrintMontage, Command::PrintMontageFit,
                          Command::PrintMontageHalf})
            EXPECT_FALSE(rig.form->action(c)->isEnabled()) << int(c);
        rig.form->action(Command::CopyMontage)->trigger();
        rig.form->windows().montageWindow()->menuAction("mnucopy")->trigger();
        rig.form->windows().montageWindow()->menuAction("mnuPrint")->trigger();
    });
    ASSERT_TRUE(rig.form->makeMontage().made);
    ASSERT_TRUE(ran);
    EXPECT_TRUE(QGuiApplication::clipboard()->image().isNull());
    EXPECT_TRUE(rig.dialogs->requests.empty()) << "no print dialog during the run";
    EXPECT_TRUE(rig.state.montage.main().unsaved);
    // Once the run is over they answer, with the new montage.
    EXPECT_TRUE(rig.form->action(Command::CopyMontage)->isEnabled());
    rig.form->action(Command::CopyMontage)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), rig.montagePicture());
    EXPECT_FALSE(rig.state.montage.main().unsaved);
}

TEST(RunLock, AnEditDuringARunReachesNeitherTheMontageNorItsProperties) {
    LockRig rig;
    whileTheNextCommandRuns(*rig.form, [&] {
        // What a comparison or a script may still set in the controls while the run goes on.
        rig.form->setMontageMethod(int(FocusMethod::Blue));
        rig.form->mnuignoreImage(1)->setChecked(true);
    });
    ASSERT_TRUE(rig.form->makeMontage().made);
    const std::string& properties = rig.state.montage.main().properties;
    EXPECT_NE(properties.find("  Montage method used =0 (3D Color Space Focus)\r\n"), std::string::npos) << properties;
    EXPECT_EQ(properties.find("Ignore image number"), std::string::npos) << properties;
    EXPECT_EQ(rig.state.montage.main().request.method, FocusMethod::ColorSpace3D);
}

// Properties opened while a montage was being made showed the earlier montage's text, and kept
// showing it under the finished montage.
TEST(RunLock, APropertiesViewOpenedDuringARunShowsTheFinishedMontagesText) {
    LockRig rig;
    ASSERT_TRUE(rig.form->makeMontage().made);
    const std::string earlier = rig.state.montage.main().properties;
    rig.form->TextIncrement()->setText(QStringLiteral("30"));
    FormMontagePicture* window = rig.form->windows().montageWindow();
    whileTheNextCommandRuns(*rig.form, [&] { window->mnuProperties()->trigger(); });
    ASSERT_TRUE(rig.form->makeMontage().made);
    FormProperties* props = rig.form->windows().propertiesWindow();
    ASSERT_TRUE(window->mnuProperties()->isChecked());
    ASSERT_NE(rig.state.montage.main().properties, earlier);
    EXPECT_EQ(props->text(), rig.state.montage.main().properties);
    EXPECT_NE(props->text().find("  Increment size =30\r\n"), std::string::npos) << props->text();
}

TEST(RunLock, ClosingTheWindowsDuringARunLeavesAUsableProgram) {
    LockRig rig;
    ASSERT_TRUE(rig.form->makeMontage().made);
    const QImage first = rig.montagePicture();
    whileTheNextCommandRuns(*rig.form, [&] {
        WindowManager& w = rig.form->windows();
        w.montageWindow()->close();
        w.usedWindow()->close();
        if (w.hasPreview()) w.previewWindow()->close();
        if (FormPicture* source = w.existingSourceWindow(2)) source->close();
    });
    ASSERT_TRUE(rig.form->makeMontage().made);
    EXPECT_TRUE(rig.prompter.shown.empty());
    // The run finished into its windows, and the next one works as the first did.
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture(), first);
    rig.form->windows().montageWindow()->close();
    ASSERT_TRUE(rig.form->makeMontage().made);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture(), first);
}

} // namespace
