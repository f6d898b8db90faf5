// Projects in the windows: saving from the main window and from a montage window, opening from the
// Open dialog and from a recent entry, the settings restored, the stored montage shown instead of
// a new one, and every failure message. Projects whose pictures moved or changed, projects written
// by orvanta-cli and projects of 16-bit series are in project_series_test.cpp.
#include "project_rig.h"

#include "cli_like.h"
#include "settings/project_file.h"
#include "ui/form_status.h"
#include "ui/montage_windows.h"

#include <QAction>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace orv;
using namespace orv::testing;

namespace {

// --- saving -------------------------------------------------------------------------------------

TEST(SaveProject, ProposesTheSeriesNameAndWritesTheTextAndTheBitmap) {
    ProjectRig rig;
    rig.makeAndSave();
    ASSERT_EQ(rig.dialogs->requests.size(), 1u);
    const DialogRequest& r = rig.dialogs->requests[0];
    EXPECT_EQ(r.kind, DialogKind::Save);
    EXPECT_EQ(r.fileName.toStdString(), rig.project);
    EXPECT_EQ(r.filter, "Project files  (*.mon)|*.mon|All files  (*.*)|*.*|");
    EXPECT_EQ(r.flags, 6);
    EXPECT_EQ(readAll(rig.project), "[project]\r\n" + rig.state.montage.main().properties + "\r\n");
    const QImage bitmap(QString::fromStdString(rig.files.path("rock01.vrk")), "BMP");
    EXPECT_EQ(rgb(bitmap), rig.montagePicture());
    EXPECT_EQ(rig.state.recent.caption(0), "project " + rig.files.path("rock01"));
}

TEST(SaveProject, ANameTypedWithoutAnExtensionGetsMon) {
    ProjectRig rig;
    ASSERT_TRUE(rig.make(rig.first).made);
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("rock")));
    entry(rig, "mnuSave")->trigger();
    EXPECT_TRUE(exists(rig.files.path("rock.mon")));
    EXPECT_TRUE(exists(rig.files.path("rock.vrk")));
    EXPECT_FALSE(exists(rig.files.path("rock")));
    EXPECT_EQ(rig.state.recent.caption(0), "project " + rig.files.path("rock"));
}

// The dialog is asked about the name as typed; the file written is that name with ".mon": an
// existing one is asked about under that name before it is replaced.
TEST(SaveProject, ANameTypedWithoutAnExtensionIsAskedAboutAsTheMonFileItReplaces) {
    ProjectRig rig;
    ASSERT_TRUE(rig.make(rig.first).made);
    rig.files.writeText("rock.mon", "an older project\r\n");
    const QString typed = QString::fromStdString(rig.files.path("rock"));
    rig.dialogs->chooseFile(typed);
    rig.dialogs->answerReplace(false);
    entry(rig, "mnuSave")->trigger(); // then cancelled
    EXPECT_EQ(rig.dialogs->replaceQuestions, std::vector<QString>{QString::fromStdString(rig.files.path("rock.mon"))});
    ASSERT_EQ(rig.dialogs->requests.size(), 2u);
    EXPECT_EQ(rig.dialogs->requests[1].fileName, typed);
    EXPECT_EQ(readAll(rig.files.path("rock.mon")), "an older project\r\n");
    EXPECT_FALSE(exists(rig.files.path("rock.vrk")));

    rig.dialogs->chooseFile(typed);
    entry(rig, "mnuSave")->trigger(); // answered yes
    EXPECT_EQ(readAll(rig.files.path("rock.mon")), "[project]\r\n" + rig.state.montage.main().properties + "\r\n");
    EXPECT_TRUE(exists(rig.files.path("rock.vrk")));
}

// A recent entry opens the entry's name with ".mon": a project saved or opened under another
// ending gets no entry, which would open another project (or none) in its place.
TEST(SaveProject, AProjectWithAnotherEndingGetsNoRecentEntryThatWouldOpenAnotherFile) {
    ProjectRig rig;
    ASSERT_TRUE(rig.make(rig.first).made);
    const std::string prj = rig.files.path("rock01.prj");
    rig.dialogs->chooseFile(QString::fromStdString(prj));
    entry(rig, "mnuSave")->trigger();
    ASSERT_TRUE(exists(prj));
    rig.open(prj);
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    for (int i = 0; i < 12; ++i) EXPECT_NE(rig.state.recent.caption(i), "project " + rig.files.path("rock01")) << i;
    EXPECT_EQ(rig.state.recent.caption(0), rig.first);
}

