// Projects in the windows: saving from the main window and from a montage window, opening from the
// Open dialog and from a recent entry, the settings restored, the stored montage shown instead of
// a new one, every failure message, and projects written by orvanta-cli.
#include "montage_fixture.h"

#include "cli_like.h"
#include "support/oriented_pictures.h"
#include "settings/project_file.h"
#include "ui/form_status.h"
#include "ui/montage_windows.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

QAction* entry(MontageRig& rig, const char* name) { return rig.form->menuAction(QString::fromLatin1(name)); }

QImage rgb(const QImage& i) { return i.convertToFormat(QImage::Format_RGB888); }

bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

// A montage of the series rock01.bmp, rock02.bmp, rock03.bmp and its project saved as rock01.mon.
struct ProjectRig : MontageRig {
    std::string first, project;
    ProjectRig() {
        writeTexturedSeries(files, "rock", 3, QSize(60, 40));
        first = files.path("rock01.bmp");
        project = files.path("rock01.mon");
    }
    void makeAndSave() {
        ASSERT_TRUE(make(first).made);
        dialogs->chooseFile(QString::fromStdString(project));
        entry(*this, "mnuSave")->trigger();
        ASSERT_TRUE(prompter.shown.empty()) << prompter.shown[0].text;
    }
    void open(const std::string& name) {
        dialogs->chooseFile(QString::fromStdString(name));
        entry(*this, "mnuOpenProject")->trigger();
    }
};

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
    writeTexturedSeries(rig.files, "long", 6, QSize(60, 40));
    ASSERT_TRUE(rig.make(rig.files.path("long01.bmp")).made);
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

// A folder holding the project and its pictures, moved: the project names the pictures where they
// were. Open Project reads them from the project's own folder and says so; the file-name box shows
// them there, Save a Project stores that place, and the recent entry opens it without a word.
TEST(OpenProject, AProjectMovedWithItsPicturesLoadsThemFromItsFolderAndIsSavedThere) {
    ProjectRig rig;
    rig.makeAndSave();
    const QImage saved = rig.montagePicture();
    QTemporaryDir elsewhere;
    const std::string moved = elsewhere.path().toStdString() + "/shots/";
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(moved)));
    for (const char* name : {"rock01.bmp", "rock02.bmp", "rock03.bmp", "rock01.mon", "rock01.vrk"})
        ASSERT_TRUE(QFile::rename(QString::fromStdString(rig.files.path(name)), QString::fromStdString(moved + name)));
    rig.form->textFileName()->setText("");

    rig.open(moved + "rock01.mon");
    ASSERT_EQ(rig.prompter.shown.size(), 1u) << rig.prompter.shown.back().text;
    EXPECT_EQ(rig.prompter.shown[0].title, kMovedSeriesTitle);
    EXPECT_EQ(rig.prompter.shown[0].text, movedSeriesText(rig.first, moved));
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), moved + "rock01.bmp");
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_EQ(rig.montagePicture(), saved);

    rig.prompter.shown.clear();
    rig.dialogs->chooseFile(QString::fromStdString(moved + "rock01.mon"));
    entry(rig, "mnuSave")->trigger();
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(readProjectSettings(moved + "rock01.mon").firstFileName, moved + "rock01.bmp");

    rig.form->textFileName()->setText("");
    rig.form->fillRecentFiles();
    ASSERT_EQ(rig.form->mnuRecentFile(0)->text().toStdString(), "project " + moved + "rock01");
    rig.form->mnuRecentFile(0)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), moved + "rock01.bmp");
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_EQ(rig.montagePicture(), saved);
}

