// The editor that never gets the picture (it cannot start, or ends at once with an error): the
// user is told which program and why, and its file is still cleaned up. A montage of a 16-bit
// series goes to the clipboard and the editor at 16 bits.
#include "picture_output_fixture.h"
#include "project_rig.h"
#include "work_rig.h"

#include "ui/clipboard_editor.h"
#include "ui/form_picture.h"
#include "ui/image_editor.h"
#include "ui/montage_windows.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

class FailingEditor : public ::testing::Test {
protected:
    void SetUp() override {
        setEditorStarter({}); // real programs
        setDefaultPngLookup([] { return std::optional<DesktopEntry>{}; });
    }
    void TearDown() override { setDefaultPngLookup({}); }

    // Opens the picture in `editor` and waits until the editor has ended; then tells what the
    // watch after it would tell.
    void openAndLetEnd(EditorFiles& files, const std::string& editor) {
        openPictureInEditor(picture, files, prompter, editor);
        ASSERT_TRUE(QTest::qWaitFor([&] { return files.withEditorRunning() == 0; }, 10000));
        tellFailedEditors(files, prompter);
    }
    static bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

    OutputFolder out;
    RecordingPrompter prompter;
    QImage picture = noisyPicture(30, 20);
};

TEST_F(FailingEditor, ThatCannotStartIsToldWithTheSystemsReason) {
    const QString notRunnable = out.path("paintbox");
    QFile file(notRunnable);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    const struct {
        std::string editor, program;
        int error;
    } cases[] = {{"orvanta-no-such-paintbox %f", "orvanta-no-such-paintbox", ENOENT},
                 {notRunnable.toStdString() + " %f", notRunnable.toStdString(), EACCES}};
    for (const auto& c : cases) {
        prompter.shown.clear();
        std::string path;
        {
            EditorFiles files;
            EXPECT_FALSE(openPictureInEditor(picture, files, prompter, c.editor));
            path = files.paths().at(0);
            ASSERT_EQ(prompter.shown.size(), 1u);
            EXPECT_EQ(prompter.shown[0].text, "I could not start the image editor  '" + c.program + "':  " +
                                                  std::strerror(c.error) + ".   The picture is in  '" + path +
                                                  "'  until Orvanta ends.");
            EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Exclamation);
            EXPECT_TRUE(exists(path));
        }
        EXPECT_FALSE(exists(path));
    }
    EXPECT_TRUE(out.temporaryFiles().isEmpty()) << out.temporaryFiles().join(',').toStdString();
}

// Ended with an error status or by a signal before it opened the file: said once, with how it
// ended; the file stays for the user to open until the program ends. An editor that read the file,
// or ended without an error, says for itself what went wrong.
TEST_F(FailingEditor, ThatEndsBeforeItOpenedTheFileIsTold) {
    const struct {
        std::string editor, told;
    } cases[] = {{"sh -c 'exit 3'", "it ended with exit status 3"},
                 {"sh -c 'kill -KILL $$'", "it was ended by signal 9 (" + std::string(::strsignal(SIGKILL)) + ")"},
                 {"sh -c 'cat \"$0\" > /dev/null; exit 1'", ""},
                 {"true", ""}};
    for (const auto& c : cases) {
        prompter.shown.clear();
        std::string path;
        {
            EditorFiles files;
            openAndLetEnd(files, c.editor);
            path = files.paths().at(0);
            tellFailedEditors(files, prompter); // once only
            if (c.told.empty()) {
                EXPECT_TRUE(prompter.shown.empty()) << c.editor << ": " << prompter.shown.at(0).text;
                continue;
            }
            ASSERT_EQ(prompter.shown.size(), 1u) << c.editor;
            EXPECT_EQ(prompter.shown[0].text, "The image editor  'sh'  ended before it opened the picture:  " + c.told +
                                                  ".   The picture is in  '" + path + "'  until Orvanta ends.");
            EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Exclamation);
            EXPECT_FALSE(files.sweep(EditorFiles::Clock::now() + EditorFiles::kUnreadKept));
            EXPECT_TRUE(exists(path));
        }
        EXPECT_FALSE(exists(path));
    }
    EXPECT_TRUE(out.temporaryFiles().isEmpty()) << out.temporaryFiles().join(',').toStdString();
}

// An editor is not waited for: one that ends with an error later, before it opened its file, is
// told as soon as it has ended, from the window events, without anybody asking after it.
TEST_F(FailingEditor, IsToldAsSoonAsItEndsWithoutBeingWaitedFor) {
    const std::string go = out.str("go");
    std::string path;
    {
        EditorFiles files;
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter,
                                        "sh -c 'while [ ! -e \"" + go + "\" ]; do sleep 0.02; done; exit 3'"));
        path = files.paths().at(0);
        EXPECT_EQ(files.withEditorRunning(), 1);
        EXPECT_TRUE(prompter.shown.empty());
        QFile(QString::fromStdString(go)).open(QIODevice::WriteOnly);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.shown.empty(); }, 10000));
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, "The image editor  'sh'  ended before it opened the picture:  it ended with "
                                          "exit status 3.   The picture is in  '" + path + "'  until Orvanta ends.");
        tellFailedEditors(files, prompter); // once only
        EXPECT_EQ(prompter.shown.size(), 1u);
        EXPECT_TRUE(exists(path));
    }
    EXPECT_FALSE(exists(path));
}

