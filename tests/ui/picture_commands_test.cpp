// The File menu's and the picture windows' output entries reach the commands with the montage on
// screen: Save Montage As in PNG, GIF and JPEG, the clipboard, the editor, and the no-montage
// message when there is nothing to keep.
#include "montage_fixture.h"
#include "picture_output_fixture.h"
#include "support/data_limit.h"
#include "support/own_process.h"

#include "output/bgr_image.h"
#include "output/gif_encoder.h"
#include "ui/image_editor.h"
#include "ui/form_preferences.h"
#include "smoothing/smoothing_pass.h"
#include "ui/help_window.h"
#include "ui/picture_source.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QUrl>

#include <unistd.h>

namespace orv::testing {
namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct OutputRig : MontageRig {
    OutputFolder out;
    QImage montage;
    OutputRig() {
        writeTexturedSeries(files, "out", 3, QSize(96, 72));
        EXPECT_TRUE(make(files.path("out01.bmp")).made);
        montage = montagePicture();
        prompter.shown.clear();
    }
};

TEST(PictureCommands, SaveMontageAsWritesTheMontageInTheFormatOfItsName) {
    OutputRig rig;
    rig.dialogs->chooseFile(rig.out.path("m.png"));
    rig.form->action(Command::SaveMontageAs)->trigger();
    EXPECT_TRUE(samePixels(rig.montage, QImage(rig.out.path("m.png"))));

    // The GIF is the encoder's bytes for the picture on screen (both questions answered Yes).
    rig.dialogs->chooseFile(rig.out.path("m.gif"));
    rig.form->action(Command::SaveMontageAs)->trigger();
    GIF encoder;
    const QString reference = rig.out.path("reference.gif");
    ASSERT_TRUE(encoder.SaveGIF(GifImage(rig.form->windows().montageWindow()->PictureFile()->picture()).picture(),
                                reference.toStdString(), false, Rgb{}));
    EXPECT_EQ(bytesOf(rig.out.path("m.gif")), bytesOf(reference));

    // The JPEG comes from the conversion program beside the program, whole and upright.
    rig.state.programFolder = QCoreApplication::applicationDirPath().toStdString() + "/";
    rig.dialogs->chooseFile(rig.out.path("m.JPG"));
    rig.form->action(Command::SaveMontageAs)->trigger();
    const QImage jpeg(rig.out.path("m.JPG"));
    ASSERT_EQ(jpeg.size(), rig.montage.size());
    EXPECT_TRUE(rig.out.temporaryFiles().isEmpty());
}

TEST(PictureCommands, ClipboardAndEditorGetThePicturesPixels) {
    OutputRig rig;
    rig.form->action(Command::CopyMontage)->trigger();
    EXPECT_TRUE(samePixels(rig.montage, QGuiApplication::clipboard()->image()));

    // The editor of the preferences gets the file.
    QString opened;
    std::string program;
    rig.state.preferences.write(kPreferencesSection, kEditorPreferenceKey, "painter --open %f");
    setEditorStarter([&](const ProgramStart& s) {
        program = s.program;
        opened = QString::fromStdString(s.arguments.back());
        return true;
    });
    // A source window's own entry opens its picture, not the montage.
    FormPicture* second = rig.form->windows().existingSourceWindow(2);
    second->action(Command::PictureEditor)->trigger();
    setEditorStarter({});
    EXPECT_EQ(program, "painter");
    ASSERT_FALSE(opened.isEmpty());
    EXPECT_TRUE(samePixels(second->PictureFile()->picture(), QImage(opened)));
    EXPECT_TRUE(rig.prompter.shown.empty());
}

// A picture the user saved back into the file their editor got stays in the temporary folder when
// the program ends; the program says where, since nothing else would.
TEST(PictureCommands, QuittingNamesTheEditorsFileTheUserSavedInto) {
    OutputRig rig;
    rig.state.preferences.write(kPreferencesSection, kEditorPreferenceKey, "painter %f");
    std::vector<std::string> handed;
    setEditorStarter([&](const ProgramStart& s) {
        handed.push_back(s.arguments.back());
        return true;
    });
    rig.form->action(Command::EditMontage)->trigger();
    rig.form->windows().existingSourceWindow(2)->action(Command::PictureEditor)->trigger();
    setEditorStarter({});
    ASSERT_EQ(handed.size(), 2u);
    QFile edited(QString::fromStdString(handed[1]));
    ASSERT_TRUE(edited.open(QIODevice::Append));
    edited.write("edited");
    edited.close();

    rig.form->close();
    EXPECT_EQ(rig.quits, 1);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    const std::string& told = rig.prompter.shown[0].text;
    EXPECT_NE(told.find("'" + handed[1] + "'"), std::string::npos) << told;
    EXPECT_EQ(told.find(handed[0]), std::string::npos) << told;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(handed[1])));
    ::unlink(handed[1].c_str());
}