// A project whose pictures no longer fit its stored montage (a camera's orientation tag now turns
// them upright, a half turn keeping their sides; or they changed size) is said when it opens, and
// Smooth and retouching refuse the stored montage until it is made again: they would copy blocks
// of the turned or resized pictures into it.
TEST(OpenProject, PicturesThatNoLongerFitTheStoredMontageAreNotSmoothedOrRetouchedIntoIt) {
    struct Case {
        const char* label;
        int tag;      // the orientation tag the pictures carry when the project is opened
        QSize resize; // or their new size
    };
    for (const Case c : {Case{"half turn", 3, {}}, Case{"quarter turn", 6, {}}, Case{"resized", 1, {80, 52}}}) {
        SCOPED_TRACE(c.label);
        ProjectRig rig;
        for (int k = 1; k <= 3; ++k)
            orv::test::writeTaggedPng(rig.files.path("turn0" + std::to_string(k) + ".png"),
                                      texturedPicture(k, 3, QSize(60, 40)), 1, 8);
        const std::string first = rig.files.path("turn01.png");
        const std::string project = rig.files.path("turn01.mon");
        ASSERT_TRUE(rig.make(first).made);
        rig.dialogs->chooseFile(QString::fromStdString(project));
        entry(rig, "mnuSave")->trigger();
        // Written as an older version wrote it, before pictures were read upright.
        ASSERT_EQ(readAll(project).find("Camera orientation"), std::string::npos);
        const QImage saved = rig.montagePicture();
        for (int k = 1; k <= 3; ++k)
            orv::test::writeTaggedPng(rig.files.path("turn0" + std::to_string(k) + ".png"),
                                      texturedPicture(4 - k, 3, c.resize.isValid() ? c.resize : QSize(60, 40)), c.tag, 8);

        rig.prompter.shown.clear();
        rig.open(project);
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_EQ(rig.prompter.shown[0].title, kProjectResizedTitle);
        ASSERT_EQ(rig.montagePicture(), saved);

        rig.prompter.shown.clear();
        entry(rig, "mnuSmooth")->trigger();
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_EQ(rig.prompter.shown[0].text, kSmoothSourcesGoneText);
        EXPECT_EQ(rig.montagePicture(), saved);

        // A stroke from picture 1 is refused as well.
        FormMontagePicture* w = rig.form->windows().montageWindow();
        w->menuAction("mnuRetouch")->trigger();
        rig.prompter.shown.clear();
        QTest::mousePress(w->PictureFile(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(w->PictureFile(), QPoint(30, 20));
        QTest::mouseRelease(w->PictureFile(), Qt::LeftButton, {}, QPoint(50, 30));
        EXPECT_EQ(rig.form->session().strokeCount({}), 0);
        EXPECT_EQ(rig.montagePicture(), saved);
        EXPECT_FALSE(rig.prompter.shown.empty());
        w->menuAction("mnuRetouch")->trigger();

        // Made again, the montage is the pictures' own and can be smoothed.
        ASSERT_TRUE(rig.form->makeMontage().made);
        rig.prompter.shown.clear();
        entry(rig, "mnuSmooth")->trigger();
        for (const Prompt& p : rig.prompter.shown) EXPECT_NE(p.text, kSmoothSourcesGoneText);
    }
}

// --- orvanta-cli ----------------------------------------------------------------------------------

TEST(CliProject, ABatchProjectOpensWithTheSameMontageMapAndProperties) {
    ProjectRig rig;
    const std::string project = rig.files.path("batch.mon");
    const CliRun cli = runCli({"-q", "-i", "12", "-m", "1", "--ignore", "2", "--offsets", "30,20;33,21;29,19", "--area", "min",
                               "-o", QString::fromStdString(rig.files.path("batch.bmp")), "--map",
                               QString::fromStdString(rig.files.path("batch-map.txt")), "--report",
                               QString::fromStdString(rig.files.path("batch-report.txt")), "--save-project",
                               QString::fromStdString(project), QString::fromStdString(rig.first)});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(readAll(project), "[project]\r\n" + readAll(rig.files.path("batch-report.txt")) + "\r\n");

    rig.open(project);
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.montagePicture(), rgb(QImage(QString::fromStdString(rig.files.path("batch.bmp")))));
    EXPECT_EQ(rig.map(), readAll(rig.files.path("batch-map.txt")));
    EXPECT_EQ(rig.state.montage.main().properties, readAll(rig.files.path("batch-report.txt")));
    EXPECT_EQ(rig.form->montageMethod(), 1);
    EXPECT_TRUE(rig.form->mnuignoreImage(1)->isChecked());
    EXPECT_TRUE(entry(rig, "mnuActivateOffsetsMin")->isChecked());
    EXPECT_EQ(rig.form->windows().existingSourceWindow(3)->target().centre(), (ImageOffset{29, 19}));

    // Made again in the program, the montage is the batch run's.
    ASSERT_TRUE(rig.form->makeMontage().made);
    EXPECT_EQ(rig.montagePicture(), rgb(QImage(QString::fromStdString(rig.files.path("batch.bmp")))));
}

TEST(CliProject, OpenProjectMakesTheSameMontageAgain) {
    ProjectRig rig;
    rig.form->windows().sourceWindow(1)->centreTargetOn(20, 15);
    ASSERT_EQ(rig.load(rig.first), LoadOutcome::Loaded);
    rig.form->windows().existingSourceWindow(2)->centreTargetOn(22, 16);
    entry(rig, "mnuAddOffsets")->trigger();
    entry(rig, "mnuActivateOffsetsMax")->trigger();
    rig.form->setMontageMethod(3);
    ASSERT_TRUE(rig.make(rig.first, "14").made);
    rig.dialogs->chooseFile(QString::fromStdString(rig.project));
    entry(rig, "mnuSave")->trigger();

    const CliRun cli = runCli({"-q", "-o", QString::fromStdString(rig.files.path("again.bmp")), "--report",
                               QString::fromStdString(rig.files.path("again.txt")), "--open-project",
                               QString::fromStdString(rig.project)});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(rgb(QImage(QString::fromStdString(rig.files.path("again.bmp")))), rig.montagePicture());
    EXPECT_EQ(readAll(rig.files.path("again.txt")), rig.state.montage.main().properties);

    const CliRun missing = runCli({"-q", "--open-project", QString::fromStdString(rig.files.path("none.mon"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot find the project"), std::string::npos);
}

} // namespace

// --- a 16-bit series ------------------------------------------------------------------------------

namespace {

// A 16-bit TIFF series d01.tif ... d03.tif in the rig's folder.
void writeSixteenBitSeries(MontageRig& rig) {
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + "/make-sample-series",
            {QString::fromStdString(rig.files.path("")), "--count", "3", "--size", "96x72", "--depth", "16", "--prefix", "d"});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0);
}

} // namespace

// Pyramid Focus's montage comes back from a project at 8 bits: saved as TIFF or PNG it stays at 8
// bits, and the window says so and why after the file is written, for the File menu's Save As and
// the montage window's own.
TEST(DeepProject, APyramidMontageOpenedFromAProjectSaysItIsSavedAtEightBits) {
    MontageRig rig;
    writeSixteenBitSeries(rig);
    rig.form->mnusimpleCol(int(FocusMethod::Pyramid))->trigger();
    ASSERT_TRUE(rig.make(rig.files.path("d01.tif")).made);
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("d.mon")));
    entry(rig, "mnuSave")->trigger();

    MontageRig other;
    other.prompter.answerNext(PromptAnswer::No);
    other.dialogs->chooseFile(QString::fromStdString(rig.files.path("d.mon")));
    entry(other, "mnuOpenProject")->trigger();
    other.prompter.shown.clear();
    for (const char* name : {"m.tif", "w.png"}) {
        const std::string saved = rig.files.path(name);
        other.dialogs->chooseFile(QString::fromStdString(saved));
        if (name[0] == 'm')
            other.form->action(Command::SaveMontageAs)->trigger();
        else
            other.form->windows().montageWindow()->action(Command::PictureSaveAs)->trigger();
        ASSERT_EQ(other.prompter.shown.size(), 2u) << name;
        EXPECT_EQ(other.prompter.shown[0].text, "File  " + saved + "  created.");
        EXPECT_EQ(other.prompter.shown[1].icon, PromptIcon::Exclamation);
        EXPECT_EQ(other.prompter.shown[1].text, "The file was written, but:\nthe montage is saved at 8 bits per sample: "
                                                "a project keeps it at 8 bits (make the montage again)");
        EXPECT_LE(QImage(QString::fromStdString(saved)).depth(), 32) << name;
        other.prompter.shown.clear();
    }

    // The montage made again is saved at 16 bits, with nothing more to say.
    ASSERT_TRUE(other.make(rig.files.path("d01.tif")).made);
    other.prompter.shown.clear();
    other.dialogs->chooseFile(QString::fromStdString(rig.files.path("again.tif")));
    other.form->action(Command::SaveMontageAs)->trigger();
    EXPECT_EQ(other.prompter.shown.size(), 1u);
    EXPECT_GE(QImage(QString::fromStdString(rig.files.path("again.tif"))).depth(), 48);
}

