// The Printer Wizard and the user's default printer; copying to the clipboard and opening in the
// editor, with the temporary files the editor gets.
#include "picture_output_fixture.h"

#include "ui/clipboard_editor.h"
#include "ui/help_window.h"
#include "ui/image_editor.h"
#include "ui/pselect.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

struct OptionsCase {
    const char* label;
    const char* before;
    const char* name;
    const char* after;
};

class DefaultPrinterOptions : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(DefaultPrinterOptions, AreRewrittenAsLpoptionsDashDDoes) {
    const OptionsCase& c = GetParam();
    EXPECT_EQ(withDefaultPrinter(c.before, c.name), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DefaultPrinterOptions,
    ::testing::Values(
        OptionsCase{"no_file", "", "Laser", "Default Laser\n"},
        OptionsCase{"same_default_again", "Default Laser\n", "Laser", "Default Laser\n"},
        OptionsCase{"options_follow_the_printer", "Dest Ink media=A4\nDefault Laser\nDest Other sides=two-sided-long-edge\n",
                    "Ink", "Default Ink media=A4\nDest Other sides=two-sided-long-edge\n"},
        OptionsCase{"old_default_keeps_its_options", "Default Laser copies=2\n", "Ink", "Dest Laser copies=2\nDefault Ink\n"},
        OptionsCase{"an_instance_is_another_printer", "# mine\r\nDefault Laser/photo\n", "Laser", "# mine\nDefault Laser\n"},
        OptionsCase{"names_and_keywords_match_in_any_case", "dest LASER x=1\n", "Laser", "Default LASER x=1\n"}),
    [](const auto& info) { return std::string(info.param.label); });

// HOME in a temporary folder for the length of a test.
class PrinterWizard : public ::testing::Test {
protected:
    void SetUp() override {
        oldHome_ = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home_.path()));
    }
    void TearDown() override { qputenv("HOME", oldHome_); }
    QByteArray options() const {
        QFile f(home_.filePath(".cups/lpoptions"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }

    QTemporaryDir home_;
    QByteArray oldHome_;
    RecordingPrompter prompter;
    PrinterList printers{{{"Ink", "Epson ET-2750", "Office"}, {"Laser", "HP LaserJet 4", "Hall"}}, "Laser"};
};

TEST_F(PrinterWizard, ShowsAndSelectsTheCurrentPrinterWhichOkWritesAgain) {
    Pselect wizard(printers, prompter);
    EXPECT_EQ(wizard.windowTitle(), "Printer Wizard");
    EXPECT_EQ(wizard.Lbl_Default()->text(), "Current Printer:\nLaser on Hall");
    EXPECT_EQ(wizard.Label1()->text().remove(QLatin1Char('&')), "Current Devices");
    ASSERT_EQ(wizard.Lst_Devices()->count(), 2);
    EXPECT_EQ(wizard.Lst_Devices()->item(0)->text(), "Ink");
    EXPECT_EQ(wizard.Lst_Devices()->currentRow(), 1);
    EXPECT_EQ(wizard.selection(), "Laser,HP LaserJet 4,Hall");
    EXPECT_EQ(wizard.Cmd_Test()->text(), "&OK");
    EXPECT_EQ(wizard.Cmd_Exit()->text(), "&Cancel");
    // OK without a change writes the current default again.
    wizard.Cmd_Test()->click();
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(options(), "Default Laser\n");
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(PrinterWizard, OkMakesTheChosenPrinterTheDefaultAndCancelWritesNothing) {
    {
        Pselect wizard(printers, prompter);
        wizard.Lst_Devices()->setCurrentRow(0);
        EXPECT_EQ(wizard.selection(), "Ink,Epson ET-2750,Office");
        wizard.Cmd_Exit()->click();
        EXPECT_EQ(wizard.result(), QDialog::Rejected);
        EXPECT_EQ(options(), "(none)");
    }
    Pselect wizard(printers, prompter);
    wizard.Lst_Devices()->setCurrentRow(0);
    wizard.Cmd_Test()->click();
    EXPECT_EQ(options(), "Default Ink\n");
}

TEST_F(PrinterWizard, WithNoCurrentPrinterListedNothingIsSelectedOrWritten) {
    printers.defaultPrinter = "Gone";
    Pselect wizard(printers, prompter);
    EXPECT_EQ(wizard.Lst_Devices()->currentRow(), -1);
    EXPECT_TRUE(wizard.selection().isEmpty());
    wizard.Cmd_Test()->click();
    EXPECT_EQ(options(), "(none)");
}

TEST_F(PrinterWizard, AnOptionsFileThatCannotBeWrittenIsReported) {
    QFile blocker(home_.filePath(".cups"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    Pselect wizard(printers, prompter);
    wizard.Cmd_Test()->click();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Critical);
    EXPECT_NE(prompter.shown[0].text.find("'Laser'"), std::string::npos) << prompter.shown[0].text;
}

TEST(Clipboard, HoldsThePictureWhole) {
    const QImage picture = noisyPicture(300, 200);
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    copyPictureToClipboard(picture);
    EXPECT_TRUE(samePixels(QGuiApplication::clipboard()->image(), picture));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
}

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        setEditorStarter([this](const ProgramStart& s) {
            started.push_back(s);
            if (!s.arguments.empty()) opened.push_back(QUrl::fromLocalFile(QString::fromStdString(s.arguments.back())));
            return opens;
        });
        setDefaultPngLookup([this] { return defaultPng; });
    }
    void TearDown() override {
        setEditorStarter({});
        setDefaultPngLookup({});
    }

    OutputFolder out;
    RecordingPrompter prompter;
    std::vector<ProgramStart> started;
    std::vector<QUrl> opened;
    bool opens = true;
    std::optional<DesktopEntry> defaultPng;
    const std::string editor = "paintbox --new-window %f";
    QImage picture = noisyPicture(30, 20);
};

TEST_F(Editor, GetsABmpWithThePicturesPixelsKeptUntilTheProgramEnds) {
    QString handed;
    {
        EditorFiles files;
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
        ASSERT_EQ(opened.size(), 1u);
        ASSERT_TRUE(opened[0].isLocalFile());
        handed = opened[0].toLocalFile();
        EXPECT_TRUE(handed.startsWith(out.path("tmp/orvanta-")) && QFileInfo(handed).fileName().startsWith("vrktemp") &&
                    handed.endsWith(".bmp"))
            << handed.toStdString();
        QImageReader reader(handed);
        EXPECT_EQ(reader.format(), "bmp");
        EXPECT_TRUE(samePixels(reader.read(), picture));
        EXPECT_TRUE(prompter.shown.empty());
        QCoreApplication::processEvents();
        EXPECT_TRUE(QFile::exists(handed)); // still there for a slow editor
    }
    EXPECT_FALSE(QFile::exists(handed));
    EXPECT_TRUE(out.temporaryFiles().isEmpty());
}

TEST_F(Editor, AFileTheUserSavedIntoIsKept) {
    std::vector<std::string> paths;
    {
        EditorFiles files;
        openPictureInEditor(picture, files, prompter, editor);
        openPictureInEditor(picture, files, prompter, editor);
        paths = files.paths();
        ASSERT_EQ(paths.size(), 2u);
        QFile edited(QString::fromStdString(paths[1]));
        ASSERT_TRUE(edited.open(QIODevice::Append));
        edited.write("edited");
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(paths[0])));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(paths[1])));
}

