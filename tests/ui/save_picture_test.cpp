// Save As from a picture window: the dialog it shows, each format branch and what it writes, the
// two GIF questions, cancelling at every step, the messages of failed steps; the main window's
// montage commands without a montage.
#include "event_watch.h"
#include "picture_output_fixture.h"

#include "output/bgr_image.h"
#include "output/bmp_writer.h"
#include "output/gif_encoder.h"
#include "output/save_names.h"
#include "ui/image_editor.h"
#include "ui/clipboard_editor.h"
#include "ui/form_gif.h"
#include "ui/help_window.h"
#include "ui/print_picture.h"
#include "ui/save_picture.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <QGuiApplication>
#include <QImageReader>
#include <QUrl>
#include <QCloseEvent>
#include <QtTest/qtestspontaneevent.h>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class SaveAs : public ::testing::Test {
protected:
    OutputFolder out;
    DialogRig rig;
    QImage picture = noisyPicture(40, 30);
    PictureSource montage{picture, QStringLiteral("Montage in focus image from /pics/rock1.bmp"), QSize(400, 300), nullptr};
    std::string programFolder = QCoreApplication::applicationDirPath().toStdString() + "/";

    SaveServices services() { return SaveServices{rig.prompter, *rig.dialog, programFolder}; }
    SaveResult save(const PictureSource& source, const char* suffix = kMontageSuffix) {
        return SaveAsSub(source, suffix, services(), pictureWriter(source.picture, programFolder));
    }
    const std::vector<DialogRequest>& requests() const { return rig.dialogs->requests; }
};

TEST_F(SaveAs, ShowsTheSaveDialogOnTheProposedNameInTheProgramFolder) {
    rig.dialogs->cancel();
    PictureSource source = montage;
    source.caption = QStringLiteral("Image2 -- /home/ann.lee/pics/a2.bmp");
    EXPECT_EQ(save(source, kCopySuffix).outcome, SaveOutcome::Declined);
    ASSERT_EQ(requests().size(), 1u);
    const DialogRequest& r = requests()[0];
    EXPECT_EQ(r.kind, DialogKind::Save);
    EXPECT_EQ(r.filter, kSavePictureFilter);
    EXPECT_EQ(r.fileName, "/home/ann.lee/pics/a2 copy");
    EXPECT_EQ(r.initDir, QString::fromStdString(programFolder));
    EXPECT_EQ(r.flags, kFlagOverwritePrompt | kFlagHideReadOnly);
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST_F(SaveAs, BmpIsThePictureWholeAndSaysSo) {
    const QString target = out.path("rock1 montage.bmp");
    rig.dialogs->chooseFile(target);
    // A window smaller than its picture (it scrolls) still saves every pixel.
    PictureSource source = montage;
    source.windowSize = QSize(20, 10);
    const SaveResult r = save(source);
    EXPECT_EQ(r.outcome, SaveOutcome::Saved);
    EXPECT_EQ(r.fileName, target.toStdString());
    const std::vector<std::uint8_t> expected = encodeBmp24(BgrImage(picture).view());
    EXPECT_EQ(fileBytes(target), QByteArray(reinterpret_cast<const char*>(expected.data()), qsizetype(expected.size())));
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Information, PromptButtons::Ok,
                                             "File  " + target.toStdString() + "  created.", "Orvanta"}));
}

struct ByEnding {
    const char* name;
    const char* format; // what Qt reads in the file
    bool exact;         // every pixel kept
    bool message;       // the "created." message follows
};

class SaveAsEnding : public SaveAs, public ::testing::WithParamInterface<ByEnding> {};

TEST_P(SaveAsEnding, WritesTheFormatTheNameEndsIn) {
    const ByEnding& c = GetParam();
    const QString target = out.path(QString::fromLatin1(c.name));
    rig.dialogs->chooseFile(target);
    ASSERT_EQ(save(montage).outcome, SaveOutcome::Saved);
    QImageReader reader(target);
    EXPECT_EQ(reader.format(), c.format);
    const QImage read = reader.read();
    ASSERT_EQ(read.size(), picture.size());
    if (c.exact) {
        EXPECT_TRUE(samePixels(read, picture));
    } else {
        // A JPEG of noise keeps the picture's mean colour, not its pixels.
        long long diff = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                diff += qGray(read.pixel(x, y)) - qGray(picture.pixel(x, y));
        EXPECT_LT(std::abs(diff) / (40 * 30), 8);
    }
    EXPECT_EQ(rig.prompter.shown.size(), c.message ? 1u : 0u);
    // The temporary BMP of the JPEG branch is gone once the save has ended.
    EXPECT_TRUE(out.temporaryFiles().isEmpty()) << out.temporaryFiles().join(",").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, SaveAsEnding,
                         ::testing::Values(ByEnding{"m.JPG", "jpeg", false, false},
                                           ByEnding{"m.jpeg", "jpeg", false, false},
                                           ByEnding{"m.png", "png", true, true},
                                           ByEnding{"m.Tif", "tiff", true, true},
                                           ByEnding{"m", "bmp", true, true}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (ch == '.') ch = '_';
                             return n;
                         });