// An aligned montage cut to the minimum area is smaller than its pictures: opened again from
// unchanged pictures it is no change of size; from pictures smaller than it, it is.
TEST(OpenProject, AnAlignedMinimumMontageSmallerThanItsPicturesIsNoChangeOfSize) {
    MontageRig rig;
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + "/make-sample-series",
            {QString::fromStdString(rig.files.path("")), "--count", "3", "--size", "96x72", "--scene", "natural",
             "--shift-step", "3,2", "--prefix", "a"});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0);
    rig.form->action(Command::AlignImages)->trigger();
    entry(rig, "mnuActivateOffsetsMin")->trigger();
    ASSERT_TRUE(rig.make(rig.files.path("a01.bmp")).made);
    const QSize made = rig.montagePicture().size();
    ASSERT_LT(made.width(), 96);
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("a.mon")));
    entry(rig, "mnuSave")->trigger();
    rig.prompter.shown.clear();

    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("a.mon")));
    entry(rig, "mnuOpenProject")->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.montagePicture().size(), made);

    writeTexturedSeries(rig.files, "a", 3, QSize(made.width() - 8, made.height()));
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("a.mon")));
    entry(rig, "mnuOpenProject")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].title, kProjectResizedTitle);
    EXPECT_EQ(rig.montagePicture().size(), made);
}