// A name ending in "vrk" (or a bitmap name linked to the project) would have the text written over
// the montage picture it was saved with: it is refused and the dialog asks again.
TEST(SaveProject, ANameThatIsItsOwnBitmapIsRefusedAndAskedAgain) {
    ProjectRig rig;
    ASSERT_TRUE(rig.make(rig.first).made);
    const std::string vrk = rig.files.path("rock.vrk");
    rig.files.writeText("linked.mon", "an older project\r\n");
    ASSERT_TRUE(QFile::link(QString::fromStdString(rig.files.path("linked.mon")),
                            QString::fromStdString(rig.files.path("linked.vrk"))));
    rig.dialogs->chooseFile(QString::fromStdString(vrk));
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("linked.mon")));
    rig.dialogs->chooseFile(QString::fromStdString(rig.project));
    entry(rig, "mnuSave")->trigger();
    ASSERT_EQ(rig.dialogs->requests.size(), 3u);
    ASSERT_EQ(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                                             vrk + " would hold both the project and its montage picture, which "
                                                   "would be lost.   Please end the project's name with .mon.",
                                             "Choose another name"}));
    EXPECT_EQ(rig.prompter.shown[1].text, projectIsItsOwnBitmapText(rig.files.path("linked.mon")));
    EXPECT_FALSE(exists(vrk));
    EXPECT_EQ(readAll(rig.files.path("linked.mon")), "an older project\r\n");
    // The name chosen last is saved and opens with its montage.
    const QImage saved = rig.montagePicture();
    rig.prompter.shown.clear();
    rig.open(rig.project);
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.montagePicture(), saved);
}

TEST(SaveProject, CancelSavesNothingAndNoMontageIsRefused) {
    ProjectRig rig;
    entry(rig, "mnuSave")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                                             "You have to have a Montage image visible in order to save a project.",
                                             "Sorry..."}));
    EXPECT_TRUE(rig.dialogs->requests.empty());
    ASSERT_TRUE(rig.make(rig.first).made);
    entry(rig, "mnuSave")->trigger(); // the scripted dialog cancels
    EXPECT_FALSE(exists(rig.project));
    EXPECT_FALSE(exists(rig.files.path("rock01.vrk")));
}

// Another program putting the same project into place all the while: the save gives up after a
// few seconds with a message that says so, and the project stays the earlier save's, unlisted.
TEST(SaveProject, AProjectAnotherProgramIsSavingIsSaidAndLeftAsItWas) {
    ProjectRig rig;
    rig.makeAndSave();
    const std::string text = readAll(rig.project);
    const std::string bitmap = readAll(rig.files.path("rock01.vrk"));
    const std::string other = rig.files.path("other.mon");
    rig.files.writeText("other.mon", text);
    const int held = ::open((other + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    rig.form->setMontageMethod(2);
    ASSERT_TRUE(rig.make(rig.first).made);

    rig.dialogs->chooseFile(QString::fromStdString(other));
    rig.dialogs->answerReplace(true);
    entry(rig, "mnuSave")->trigger();
    ::close(held);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                                             "error 70 (" + std::string(kProjectBusyDescription) +
                                                 ") at line 0 of mnuSave",
                                             "Nobody's Perfect"}));
    EXPECT_EQ(readAll(other), text);
    EXPECT_FALSE(exists(rig.files.path("other.vrk")));
    for (int i = 0; i < 12; ++i) EXPECT_NE(rig.state.recent.caption(i), "project " + rig.files.path("other")) << i;
    EXPECT_FALSE(rig.form->commandRunning());
}

TEST(SaveProject, AComparisonWindowSavesItsOwnPictureAndText) {
    ProjectRig rig;
    ASSERT_TRUE(rig.make(rig.first, "10").made);
    rig.form->action(Command::CompareAllMethods)->trigger();
    rig.prompter.shown.clear();
    FormMontagePicture* second = rig.form->windows().comparisonWindow(2);
    ASSERT_NE(second, nullptr);
    const std::string path = rig.files.path("second.mon");
    rig.dialogs->chooseFile(QString::fromStdString(path));
    second->menuAction("mnuSaveProject")->trigger();
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.dialogs->requests.back().initDir.toStdString(), rig.state.programFolder);
    EXPECT_EQ(readAll(path), "[project]\r\n" + rig.state.montage.records[std::size_t(1 + 2)].properties + "\r\n");
    EXPECT_NE(readAll(path).find("Montage method used =2 (Preference Red Focus)"), std::string::npos);
    EXPECT_EQ(rgb(QImage(QString::fromStdString(rig.files.path("second.vrk")), "BMP")),
              rgb(second->PictureFile()->picture()));
}