TEST_F(SaveAs, GifIsWhatTheEncoderWritesForThePicture) {
    const QString target = out.path("m.gif");
    rig.dialogs->chooseFile(target);
    ASSERT_EQ(save(montage).outcome, SaveOutcome::Saved);
    GIF encoder;
    const QString reference = out.path("reference.gif");
    ASSERT_TRUE(encoder.SaveGIF(GifImage(picture).picture(), reference.toStdString(), false, Rgb{}));
    EXPECT_EQ(fileBytes(target), fileBytes(reference));
    ASSERT_EQ(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Information, PromptButtons::YesNo, kGifColoursText,
                                             kGifColoursTitle}));
    EXPECT_EQ(rig.prompter.shown[1],
              (Prompt{PromptIcon::Information, PromptButtons::Ok,
                      "256 color (half color palette)  '" + target.toStdString() + "'  GIF file created.", "Orvanta"}));
}

TEST_F(SaveAs, GifOfAPictureLargerThanItsWindowAnsweredYesReopensTheDialogOnBmp) {
    PictureSource source = montage;
    source.windowSize = QSize(40, 29);
    rig.dialogs->chooseFile(out.path("rock.v2.gif"));
    rig.dialogs->chooseFile(out.path("rock"));
    rig.prompter.answerNext(PromptAnswer::Yes);
    rig.prompter.answerNext(PromptAnswer::Yes);
    const SaveResult r = save(source);
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_EQ(requests()[1].filterIndex, 0);
    EXPECT_EQ(requests()[1].fileName, out.path("rock"));
    EXPECT_EQ(requests()[1].flags, kFlagOverwritePrompt | kFlagHideReadOnly);
    ASSERT_GE(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[1],
              (Prompt{PromptIcon::Question, PromptButtons::YesNo,
                      "The .GIF format will only allow the saving of screen size images.   Your image is larger than "
                      "this  (40x30).    The best format is .BMP which allows you to save the whole image.   Do you "
                      "want to change to .BMP?",
                      "You can always save under both formats"}));
    EXPECT_EQ(r.outcome, SaveOutcome::Saved);
    EXPECT_EQ(QImageReader(out.path("rock")).format(), "bmp");
    EXPECT_FALSE(QFile::exists(out.path("rock.v2.gif")));
}

// Each row: the answers given, dialog by dialog and question by question, ending in a cancel.
struct CancelCase {
    const char* label;
    std::vector<const char*> files;     // names chosen before the dialog is cancelled
    std::vector<PromptAnswer> answers;  // to the GIF questions
    std::size_t prompts;                // questions asked
    QSize window;
};

class SaveAsCancel : public SaveAs, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(SaveAsCancel, EndsSilentlyWritingNothing) {
    const CancelCase& c = GetParam();
    for (const char* f : c.files) rig.dialogs->chooseFile(out.path(f));
    rig.dialogs->cancel();
    for (PromptAnswer a : c.answers) rig.prompter.answerNext(a);
    PictureSource source = montage;
    source.windowSize = c.window;
    EXPECT_EQ(save(source).outcome, SaveOutcome::Declined);
    EXPECT_EQ(rig.prompter.shown.size(), c.prompts);
    for (const Prompt& p : rig.prompter.shown) EXPECT_EQ(p.buttons, PromptButtons::YesNo) << p.text;
    EXPECT_TRUE(out.files().isEmpty()) << out.files().join(",").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, SaveAsCancel,
    ::testing::Values(CancelCase{"the_dialog", {}, {}, 0, QSize(400, 300)},
                      CancelCase{"the_gif_question", {"m.gif"}, {PromptAnswer::No}, 1, QSize(400, 300)},
                      CancelCase{"the_reopened_dialog", {"m.gif"}, {PromptAnswer::Yes, PromptAnswer::Yes}, 2, QSize(8, 8)},
                      CancelCase{"gif_question_after_reopening", {"m.gif", "n.gif"},
                                 {PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::No}, 3, QSize(8, 8)}),
    [](const auto& info) { return std::string(info.param.label); });