// An editor that left its file empty or deleted it kept no picture there: quitting names only the
// file the user saved a picture into, and the emptied file goes like an unchanged one.
TEST_F(Editor, OnlyAFileHoldingAPictureIsNamedWhenTheProgramEnds) {
    std::vector<std::string> paths;
    std::string told;
    {
        EditorFiles files;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
        paths = files.paths();
        ASSERT_EQ(paths.size(), 3u);
        QFile emptied(QString::fromStdString(paths[0]));
        ASSERT_TRUE(emptied.open(QIODevice::WriteOnly | QIODevice::Truncate));
        emptied.close();
        ASSERT_EQ(::unlink(paths[1].c_str()), 0);
        QFile edited(QString::fromStdString(paths[2]));
        ASSERT_TRUE(edited.open(QIODevice::Append));
        edited.write("edited");
        edited.close();
        EXPECT_EQ(files.changed(), std::vector<std::string>{paths[2]});
        told = editedFilesText(files.changed());
    }
    EXPECT_EQ(told.find(paths[0]), std::string::npos) << told;
    EXPECT_EQ(told.find(paths[1]), std::string::npos) << told;
    EXPECT_NE(told.find("stays in\n  '" + paths[2] + "'"), std::string::npos) << told;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(paths[0])));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(paths[2])));
    ::unlink(paths[2].c_str());
    ::rmdir(QFileInfo(QString::fromStdString(paths[2])).path().toLocal8Bit().constData()); // left for it
    // With only an emptied file there is nothing to say.
    {
        EditorFiles files;
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
        QFile emptied(QString::fromStdString(files.paths().at(0)));
        ASSERT_TRUE(emptied.open(QIODevice::WriteOnly | QIODevice::Truncate));
        emptied.close();
        EXPECT_EQ(editedFilesText(files.changed()), "");
    }
    EXPECT_TRUE(out.temporaryFiles().isEmpty());
}