// A montage handed to an editor counts as kept, so that quitting does not ask; an editor that then
// ends with an error before it opened the picture takes that back: the montage is unsaved again,
// as before it was handed on, and Exit asks. A keeping before the hand-off (a copy) or since (a
// save, a copy of a montage made anew) still holds. The montage window's own entry is followed
// as the File menu's is.
TEST_F(FailingEditor, TakesBackTheMontagesKeepingSoExitAsksAgain) {
    struct Case {
        const char* label;
        bool windowEntry;
        std::function<void(WorkRig&)> before, meanwhile;
        bool unsavedAfter;
    };
    const auto copy = [](WorkRig& r) { r.form->action(Command::CopyMontage)->trigger(); };
    const Case cases[] = {
        {"main_entry", false, {}, {}, true},
        {"window_entry", true, {}, {}, true},
        {"copied_before", false, copy, {}, false},
        {"saved_since", true, {},
         [](WorkRig& r) {
             r.dialogs->chooseFile(QString::fromStdString(r.files.path("kept.bmp")));
             r.form->action(Command::SaveMontageAs)->trigger();
         },
         false},
        {"made_anew_and_copied_since", false, {},
         [copy](WorkRig& r) {
             ASSERT_TRUE(r.make(r.first, "10").made);
             copy(r);
         },
         false},
    };
    for (const Case& c : cases) {
        WorkRig rig;
        rig.makeFirst();
        const std::string go = out.str(QStringLiteral("go-") + QString::fromLatin1(c.label));
        rig.state.preferences.write(kPreferencesSection, kEditorPreferenceKey,
                                    "sh -c 'while [ ! -e \"" + go + "\" ]; do sleep 0.02; done; exit 3'");
        if (c.before) c.before(rig);
        QAction* edit = c.windowEntry ? rig.form->windows().montageWindow()->action(Command::PictureEditor)
                                      : rig.form->action(Command::EditMontage);
        edit->trigger();
        EXPECT_FALSE(rig.state.montage.main().unsaved) << c.label;
        if (c.meanwhile) c.meanwhile(rig);
        QFile(QString::fromStdString(go)).open(QIODevice::WriteOnly);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return std::any_of(rig.prompter.shown.begin(), rig.prompter.shown.end(), [](const Prompt& p) {
                    return p.text.find("ended before it opened the picture") != std::string::npos;
                });
            },
            10000))
            << c.label;
        EXPECT_EQ(rig.state.montage.main().unsaved, c.unsavedAfter) << c.label;
        rig.runAnswering(Command::Exit, PromptAnswer::Cancel);
        EXPECT_EQ(rig.asked(), c.unsavedAfter ? 1 : 0) << c.label;
    }
}

// What the clipboard's PNG form holds.
QImage clipboardPng() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data ? QImage::fromData(data->data(QStringLiteral("image/png")), "PNG") : QImage();
}

// The clipboard's PNG and the editor's file hold the montage at 16 bits, as Save As writes it; the
// clipboard's bitmap stays at 8 bits for programs that take nothing deeper. From the main window's
// entries and the montage window's own, for Pyramid Focus's montage and for a block montage.
TEST(SixteenBitMontage, GoesToTheClipboardAndTheEditorAtSixteenBits) {
    MontageRig rig;
    writeSixteenBitSeries(rig);
    rig.state.preferences.write(kPreferencesSection, kEditorPreferenceKey, "painter %f");
    std::vector<std::string> handed;
    setEditorStarter([&](const ProgramStart& s) {
        handed.push_back(s.arguments.back());
        return true;
    });
    for (const FocusMethod method : {FocusMethod::Pyramid, FocusMethod::ColorSpace3D}) {
        rig.form->mnusimpleCol(int(method))->trigger();
        ASSERT_TRUE(rig.make(rig.files.path("d01.tif")).made);
        const std::string saved = rig.files.path("full" + std::to_string(int(method)) + ".png");
        rig.dialogs->chooseFile(QString::fromStdString(saved));
        rig.form->action(Command::SaveMontageAs)->trigger();
        const QImage full(QString::fromStdString(saved));
        ASSERT_EQ(full.depth(), 64);
        const QImage eight = rig.montagePicture();
        PictureWindow* window = rig.form->windows().montageWindow();
        for (QAction* copy : {rig.form->action(Command::CopyMontage), window->action(Command::PictureCopy)}) {
            QGuiApplication::clipboard()->clear();
            copy->trigger();
            EXPECT_EQ(clipboardPng(), full) << copy->objectName().toStdString();
            EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), eight);
        }
        for (QAction* edit : {rig.form->action(Command::EditMontage), window->action(Command::PictureEditor)}) {
            handed.clear();
            edit->trigger();
            ASSERT_EQ(handed.size(), 1u) << edit->objectName().toStdString();
            EXPECT_TRUE(QString::fromStdString(handed[0]).endsWith(".png")) << handed[0];
            EXPECT_EQ(QImage(QString::fromStdString(handed[0])), full) << edit->objectName().toStdString();
        }
    }
    setEditorStarter({});
    rig.prompter.shown.erase(std::remove_if(rig.prompter.shown.begin(), rig.prompter.shown.end(),
                                            [](const Prompt& p) { return p.text.find("created.") != std::string::npos; }),
                             rig.prompter.shown.end());
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
}

} // namespace