// Each row: how the step is made to fail, the name chosen, and the start of the message.
struct FailureCase {
    const char* label;
    const char* chosen;
    void (*arrange)(OutputFolder& out, std::string& programFolder);
    const char* message; // "%F" stands for the program folder
    const char* title;
};

class SaveAsFailure : public SaveAs, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SaveAsFailure, IsReportedWithTheStepOrTheConversionsOwnWords) {
    const FailureCase& c = GetParam();
    if (c.arrange) c.arrange(out, programFolder);
    rig.dialogs->chooseFile(out.path(QString::fromLatin1(c.chosen)));
    EXPECT_EQ(save(montage).outcome, SaveOutcome::Failed);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    const Prompt& shown = rig.prompter.shown[0];
    QString expected = QString::fromLatin1(c.message);
    expected.replace("%F", QString::fromStdString(programFolder));
    EXPECT_EQ(shown.text.rfind(expected.toStdString(), 0), 0u) << shown.text;
    EXPECT_EQ(shown.title, c.title);
    EXPECT_EQ(shown.icon, PromptIcon::Critical);
    EXPECT_FALSE(QFile::exists(out.path(QString::fromLatin1(c.chosen))));
    EXPECT_TRUE(out.temporaryFiles().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SaveAsFailure,
    ::testing::Values(
        FailureCase{"writing_the_file", "no/such/folder/m.bmp", nullptr,
                    "error 75 (Path/File access error) at line 8600 of SaveAsSub", "Nobody's Perfect"},
        FailureCase{"the_conversion", "no/such/folder/m.jpg", nullptr, "orvantajpeg: cannot write JPEG",
                    kJpegFailedTitle},
        // The temporary BMP the conversion program reads cannot be made: the temporary folder is
        // named, not left to be taken for the target's.
        FailureCase{"temporary_folder_refused", "m.jpg",
                    [](OutputFolder&, std::string&) { qputenv("TMPDIR", "/proc"); },
                    "I could not write the temporary picture for the JPEG conversion in the temporary folder  '/proc'  "
                    "(Path/File access error);  '",
                    kJpegFailedTitle},
        FailureCase{"no_conversion_program", "m.jpg",
                    [](OutputFolder& out, std::string& folder) { folder = out.str("empty") + "/"; },
                    "I could not start the JPEG conversion program  '%Forvantajpeg'", kJpegFailedTitle}),
    [](const auto& info) { return std::string(info.param.label); });

// The main window's montage commands without a montage window on screen.
struct GuardCase {
    const char* label;
    std::function<void(bool visible, const PictureSource&, DialogRig&, EditorFiles&)> command;
    const char* text;
};

class MontageGuards : public ::testing::TestWithParam<GuardCase> {};

TEST_P(MontageGuards, OnlySaySoWithoutAMontage) {
    const GuardCase& c = GetParam();
    OutputFolder out;
    DialogRig rig;
    EditorFiles files;
    rig.dialogs->chooseFile(out.path("m.bmp"));
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    bool opened = false;
    setEditorStarter([&](const ProgramStart&) { return opened = true; });
    c.command(false, PictureSource{noisyPicture(4, 4), QStringLiteral("Montage -- /p/m.bmp"), QSize(9, 9)}, rig, files);
    setEditorStarter({});
    EXPECT_TRUE(rig.dialogs->requests.empty());
    EXPECT_FALSE(opened);
    EXPECT_TRUE(files.paths().empty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "untouched");
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok, c.text, "Make one, then try again"}));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MontageGuards,
    ::testing::Values(
        GuardCase{"save",
                  [](bool v, const PictureSource& s, DialogRig& r, EditorFiles&) {
                      saveMontageAs(v, s, SaveServices{r.prompter, *r.dialog, "/"}, pictureWriter(s.picture, "/"));
                  },
                  "You have not got a Montage image to save."},
        GuardCase{"print",
                  [](bool v, const PictureSource& s, DialogRig& r, EditorFiles&) {
                      PrintRequest request;
                      request.picture = s.picture;
                      printMontage(v, request, *r.dialog, r.prompter);
                  },
                  "You have not got a Montage image to print."},
        GuardCase{"copy",
                  [](bool v, const PictureSource& s, DialogRig& r, EditorFiles&) {
                      copyMontageToClipboard(v, s.picture, r.prompter);
                  },
                  "You have not got a Montage image to copy."},
        GuardCase{"edit",
                  [](bool v, const PictureSource& s, DialogRig& r, EditorFiles& f) {
                      openMontageInEditor(v, s.picture, f, r.prompter, "editor %f");
                  },
                  "You have not got a Montage image to edit."}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(FormGif, SavesOnShowingFillsItsBarAndMakesTheCornerTransparentWhenTicked) {
    OutputFolder out;
    RecordingPrompter prompter;
    QImage picture = noisyPicture(12, 30);
    picture.setPixel(0, 0, qRgb(250, 10, 120)); // the cube colour (255, 0, 128)
    const std::string target = out.str("t.gif");
    FormGIF form(picture, target, prompter, nullptr);
    form.Check1()->setChecked(true);
    form.exec();
    EXPECT_TRUE(form.written());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.Picture2()->percent(), 100); // rows 10, 20 and 30 of 30
    EXPECT_EQ(form.Picture2()->filledWidth(), form.Picture2()->width());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, gifCreatedText(target));

    GIF encoder;
    const QString reference = out.path("reference.gif");
    ASSERT_TRUE(encoder.SaveGIF(GifImage(picture).picture(), reference.toStdString(), true, Rgb{255, 0, 128}));
    EXPECT_EQ(fileBytes(QString::fromStdString(target)), fileBytes(reference));
    EXPECT_TRUE(fileBytes(reference).startsWith("GIF89a"));
}