// --- opening ------------------------------------------------------------------------------------

TEST(OpenProject, ShowsTheStoredMontageEvenWhenThePicturesChanged) {
    ProjectRig rig;
    rig.makeAndSave();
    const QImage saved = rig.montagePicture();
    const std::string map = rig.map();
    const std::string props = rig.state.montage.main().properties;
    // Other pictures under the same names, other settings in the controls.
    writeTexturedSeries(rig.files, "rock", 3, QSize(60, 40), 5);
    rig.form->setMontageMethod(4);
    rig.form->TextIncrement()->setText("30");
    rig.form->textFileName()->setText("elsewhere");

    rig.open(rig.project);
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.dialogs->requests.back().kind, DialogKind::Open);
    EXPECT_EQ(rig.dialogs->requests.back().flags, 4);
    EXPECT_EQ(rig.montagePicture(), saved);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.map(), map);
    EXPECT_EQ(rig.state.montage.main().properties, props);
    EXPECT_EQ(rig.form->montageMethod(), 0);
    EXPECT_EQ(rig.form->TextIncrement()->text(), "20");
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.first);
    EXPECT_EQ(rig.state.series.imageCount, 3); // the series is loaded
    // The next Make Montage computes a new one.
    ASSERT_TRUE(rig.form->makeMontage().made);
    EXPECT_NE(rig.montagePicture(), saved);
}

// Pictures that changed size since the project was saved no longer fit its montage, offsets or
// map: the user is told, and the project's own montage, map and text are kept as they were.
TEST(OpenProject, PicturesThatChangedSizeAreSaidAndTheStoredMontageIsKept) {
    ProjectRig rig;
    rig.makeAndSave();
    const QImage saved = rig.montagePicture();
    const std::string map = rig.map();
    const std::string props = rig.state.montage.main().properties;
    writeTexturedSeries(rig.files, "rock", 3, QSize(80, 52));

    rig.open(rig.project);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                                             projectResizedText(60, 40, 80, 52), kProjectResizedTitle}));
    EXPECT_NE(rig.prompter.shown[0].text.find("montage is 60 x 40, the pictures now make one of 80 x 52"),
              std::string::npos);
    EXPECT_EQ(rig.montagePicture(), saved);
    EXPECT_EQ(rig.map(), map);
    EXPECT_EQ(rig.state.montage.main().properties, props);
    EXPECT_FALSE(rig.form->commandRunning());

    // Of the same size again, the project opens without a word.
    writeTexturedSeries(rig.files, "rock", 3, QSize(60, 40), 4);
    rig.prompter.shown.clear();
    rig.open(rig.project);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
}

// The montage bitmap replaced since the project was saved, or damaged into a picture of another
// size, while the pictures are as they were: the bitmap is named, not the pictures. A bitmap
// within the same blocks of the map as the montage it replaced cannot be told from pictures that
// changed so little: the pictures are said, as before.
TEST(OpenProject, ABitmapOfAnotherSizeIsNamedWhenThePicturesAreAsTheyWere) {
    struct Case {
        QSize bitmap;
        bool named;
    };
    for (const Case c : {Case{QSize(80, 52), true}, Case{QSize(30, 40), true}, Case{QSize(58, 40), false}}) {
        SCOPED_TRACE(std::to_string(c.bitmap.width()) + " x " + std::to_string(c.bitmap.height()));
        ProjectRig rig;
        rig.makeAndSave();
        const std::string map = rig.map();
        const std::string bitmap = rig.files.path("rock01.vrk");
        const QImage other = texturedPicture(2, 3, c.bitmap);
        ASSERT_TRUE(other.save(QString::fromStdString(bitmap), "BMP"));

        rig.open(rig.project);
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        const int w = c.bitmap.width(), h = c.bitmap.height();
        if (c.named)
            EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                                                     projectBitmapResizedText(bitmap, w, h, 60, 40),
                                                     kProjectBitmapChangedTitle}));
        else
            EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                                                     projectResizedText(w, h, 60, 40), kProjectResizedTitle}));
        EXPECT_EQ(rig.state.series.imageCount, 3);
        EXPECT_EQ(rig.montagePicture(), rgb(other));
        EXPECT_EQ(rig.map(), map);
        // The bitmap does not fit the pictures' map: smoothing waits for the montage made again.
        rig.prompter.shown.clear();
        entry(rig, "mnuSmooth")->trigger();
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_EQ(rig.prompter.shown[0].text, kSmoothSourcesGoneText);
    }
}