namespace {

// A source window's picture of a 16-bit file goes to the clipboard's PNG and to the editor at 16
// bits, as the file holds it; the clipboard's bitmap is the 8-bit picture the window shows. A file
// written anew since it was read no longer holds the window's picture: the 8-bit one goes then, as
// it does for an 8-bit file.
TEST(SixteenBitSource, GoesToTheClipboardAndTheEditorAtSixteenBits) {
    MontageRig rig;
    writeSixteenBitSeries(rig);
    texturedPicture(1, 2, QSize(40, 30)).save(QString::fromStdString(rig.files.path("e01.bmp")), "BMP");
    texturedPicture(2, 2, QSize(40, 30)).save(QString::fromStdString(rig.files.path("e02.bmp")), "BMP");
    rig.state.preferences.write(kPreferencesSection, kEditorPreferenceKey, "painter %f");
    std::vector<std::string> handed;
    setEditorStarter([&](const ProgramStart& s) {
        handed.push_back(s.arguments.back());
        return true;
    });
    // Copies and edits picture 2's window: the clipboard's PNG form, its bitmap and the editor's file.
    struct Kept {
        QImage png, bitmap, edited;
        std::string editedName;
    };
    auto keep = [&](FormPicture* window) {
        Kept k;
        QGuiApplication::clipboard()->clear();
        window->action(Command::PictureCopy)->trigger();
        k.png = clipboardPng();
        k.bitmap = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888);
        handed.clear();
        window->action(Command::PictureEditor)->trigger();
        if (handed.size() == 1) {
            k.editedName = handed[0];
            k.edited = QImage(QString::fromStdString(handed[0]));
        }
        return k;
    };

    ASSERT_EQ(rig.load(rig.files.path("d01.tif")), LoadOutcome::Loaded);
    FormPicture* window = rig.form->windows().sourceWindow(2);
    const QImage shown = window->PictureFile()->picture().convertToFormat(QImage::Format_RGB888);
    const QImage full =
        QImage(QString::fromStdString(rig.files.path("d02.tif"))).convertToFormat(QImage::Format_RGBX64);
    ASSERT_EQ(full.size(), shown.size());
    const Kept deep = keep(window);
    EXPECT_EQ(deep.png.depth(), 64);
    EXPECT_EQ(deep.png.convertToFormat(QImage::Format_RGBX64), full);
    EXPECT_EQ(deep.bitmap, shown);
    EXPECT_TRUE(QString::fromStdString(deep.editedName).endsWith(".png")) << deep.editedName;
    EXPECT_EQ(deep.edited.convertToFormat(QImage::Format_RGBX64), full);

    // Written anew (picture 3's pixels) after it was read: the window's own 8-bit picture goes.
    QFile::remove(QString::fromStdString(rig.files.path("d02.tif")));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(rig.files.path("d03.tif")),
                            QString::fromStdString(rig.files.path("d02.tif"))));
    const Kept changed = keep(window);
    EXPECT_NE(changed.png.depth(), 64); // no 16-bit form
    EXPECT_EQ(changed.bitmap, shown);
    EXPECT_TRUE(QString::fromStdString(changed.editedName).endsWith(".bmp")) << changed.editedName;
    EXPECT_EQ(changed.edited.convertToFormat(QImage::Format_RGB888), shown);

    // An 8-bit series goes as its windows show it.
    ASSERT_EQ(rig.load(rig.files.path("e01.bmp")), LoadOutcome::Loaded);
    window = rig.form->windows().sourceWindow(2);
    const QImage eight = window->PictureFile()->picture().convertToFormat(QImage::Format_RGB888);
    const Kept plain = keep(window);
    EXPECT_NE(plain.png.depth(), 64); // no 16-bit form
    EXPECT_EQ(plain.bitmap, eight);
    EXPECT_TRUE(QString::fromStdString(plain.editedName).endsWith(".bmp")) << plain.editedName;
    EXPECT_EQ(plain.edited.convertToFormat(QImage::Format_RGB888), eight);
    setEditorStarter({});
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
}

} // namespace