// A source picture read from a GIF file is saved as GIF with its own colours, not the colour
// cube's: the copy shows what the original shows.
TEST(PictureCommands, AGifCopyOfAGifPictureKeepsItsColours) {
    MontageRig rig;
    OutputFolder out;
    QImage picture(50, 40, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 200; ++i) table << qRgb(10 + i, 250 - i, (i * 7) % 256); // few of them in the cube
    picture.setColorTable(table);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) picture.setPixel(x, y, (x * 3 + y) % 200);
    for (const char* name : {"g01.gif", "g02.gif"}) {
        GIF encoder;
        ASSERT_TRUE(encoder.SaveGIF(GifImage(picture).picture(), rig.files.path(name), false, Rgb{}));
    }
    const QImage original(QString::fromStdString(rig.files.path("g01.gif")));
    ASSERT_TRUE(samePixels(original, picture));
    ASSERT_EQ(rig.load(rig.files.path("g01.gif")), LoadOutcome::Loaded);
    rig.dialogs->chooseFile(out.path("copy.gif"));
    rig.form->windows().existingSourceWindow(1)->action(Command::PictureSaveAs)->trigger();
    EXPECT_TRUE(samePixels(QImage(out.path("copy.gif")), original));
}

// A large montage whose picture cannot be made for lack of memory: each command that hands it over
// says so and the program goes on; the error must not escape into the window system, which would
// end the program with the montage unsaved.
TEST(PictureCommands, MemoryRunningOutForTheMontagesPictureIsSaidNotACrash) {
    if (!test::runsAlone()) return test::runInAProcessOfItsOwn();
    test::mapLargeBlocks();
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("big", 2, QSize(1280, 960)).made);
    rig.prompter.shown.clear();
    rig.state.preferences.write(kPreferencesSection, kEditorPreferenceKey, "painter %f");
    int editorsStarted = 0;
    setEditorStarter([&](const ProgramStart&) { return ++editorsStarted > 0; });
    FormMontagePicture* window = rig.form->windows().montageWindow();
    {
        test::DataLimit limit(2 << 20);
        if (!limit.active()) {
            setEditorStarter({});
            GTEST_SKIP() << "the address space cannot be capped here";
        }
        EXPECT_NO_THROW(rig.form->action(Command::CopyMontage)->trigger());
        EXPECT_NO_THROW(rig.form->action(Command::EditMontage)->trigger());
        EXPECT_NO_THROW(rig.form->action(Command::SaveMontageAs)->trigger());
        EXPECT_NO_THROW(window->action(Command::PictureCopy)->trigger());
    }
    setEditorStarter({});
    EXPECT_EQ(editorsStarted, 0);
    EXPECT_TRUE(rig.dialogs->requests.empty());
    std::vector<std::string> told;
    for (const Prompt& p : rig.prompter.shown) {
        EXPECT_EQ(p.title, kGenericErrorTitle);
        told.push_back(p.text);
    }
    EXPECT_EQ(told, (std::vector<std::string>{"error 7 (Out of memory) at line 0 of mnuCopy",
                                              "error 7 (Out of memory) at line 0 of mnuEditor",
                                              "error 7 (Out of memory) at line 0 of mnuJPG",
                                              "error 7 (Out of memory) at line 0 of mnucopy"}));
    // With the memory back, the same montage is copied whole.
    rig.form->action(Command::CopyMontage)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(1280, 960));
}

TEST(PictureCommands, WithoutAMontageOnScreenTheMenuSaysSo) {
    MontageRig rig;
    rig.form->action(Command::CopyMontage)->trigger();
    rig.form->action(Command::SaveMontageAs)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[0].text, noMontageText(MontageCommand::Copy));
    EXPECT_EQ(rig.prompter.shown[1].text, noMontageText(MontageCommand::Save));
    EXPECT_TRUE(rig.dialogs->requests.empty());
}