// With offsets the montage is the area the targets give: pictures that shrank under the same
// targets make another area, and are said.
TEST(OpenProject, PicturesThatShrankUnderTheProjectsTargetsAreSaid) {
    ProjectRig rig;
    rig.form->windows().sourceWindow(1)->centreTargetOn(20, 15);
    ASSERT_EQ(rig.load(rig.first), LoadOutcome::Loaded);
    rig.form->windows().existingSourceWindow(2)->centreTargetOn(26, 12);
    entry(rig, "mnuAddOffsets")->trigger();
    entry(rig, "mnuActivateOffsetsMax")->trigger();
    rig.makeAndSave();
    const QImage saved = rig.montagePicture();
    writeTexturedSeries(rig.files, "rock", 3, QSize(48, 32));

    rig.open(rig.project);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].title, kProjectResizedTitle);
    EXPECT_EQ(rig.montagePicture(), saved);
    EXPECT_EQ(rig.form->windows().existingSourceWindow(2)->target().centre(), (ImageOffset{26, 12}));
}

// A series that grew or shrank since the project was saved no longer fits its map and offsets,
// though every picture kept its size: the user is told, and the stored montage is kept.
TEST(OpenProject, ASeriesThatGrewOrShrankIsSaidAndTheStoredMontageIsKept) {
    ProjectRig rig;
    rig.makeAndSave();
    const QImage saved = rig.montagePicture();
    const std::string map = rig.map();
    struct Case {
        int pictures;
        std::string text;
    };
    for (const Case& c : {Case{2, "its montage was made from 3 pictures, 2 are loaded now."},
                          Case{5, "its montage was made from 3 pictures, 5 are loaded now."}}) {
        for (int k = 1; k <= 5; ++k) QFile::remove(QString::fromStdString(rig.files.path("rock0" + std::to_string(k) + ".bmp")));
        writeTexturedSeries(rig.files, "rock", c.pictures, QSize(60, 40), 3);
        rig.prompter.shown.clear();
        rig.open(rig.project);
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << c.pictures;
        EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                                                 projectRecountedText(3, c.pictures), kProjectResizedTitle}));
        EXPECT_NE(rig.prompter.shown[0].text.find(c.text), std::string::npos) << rig.prompter.shown[0].text;
        EXPECT_EQ(rig.state.series.imageCount, c.pictures);
        EXPECT_EQ(rig.montagePicture(), saved);
        EXPECT_EQ(rig.map(), map);
    }
}

TEST(OpenProject, ARecentEntryOpensWithoutADialog) {
    ProjectRig rig;
    rig.makeAndSave();
    rig.form->fillRecentFiles();
    const std::size_t dialogs = rig.dialogs->requests.size();
    rig.form->windows().montageWindow()->PictureFile()->setBlankPicture(60, 40);
    ASSERT_EQ(rig.form->mnuRecentFile(0)->text().toStdString(), "project " + rig.files.path("rock01"));
    rig.form->mnuRecentFile(0)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.dialogs->requests.size(), dialogs);
    EXPECT_EQ(rig.montagePicture(), rgb(QImage(QString::fromStdString(rig.files.path("rock01.vrk")), "BMP")));
}

// A recent entry opens a project as Load a Project does: a montage window left retouching from a
// picture the project's series does not have paints from its first picture, as after the menu.
TEST(OpenProject, ARecentEntryLeavesRetouchingOnAPictureTheProjectsSeriesHas) {
    ProjectRig rig;
    rig.makeAndSave();
    ASSERT_TRUE(rig.makeTextured("long", 6, QSize(60, 40)).made);
    rig.form->fillRecentFiles();
    ASSERT_EQ(rig.form->mnuRecentFile(1)->text().toStdString(), "project " + rig.files.path("rock01"));
    FormMontagePicture* montage = rig.form->windows().montageWindow();
    RetouchCommands& retouch = rig.form->retouchCommands();
    retouch.setMode(montage, true);
    retouch.setSource(6);
    ASSERT_EQ(retouch.source(), 6);
    rig.prompter.answerNext(PromptAnswer::No); // the montage of "long" is let go
    rig.form->mnuRecentFile(1)->trigger();
    ASSERT_EQ(rig.state.series.imageCount, 3);
    EXPECT_EQ(retouch.source(), 1);
    EXPECT_TRUE(montage->windowTitle().endsWith(QString::fromLatin1(kRetouchCaptionMark) + QStringLiteral("1")))
        << montage->windowTitle().toStdString();
}