// An editor may still be starting when the user quits: its file stays while it runs, and goes once
// it has ended like the others.
TEST_F(Editor, AFileWhoseEditorStillRunsWhenTheProgramEndsIsKept) {
    setEditorStarter({}); // a real program
    const QString pidFile = out.path("editor.pid");
    const std::string slowEditor = "sh -c \"echo $$ > " + pidFile.toStdString() + "; exec sleep 30\"";
    std::string kept, gone;
    {
        EditorFiles files;
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, slowEditor));
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, "true"));
        kept = files.paths().at(0);
        gone = files.paths().at(1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return files.withEditorRunning() == 1; }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile(pidFile).size() > 0; }, 5000));
    }
    EXPECT_TRUE(QFile::exists(QString::fromStdString(kept)));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(gone)));
    QFile pid(pidFile);
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    ::kill(pid_t(pid.readAll().trimmed().toInt()), SIGTERM);
    ::unlink(kept.c_str());
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(Editor, TheEditorThatCannotStartIsReportedWithTheFile) {
    opens = false;
    EditorFiles files;
    EXPECT_FALSE(openPictureInEditor(picture, files, prompter, editor));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Exclamation);
    EXPECT_NE(prompter.shown[0].text.find(files.paths().at(0)), std::string::npos);
    EXPECT_NE(prompter.shown[0].text.find("paintbox"), std::string::npos);
}

// A program whose path holds blanks, typed without quotes as a file manager copies it: the start
// of the line that names a program file is the program.
TEST_F(Editor, AProgramPathWithBlanksNeedsNoQuotes) {
    QDir().mkpath(out.path("photo tools/bin"));
    const QString program = out.path("photo tools/bin/paint box");
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    ASSERT_TRUE(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    for (const std::string& line : {program.toStdString() + "  --new %f", program.toStdString()}) {
        started.clear();
        EditorFiles files;
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, line)) << line;
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].program, program.toStdString());
        std::vector<std::string> expected = line == program.toStdString() ? std::vector<std::string>{}
                                                                          : std::vector<std::string>{"--new"};
        expected.push_back(files.paths().at(0));
        EXPECT_EQ(started[0].arguments, expected);
    }
    // A path that names no program is left as typed: the message names its first word.
    opens = false;
    EditorFiles files;
    EXPECT_FALSE(openPictureInEditor(picture, files, prompter, out.str("photo tools/bin/none") + " %f"));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_NE(prompter.shown[0].text.find("'" + out.str("photo") + "'"), std::string::npos) << prompter.shown[0].text;
}