TEST(PictureCommands, PreferencesOpensOneModelessDialog) {
    MainWindowRig rig;
    rig.form->action(Command::Preferences)->trigger();
    rig.form->action(Command::Preferences)->trigger();
    const auto dialogs = rig.form->findChildren<FormPreferences*>();
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_TRUE(dialogs[0]->isVisible());
    EXPECT_FALSE(dialogs[0]->isModal());
}


// Save Depth Map proposed the series' first name with its ending kept ("dep01.bmp depth.png", a
// name that reads as a BMP) and said nothing once the file was written, where a picture's Save As
// proposes "dep01 montage" and says the file was created.
TEST(PictureCommands, TheDepthMapIsProposedAfterTheSeriesAndItsSavingIsConfirmed) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("dep", 3, QSize(64, 48), "16").made);
    for (const std::string name : {"dep depth.png", "dep depth.bmp"}) {
        rig.prompter.shown.clear();
        rig.dialogs->chooseFile(QString::fromStdString(rig.files.path(name)));
        rig.form->windows().montageWindow()->action(Command::PictureSaveDepthMap)->trigger();
        EXPECT_EQ(rig.dialogs->requests.back().fileName.toStdString(), rig.files.path("dep01 depth.png"));
        EXPECT_FALSE(QImage(QString::fromStdString(rig.files.path(name))).isNull()) << name;
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << name;
        EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Information, PromptButtons::Ok,
                                                 "File  " + rig.files.path(name) + "  created.", "Orvanta"}));
    }
    // Cancel writes nothing and says nothing.
    rig.prompter.shown.clear();
    rig.dialogs->cancel();
    rig.form->windows().montageWindow()->action(Command::PictureSaveDepthMap)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST(PictureCommands, PyramidFocusIsTheSixthMethodAndItsDepthMapIsSaved) {
    MontageRig rig;
    OutputFolder out;
    writeTexturedSeries(rig.files, "pyr", 3, QSize(96, 72));
    rig.form->mnusimpleCol(int(FocusMethod::Pyramid))->trigger();
    EXPECT_EQ(rig.form->montageMethod(), 5);
    EXPECT_FALSE(rig.form->mnusimpleCol(0)->isChecked());
    ASSERT_TRUE(rig.make(rig.files.path("pyr01.bmp")).made);
    EXPECT_NE(rig.state.montage.main().properties.find("  Montage method used =5 (Pyramid Focus)\r\n"), std::string::npos);

    // Smoothing answers that nothing can be improved and leaves the montage alone.
    const QImage before = rig.montagePicture();
    rig.form->action(Command::Smooth)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, kAlreadySmoothText);
    EXPECT_TRUE(samePixels(before, rig.montagePicture()));

    rig.dialogs->chooseFile(out.path("depth.png"));
    rig.form->windows().montageWindow()->action(Command::PictureSaveDepthMap)->trigger();
    const QImage depth(out.path("depth.png"));
    EXPECT_EQ(depth.size(), before.size());
    // Band k is sharp in picture k: the left band is black (picture 1), the right one white.
    EXPECT_EQ(qGray(depth.pixel(5, 36)), 0);
    EXPECT_EQ(qGray(depth.pixel(90, 36)), 255);
}


TEST(PictureCommands, AutomaticAlignmentAndOffsetsExcludeEachOtherAndAreRemembered) {
    MainWindowRig rig;
    QAction* align = rig.form->action(Command::AlignImages);
    QAction* offsets = rig.form->action(Command::UseOffsets);
    offsets->trigger();
    ASSERT_TRUE(offsets->isChecked());
    align->trigger();
    EXPECT_TRUE(align->isChecked());
    EXPECT_FALSE(offsets->isChecked());
    EXPECT_EQ(rig.preference("Automatic alignment"), "1");
    EXPECT_TRUE(rig.form->readRequest().align);
    offsets->trigger();
    EXPECT_TRUE(offsets->isChecked());
    EXPECT_FALSE(align->isChecked());
    EXPECT_EQ(rig.preference("Automatic alignment"), "0");
}


// Every dialog that writes a file the user names asks before it replaces one that is there (the
// series' own pictures among them).
struct SavingDialog {
    const char* label;
    std::function<void(OutputRig&)> command;
};