TEST(OpenProject, AnIgnoreLineTicksThosePicturesOnly) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "ten", 10, QSize(40, 20));
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("ten01.bmp")));
    rig.form->TextIncrement()->setText("10");
    for (int n : {2, 10}) rig.form->mnuignoreImage(n - 1)->setChecked(true);
    ASSERT_TRUE(rig.form->makeMontage().made);
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("ten01.mon")));
    entry(rig, "mnuSave")->trigger();
    EXPECT_NE(readAll(rig.files.path("ten01.mon")).find("  Ignore image number =2, 10\r\n"), std::string::npos);
    for (int i = 0; i < 10; ++i) rig.form->mnuignoreImage(i)->setChecked(i == 4);

    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("ten01.mon")));
    entry(rig, "mnuOpenProject")->trigger();
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(rig.form->mnuignoreImage(i)->isChecked(), i == 1 || i == 9) << i;
}

TEST(OpenProject, AProjectWithoutOffsetsLeavesUseImageOffsetsAsItWas) {
    for (const bool on : {false, true}) {
        ProjectRig rig;
        rig.makeAndSave();
        if (on) entry(rig, "mnuAddOffsets")->trigger();
        rig.open(rig.project);
        EXPECT_EQ(entry(rig, "mnuAddOffsets")->isChecked(), on);
        EXPECT_EQ(rig.form->statusWindow() != nullptr, on);
    }
}

TEST(OpenProject, OffsetsTickTheEntryAndPlaceTheTargetsFromTheFile) {
    ProjectRig rig;
    rig.files.writeText("off.mon", "[project]\r\n\r\n  First file name =" + rig.first +
                                       "\r\n  Increment size =20\r\n  Offset display method =Maximum\r\n"
                                       "  Image 1 offset X =20\r\n  Image 1 offset Y =15\r\n"
                                       "  Image 2 offset X =24\r\n  Image 2 offset Y =13\r\n"
                                       "  Image 3 offset X =18\r\n  Image 3 offset Y =17\r\n"
                                       "  Montage made from dominant image numbers:\r\n123\r\n123\r\n\r\n\r\n");
    // The montage the settings give: 60 x 40 pictures widened by the targets' spread to the maximum area.
    QImage(68, 44, QImage::Format_RGB888).save(QString::fromStdString(rig.files.path("off.vrk")), "BMP");
    rig.open(rig.files.path("off.mon"));
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_TRUE(entry(rig, "mnuAddOffsets")->isChecked());
    EXPECT_TRUE(entry(rig, "mnuActivateOffsetsMax")->isChecked());
    EXPECT_FALSE(entry(rig, "mnuActivateOffsetsSame")->isChecked());
    EXPECT_EQ(rig.form->windows().existingSourceWindow(2)->target().centre(), (ImageOffset{24, 13}));
    EXPECT_EQ(rig.form->windows().existingSourceWindow(2)->target().outer, (MarkerBox{11, 0, 26, 26}));
    EXPECT_EQ(rig.state.montage.offsets[3], (ImageOffset{18, 17}));
    ASSERT_NE(rig.form->statusWindow(), nullptr);
    EXPECT_EQ(rig.form->statusWindow()->statusText(),
              "     Image 1 = 20 , 15    Image 2 = 24 , 13    Image 3 = 18 , 17");
    EXPECT_EQ(rig.map(), "123\r\n123\r\n");
}

TEST(OpenProject, AMissingProjectIsReportedAndEmptiesTheBox) {
    ProjectRig rig;
    rig.open(rig.files.path("nothing.mon"));
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0],
              (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                      "There is a problem in reading that file.   It appears not to exist.   Try another project file.",
                      "Do you always have bad luck like this?"}));
    EXPECT_EQ(rig.form->textFileName()->text(), "");
    // Cancelling the dialog opens nothing and says nothing.
    rig.prompter.shown.clear();
    entry(rig, "mnuOpenProject")->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty());
}