TEST(FormGif, EscWhileItSavesStopsItAndWritesNothing) {
    OutputFolder out;
    RecordingPrompter prompter;
    const std::string target = out.str("t.gif");
    FormGIF form(noisyPicture(12, 300), target, prompter, nullptr);
    // Pressed while the encoder runs: the first window events it lets through carry it.
    QTimer::singleShot(0, &form, [&] { static_cast<QDialog&>(form).reject(); });
    form.Command1_Click();
    EXPECT_FALSE(form.written());
    ASSERT_TRUE(form.error().has_value());
    EXPECT_TRUE(form.error()->stoppedByUser());
    EXPECT_LT(form.Picture2()->percent(), 100);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
    EXPECT_TRUE(prompter.shown.empty());
}

// A close event as the window system delivers it for the window's close button (sendEvent would
// mark it as the program's own).
struct WindowSystemClose : FormGIF {
    using FormGIF::FormGIF;
    void closeButton() {
        QCloseEvent close;
        QSpontaneKeyEvent::setSpontaneous(&close);
        closeEvent(&close);
    }
};

// The window closed while the encoder runs: by the user through the window system, the saving
// stops and an earlier file of that name stays; by the program (closing its dialogs as it ends on
// a signal), the file is finished first, as any other picture being written is.
TEST(FormGif, ClosedWhileItSavesStopsForTheUserAndFinishesForTheProgram) {
    OutputFolder out;
    const QImage picture = noisyPicture(12, 300);
    const std::string target = out.str("t.gif");
    {
        QFile old(QString::fromStdString(target));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the earlier file");
    }
    // Closes the window once the encoder has reported its first rows.
    auto closeWhileSaving = [](FormGIF& form, std::function<void()> close) {
        whenTrue(&form, [&form] { return form.Picture2()->percent() > 0; }, std::move(close));
    };
    {
        RecordingPrompter prompter;
        WindowSystemClose form(picture, target, prompter, nullptr);
        closeWhileSaving(form, [&form] { form.closeButton(); });
        form.exec();
        EXPECT_FALSE(form.written());
        ASSERT_TRUE(form.error().has_value());
        EXPECT_TRUE(form.error()->stoppedByUser());
        EXPECT_EQ(fileBytes(QString::fromStdString(target)), QByteArray("the earlier file"));
        EXPECT_TRUE(prompter.shown.empty());
    }
    {
        RecordingPrompter prompter;
        FormGIF form(picture, target, prompter, nullptr);
        closeWhileSaving(form, [&form] { form.close(); });
        form.exec();
        EXPECT_TRUE(form.written());
        EXPECT_FALSE(form.error().has_value());
        EXPECT_FALSE(form.isVisible());
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, gifCreatedText(target));
        GIF encoder;
        const QString reference = out.path("reference.gif");
        ASSERT_TRUE(encoder.SaveGIF(GifImage(picture).picture(), reference.toStdString(), false, Rgb{}));
        EXPECT_EQ(fileBytes(QString::fromStdString(target)), fileBytes(reference));
    }
}

} // namespace