// A source window holds its picture at 8 bits: saved as TIFF or PNG from a 16-bit series it says
// so after the file is written, as a montage's save does; as BMP, or from an 8-bit file, nothing.
TEST(DeepProject, ASourceWindowOfASixteenBitSeriesSaysItIsSavedAtEightBits) {
    MontageRig rig;
    writeSixteenBitSeries(rig);
    ASSERT_EQ(rig.load(rig.files.path("d01.tif")), LoadOutcome::Loaded);
    FormPicture* second = rig.form->windows().existingSourceWindow(2);
    ASSERT_NE(second, nullptr);
    for (const char* name : {"s.tif", "s.png", "s.bmp"}) {
        rig.prompter.shown.clear();
        const std::string saved = rig.files.path(std::string("copy ") + name);
        rig.dialogs->chooseFile(QString::fromStdString(saved));
        second->action(Command::PictureSaveAs)->trigger();
        EXPECT_EQ(rig.prompter.shown[0].text, "File  " + saved + "  created.") << name;
        if (name[2] == 'b') {
            EXPECT_EQ(rig.prompter.shown.size(), 1u);
            continue;
        }
        ASSERT_EQ(rig.prompter.shown.size(), 2u) << name;
        EXPECT_EQ(rig.prompter.shown[1].icon, PromptIcon::Exclamation);
        EXPECT_EQ(rig.prompter.shown[1].text, "The file was written, but:\nthe picture is saved at 8 bits per sample: "
                                              "its window holds it at 8 bits (" +
                                                  rig.files.path("d02.tif") + " itself has 16)");
        EXPECT_LE(QImage(QString::fromStdString(saved)).depth(), 32) << name;
    }

    // The window of an 8-bit picture has nothing to add.
    writeTexturedSeries(rig.files, "e", 2, QSize(40, 30));
    ASSERT_EQ(rig.load(rig.files.path("e01.bmp")), LoadOutcome::Loaded);
    rig.prompter.shown.clear();
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("e.tif")));
    rig.form->windows().existingSourceWindow(2)->action(Command::PictureSaveAs)->trigger();
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
}