// A project whose file is gone, opened from its recent entry: the user is told as before, and the
// entry, which could only fail again, is blanked in the list and in the preferences file, as a
// series that is gone is. A project that is there but cannot be opened keeps its entry.
TEST(OpenProject, AMissingProjectOpenedFromItsRecentEntryIsBlankedInTheList) {
    ProjectRig rig;
    rig.makeAndSave();
    const std::string entryText = "project " + rig.files.path("rock01");
    rig.form->AddRecentFile(rig.first);
    rig.form->AddRecentFile(entryText);
    ASSERT_EQ(rig.state.recent.caption(0), entryText);
    QFile::remove(QString::fromStdString(rig.project));

    rig.form->mnuRecentFile(0)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0],
              (Prompt{PromptIcon::Critical, PromptButtons::Ok, kMissingProjectText, kMissingProjectTitle}));
    EXPECT_EQ(rig.form->textFileName()->text(), "");
    for (int i = 0; i < 12; ++i) EXPECT_NE(rig.state.recent.caption(i), entryText) << i;
    EXPECT_EQ(rig.state.recent.caption(0), "");
    EXPECT_FALSE(rig.form->mnuRecentFile(0)->isVisible());
    EXPECT_EQ(rig.preference("recent file 0"), "");
    EXPECT_EQ(rig.state.recent.caption(1), rig.first);

    // A folder under the project's name is there: it is refused, its entry stays.
    ASSERT_TRUE(QDir(QString::fromStdString(rig.files.folder())).mkdir("rock01.mon"));
    rig.form->AddRecentFile(entryText);
    rig.prompter.shown.clear();
    rig.form->mnuRecentFile(0)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, kMissingProjectText);
    EXPECT_EQ(rig.state.recent.caption(0), entryText);
}

// An empty project file, one cut short before its first file name, or a picture chosen under "All
// files" names no series: it is refused with a message, and the controls, the montage and the
// recent list stay as they were.
TEST(OpenProject, AFileThatNamesNoSeriesIsRefusedAndChangesNothing) {
    ProjectRig rig;
    rig.makeAndSave();
    const QImage saved = rig.montagePicture();
    rig.files.writeText("empty.mon", "");
    rig.files.writeText("cut.mon", "[project]\r\n\r\n  First fi");
    for (const std::string& name : {rig.files.path("empty.mon"), rig.files.path("cut.mon"), rig.files.path("rock02.bmp")}) {
        rig.form->setMontageMethod(3);
        rig.form->TextIncrement()->setText("30");
        rig.form->mnuignoreImage(1)->setChecked(true);
        rig.prompter.shown.clear();
        rig.open(name);
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << name;
        EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                                                 "There is a problem in reading that file.   It names no series of "
                                                 "pictures: it is not a project file, or it has been cut short.   Try "
                                                 "another project file.",
                                                 "Do you always have bad luck like this?"}));
        EXPECT_EQ(rig.form->montageMethod(), 3);
        EXPECT_EQ(rig.form->TextIncrement()->text(), "30");
        EXPECT_TRUE(rig.form->mnuignoreImage(1)->isChecked());
        EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.first);
        EXPECT_EQ(rig.state.recent.caption(0), "project " + rig.files.path("rock01"));
        EXPECT_EQ(rig.montagePicture(), saved);
    }
}

TEST(OpenProject, AMissingBitmapGivesTheGenericMessageAfterTheSeriesIsLoadedWithoutAMontage) {
    ProjectRig rig;
    rig.makeAndSave();
    QFile::remove(QString::fromStdString(rig.files.path("rock01.vrk")));
    rig.form->windows().previewWindow()->close();
    rig.open(rig.project);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                                             "error 53 (File not found) at line 0 of mnuOpenProject",
                                             "Nobody's Perfect"}));
    // The series was loaded and the windows prepared, but no montage was computed: the montage
    // window waits black for the project's picture.
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture().size(), QSize(60, 40));
    EXPECT_EQ(rig.montagePicture().pixel(5, 5) & 0xffffff, 0u);
    EXPECT_FALSE(rig.form->windows().previewShown());
    EXPECT_EQ(rig.preference("filename"), rig.first);
    EXPECT_FALSE(rig.form->commandRunning());
}

TEST(OpenProject, AReopenedProjectCanBeSmoothed) {
    ProjectRig rig;
    rig.makeAndSave();
    rig.open(rig.project);
    rig.state.smoothing = SmoothingPreferences{};
    rig.state.smoothing.edgeFactor = 0.1f;
    rig.state.smoothing.focusFactor = 0.1f;
    rig.state.smoothing.diffFactor = 100;
    rig.prompter.shown.clear();
    entry(rig, "mnuSmooth")->trigger();
    for (const Prompt& p : rig.prompter.shown) EXPECT_NE(p.title, "Nobody's Perfect") << p.text;
}

} // namespace