// The temporary folder refuses the file: the user is told which folder, and no editor starts.
TEST_F(Editor, ATemporaryFolderThatRefusesTheFileIsNamed) {
    qputenv("TMPDIR", "/proc");
    EditorFiles files;
    EXPECT_FALSE(openPictureInEditor(picture, files, prompter, editor));
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(files.paths().empty());
    EXPECT_EQ(prompter.shown,
              (std::vector<Prompt>{{PromptIcon::Exclamation, PromptButtons::Ok,
                                    "So very sorry, but I could not write the picture for your editor in the temporary "
                                    "folder  '/proc':  Path/File access error.",
                                    kEditorTitle}}));
}

// Which program gets the file: the preference, else the default PNG application unless it is
// Orvanta, else nobody (and no file is written).
struct EditorCase {
    const char* label;
    std::string preference;
    std::optional<DesktopEntry> defaultPng;
    std::string program;                 // empty: no editor
    std::vector<std::string> beforeFile; // the arguments before the file
};

class EditorChoice : public Editor, public ::testing::WithParamInterface<EditorCase> {};

TEST_P(EditorChoice, StartsTheRightProgramOrSaysThereIsNone) {
    const EditorCase& c = GetParam();
    defaultPng = c.defaultPng;
    EditorFiles files;
    const bool ok = openPictureInEditor(picture, files, prompter, c.preference);
    if (c.program.empty()) {
        EXPECT_FALSE(ok);
        EXPECT_TRUE(started.empty());
        EXPECT_TRUE(files.paths().empty());
        EXPECT_EQ(prompter.shown, (std::vector<Prompt>{{PromptIcon::Exclamation, PromptButtons::Ok, kNoEditorText, kEditorTitle}}));
        return;
    }
    ASSERT_TRUE(ok);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].program, c.program);
    std::vector<std::string> expected = c.beforeFile;
    expected.push_back(files.paths().at(0));
    EXPECT_EQ(started[0].arguments, expected);
}

const DesktopEntry kGimp{"org.gimp.GIMP.desktop", "[Desktop Entry]\nName=GIMP\nExec=gimp-2.10 --no-splash %F\n"};
const DesktopEntry kViewerF{"viewer.desktop", "[Desktop Action New]\nExec=wrong\n[Desktop Entry]\nExec=\"/opt/my viewer/bin/view\" -i %i %f\n"};
const DesktopEntry kOurs{"com.brindlemoor.orvanta.desktop", "[Desktop Entry]\nExec=orvanta %f\n"};
const DesktopEntry kOursRenamed{"local-copy.desktop", "[Desktop Entry]\nExec=/usr/bin/orvanta %f\n"};

INSTANTIATE_TEST_SUITE_P(
    Table, EditorChoice,
    ::testing::Values(EditorCase{"preference_with_placeholder", "krita --nosplash %f", kGimp, "krita", {"--nosplash"}},
                      EditorCase{"preference_without_placeholder_gets_the_file_last", "pinta", std::nullopt, "pinta", {}},
                      EditorCase{"quoted_program", "\"/opt/paint box/paint\" %f", std::nullopt, "/opt/paint box/paint", {}},
                      EditorCase{"single_quoted_program_and_argument", "'/opt/paint box/paint' --title 'my pic' %f",
                                 std::nullopt, "/opt/paint box/paint", {"--title", "my pic"}},
                      EditorCase{"escaped_blank", "/opt/paint\\ box/paint %f", std::nullopt, "/opt/paint box/paint", {}},
                      EditorCase{"program_in_a_folder_that_is_not_utf8", "\"/opt/caf\xe9/paint\" -x %f", std::nullopt, "/opt/caf\xe9/paint", {"-x"}},
                      EditorCase{"default_png_application", "", kGimp, "gimp-2.10", {"--no-splash"}},
                      EditorCase{"default_with_path_field_code_and_actions", "  ", kViewerF, "/opt/my viewer/bin/view", {"-i"}},
                      EditorCase{"our_own_entry_is_no_editor", "", kOurs, "", {}},
                      EditorCase{"our_program_under_another_entry_name", "", kOursRenamed, "", {}},
                      EditorCase{"nothing_at_all", "", std::nullopt, "", {}}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