// A project whose picture cannot be read leaves the montage window waiting for a montage that was
// never made: saving, copying, printing or editing it says there is no montage, as without the
// window, rather than asking for a name and failing with error 5.
TEST(OpenProject, AfterAMissingBitmapTheMontageCommandsSayThereIsNoMontage) {
    ProjectRig rig;
    rig.files.writeText("x.mon", "[project]\r\n\r\n  First file name =" + rig.first +
                                     "\r\n  Increment size =20\r\n  Montage made from dominant image numbers:\r\n123\r\n\r\n");
    rig.open(rig.files.path("x.mon"));
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    ASSERT_TRUE(rig.form->windows().montageWindow()->isVisible());
    const std::size_t dialogs = rig.dialogs->requests.size();
    for (const auto& [command, verb] : {std::pair{Command::SaveMontageAs, "save"}, std::pair{Command::CopyMontage, "copy"},
                                        std::pair{Command::PrintMontage, "print"}, std::pair{Command::EditMontage, "edit"}}) {
        rig.prompter.shown.clear();
        rig.form->action(command)->trigger();
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << verb;
        EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                                                 std::string("You have not got a Montage image to ") + verb + ".",
                                                 "Make one, then try again"}));
    }
    // The montage window's own entries say the same, and its blank picture goes nowhere.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    for (const auto& [command, verb] : {std::pair{Command::PictureSaveAs, "save"}, std::pair{Command::PictureCopy, "copy"},
                                        std::pair{Command::PicturePrint, "print"}, std::pair{Command::PictureEditor, "edit"}}) {
        rig.prompter.shown.clear();
        rig.form->windows().montageWindow()->action(command)->trigger();
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << verb;
        EXPECT_EQ(rig.prompter.shown[0].text, std::string("You have not got a Montage image to ") + verb + ".");
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    EXPECT_EQ(rig.dialogs->requests.size(), dialogs);
}

// Its Save Depth Map asked for a name, then failed with "error 5 (Invalid procedure call or
// argument)": there is no montage, so no map to draw.
TEST(OpenProject, AfterAMissingBitmapSaveDepthMapSaysThereIsNoMontage) {
    ProjectRig rig;
    rig.files.writeText("x.mon", "[project]\r\n\r\n  First file name =" + rig.first +
                                     "\r\n  Increment size =20\r\n  Montage made from dominant image numbers:\r\n123\r\n\r\n");
    rig.open(rig.files.path("x.mon"));
    ASSERT_TRUE(rig.form->windows().montageWindow()->isVisible());
    rig.prompter.shown.clear();
    const std::size_t dialogs = rig.dialogs->requests.size();
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("x depth.png")));
    rig.form->windows().montageWindow()->action(Command::PictureSaveDepthMap)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                                             "You have not got a Montage image to save.", "Make one, then try again"}));
    EXPECT_EQ(rig.dialogs->requests.size(), dialogs);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(rig.files.path("x depth.png"))));
}

// A project whose pictures are gone says that the first is missing, and no more: there are no
// pictures whose size could have changed.
TEST(OpenProject, MissingPicturesAreNoChangeOfSize) {
    ProjectRig rig;
    rig.makeAndSave();
    for (const char* name : {"rock01.bmp", "rock02.bmp", "rock03.bmp"})
        ASSERT_TRUE(QFile::remove(QString::fromStdString(rig.files.path(name))));
    MontageRig other;
    other.dialogs->chooseFile(QString::fromStdString(rig.project));
    entry(other, "mnuOpenProject")->trigger();
    ASSERT_EQ(other.prompter.shown.size(), 1u) << other.prompter.shown[1].text;
    EXPECT_EQ(other.prompter.shown[0].text, "So very sorry, but I can't find that file.");
}