void PrintTo(const SavingDialog& d, std::ostream* os) { *os << d.label; }

class SavingDialogs : public ::testing::TestWithParam<SavingDialog> {};

TEST_P(SavingDialogs, AskBeforeReplacingAFile) {
    OutputRig rig;
    rig.dialogs->cancel();
    GetParam().command(rig);
    ASSERT_EQ(rig.dialogs->requests.size(), 1u);
    EXPECT_EQ(rig.dialogs->requests[0].kind, DialogKind::Save);
    EXPECT_TRUE(rig.dialogs->requests[0].flags & kFlagOverwritePrompt) << rig.dialogs->requests[0].flags;
}

// A name that stands for a picture of the series, however it is spelt, is refused with a message
// and the dialog asks again: the photograph stays as it was, and another name is then written.
TEST_P(SavingDialogs, NeverReplaceAPictureOfTheSeries) {
    OutputRig rig;
    const QString picture = QString::fromStdString(rig.files.path("out02.bmp"));
    const QByteArray before = bytesOf(picture);
    ASSERT_FALSE(before.isEmpty());
    // Through "./" and through a symbolic link: neither is the name the series was read by.
    const std::string dotted = rig.files.folder() + "./out02.bmp";
    const QString linked = rig.out.path("link.bmp");
    ASSERT_TRUE(QFile::link(picture, linked));
    rig.dialogs->chooseFile(QString::fromStdString(dotted));
    rig.dialogs->chooseFile(linked);
    rig.dialogs->chooseFile(rig.out.path("elsewhere.bmp"));
    GetParam().command(rig);
    ASSERT_EQ(rig.dialogs->requests.size(), 3u);
    ASSERT_GE(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                                             seriesPictureText(dotted, 2), kSeriesPictureTitle}));
    EXPECT_EQ(rig.prompter.shown[1].text, seriesPictureText(linked.toStdString(), 2));
    EXPECT_EQ(bytesOf(picture), before);
    EXPECT_TRUE(QFile::exists(rig.out.path("elsewhere.bmp")));
}

// A file that is there is asked about once, as the file that will be written; "no" keeps it and
// shows the dialog again, "yes" replaces it. A refused name is never asked about.
TEST_P(SavingDialogs, AskOnceAboutReplacingTheFileWrittenAndOnlyAfterRefusals) {
    OutputRig rig;
    const QString kept = rig.out.path("kept.bmp");
    {
        QFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("an older file");
    }
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("out02.bmp")));
    rig.dialogs->chooseFile(kept);
    rig.dialogs->answerReplace(false);
    GetParam().command(rig); // the third showing cancels
    ASSERT_EQ(rig.dialogs->requests.size(), 3u);
    EXPECT_EQ(rig.dialogs->requests[2].fileName, kept);
    EXPECT_EQ(rig.dialogs->replaceQuestions, std::vector<QString>{kept});
    EXPECT_EQ(bytesOf(kept), QByteArray("an older file"));

    rig.dialogs->replaceQuestions.clear();
    rig.dialogs->chooseFile(kept);
    rig.dialogs->answerReplace(true);
    GetParam().command(rig);
    EXPECT_EQ(rig.dialogs->replaceQuestions, std::vector<QString>{kept});
    EXPECT_NE(bytesOf(kept), QByteArray("an older file"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SavingDialogs,
    ::testing::Values(
        SavingDialog{"save_montage_as", [](OutputRig& r) { r.form->action(Command::SaveMontageAs)->trigger(); }},
        SavingDialog{"save_project", [](OutputRig& r) { r.form->action(Command::SaveProject)->trigger(); }},
        SavingDialog{"save_depth_map",
                     [](OutputRig& r) { r.form->windows().montageWindow()->action(Command::PictureSaveDepthMap)->trigger(); }},
        SavingDialog{"montage_window_save_as",
                     [](OutputRig& r) { r.form->windows().montageWindow()->action(Command::PictureSaveAs)->trigger(); }},
        SavingDialog{"source_window_save_as",
                     [](OutputRig& r) { r.form->windows().existingSourceWindow(3)->action(Command::PictureSaveAs)->trigger(); }},
        SavingDialog{"montage_window_save_project",
                     [](OutputRig& r) { r.form->windows().montageWindow()->action(Command::PictureSaveProject)->trigger(); }}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace orv::testing
