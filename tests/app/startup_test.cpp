// Start-up: the command line's file and increment, the missing-file message, a file handed to its
// own program, the preferences start-up reads, the splash hand-over and the first activation.
#include "app/startup.h"
#include "app/command_line.h"
#include "input/picture_file.h"
#include "settings/shell_integration.h"
#include "ui/help_window.h"
#include "ui/montage_windows.h"
#include "ui/path_text.h"
#include "support/scoped_home.h"
#include "ui/series_fixture.h"
#include "support/scaled_font.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QToolButton>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QLineEdit>
#include <QTest>
#include <QUrl>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

struct StartupRig {
    SeriesFolder files;
    ProgramState state;
    RecordingPrompter prompter;
    CommonDialog dialog{std::make_unique<ScriptedDialogBackend>()};
    std::unique_ptr<FormMontage> form;
    std::vector<QUrl> opened;

    StartupRig() {
        state.programFolder = files.folder();
        state.preferences = ProfileFile(files.path("orvanta.ini"));
        state.quit = [] {};
        setShellOpener([this](const QUrl& u) {
            opened.push_back(u);
            return true;
        });
    }
    ~StartupRig() { setShellOpener({}); }

    void pref(const std::string& key, const std::string& value) {
        state.preferences.write(kPreferencesSection, key, value);
    }

    FormMontage* start(const std::vector<std::string>& args, const StartupHooks& hooks = {}) {
        form = Montage1Main(state, prompter, dialog, args, hooks);
        return form.get();
    }

    // The first activation of the main window runs the Load command.
    void waitForFirstLoad() {
        ASSERT_TRUE(form);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !state.firstActivation; }, 5000));
    }

    // Once the first activation has loaded it, the series holds `count` pictures and nothing was said.
    void expectQuietlyLoaded(int count) {
        waitForFirstLoad();
        EXPECT_EQ(state.series.imageCount, count);
        EXPECT_TRUE(prompter.shown.empty());
    }

    std::string box() const { return form->textFileName()->text().toStdString(); }
    std::string increment() const { return form->TextIncrement()->text().toStdString(); }
};

TEST(Startup, WithoutArgumentsOrPreferencesKeepsTheInitialNameAndIncrementTen) {
    StartupRig rig;
    ASSERT_NE(rig.start({}), nullptr);
    EXPECT_TRUE(rig.form->isVisible());
    EXPECT_EQ(rig.box(), initialFileName(rig.state.programFolder));
    EXPECT_EQ(rig.increment(), "10");
    EXPECT_EQ(rig.form->montageMethod(), 0);
    EXPECT_FALSE(rig.state.dragState.has_value());
    rig.waitForFirstLoad();
    // The initial series is not there: at start-up that is no reason for a message.
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_FALSE(rig.state.startupFlag);
}

TEST(Startup, CommandLineFileAndIncrementFillTheBoxesAndTheSeriesLoadsOnActivation) {
    StartupRig rig;
    rig.files.writeSeries("rock", 1, 3, 1);
    rig.pref("Increment", "40");
    rig.pref("filename", "/elsewhere/x1.bmp");
    rig.start({rig.files.path("rock1.bmp"), "/i25"});
    EXPECT_EQ(rig.box(), rig.files.path("rock1.bmp"));
    EXPECT_EQ(rig.increment(), "25");
    rig.expectQuietlyLoaded(3);
}

TEST(Startup, AFileNamedAfterTheOptionsLoadsThatSeriesNotThePreferencesOne) {
    StartupRig rig;
    rig.files.writeSeries("after", 1, 3, 1);
    rig.files.writeSeries("last", 1, 2, 1);
    rig.pref("filename", rig.files.path("last1.bmp"));
    rig.start({"-i", "25", rig.files.path("after1.bmp")});
    EXPECT_EQ(rig.box(), rig.files.path("after1.bmp"));
    EXPECT_EQ(rig.increment(), "25");
    rig.expectQuietlyLoaded(3);
}

TEST(Startup, ARelativeNameIsTakenFromTheWorkingFolder) {
    StartupRig rig;
    rig.files.writeSeries("rel", 1, 2, 1);
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(rig.files.folder()));
    rig.start({"rel1.bmp"});
    QDir::setCurrent(before);
    EXPECT_EQ(rig.box(), QFileInfo(QString::fromStdString(rig.files.path("rel1.bmp"))).absoluteFilePath().toStdString());
}

struct IncrementCase {
    const char* label;
    std::vector<std::string> args;
    const char* preference; // nullptr: not written
    const char* expected;
};

class StartupIncrement : public ::testing::TestWithParam<IncrementCase> {};

TEST_P(StartupIncrement, BoxTextIsAtLeastTen) {
    StartupRig rig;
    if (GetParam().preference) rig.pref("Increment", GetParam().preference);
    rig.start(GetParam().args);
    EXPECT_EQ(rig.increment(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, StartupIncrement,
                         ::testing::Values(IncrementCase{"option_below_ten", {"/i5"}, "30", "10"},
                                           IncrementCase{"option_wins_over_preference", {"/i30"}, "15", "30"},
                                           IncrementCase{"preference_trimmed", {}, " 35 ", "35"},
                                           IncrementCase{"preference_not_a_number", {}, "abc", "10"},
                                           IncrementCase{"no_preference", {}, nullptr, "10"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(Startup, AMissingCommandLineFileIsReportedAndStartUpGoesOnWithThePreferences) {
    StartupRig rig;
    rig.pref("filename", "/p/last01.bmp");
    const std::string missing = rig.files.path("none1.bmp");
    ASSERT_NE(rig.start({missing, "/i50"}), nullptr);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0],
              (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                      "I am sorry, but I cannot find the file that is on the Shortcut or Command Line used to call "
                      "this  'Orvanta'  program.",
                      "The command line was " + missing}));
    EXPECT_EQ(rig.box(), "/p/last01.bmp");
    EXPECT_EQ(rig.increment(), "10"); // as without an argument
}

// The file manager starts the program with the clicked file as one argument: a folder name with
// words that look like options ("--best", "--", "-i 5") neither cuts the name nor stops the program.
class StartupOptionLikeFolders : public ::testing::TestWithParam<const char*> {};

TEST_P(StartupOptionLikeFolders, TheClickedFileLoadsItsSeries) {
    StartupRig rig;
    const std::string folder = rig.files.path(GetParam());
    std::filesystem::create_directories(folder);
    rig.files.writeSeries(folder.substr(rig.files.folder().size()).append("/rock"), 1, 3, 1);
    const std::string first = folder + "/rock1.bmp";
    const std::vector<std::string> args{first};
    EXPECT_TRUE(parseCommandLine(args, fileExists).error.empty()); // main() would end with a usage error
    ASSERT_NE(rig.start(args), nullptr);
    EXPECT_EQ(rig.box(), first);
    EXPECT_EQ(rig.increment(), "10");
    rig.expectQuietlyLoaded(3);
}

INSTANTIATE_TEST_SUITE_P(Folders, StartupOptionLikeFolders,
                         ::testing::Values("Shots --best", "Macro -- Beetles", "Trip -i 5", "a /i7 b"),
                         [](const auto& info) { return "folder_" + std::to_string(info.index); });

TEST(Startup, AFileAddressLoadsTheSeriesOfItsLocalFile) {
    StartupRig rig;
    std::filesystem::create_directories(rig.files.path("My Pics 100%"));
    rig.files.writeSeries("My Pics 100%/rock", 1, 3, 1);
    const std::string first = rig.files.path("My Pics 100%/rock1.bmp");
    const QByteArray url = "file://" + QUrl::toPercentEncoding(QByteArray::fromStdString(first), "/");
    ASSERT_NE(rig.start({url.toStdString(), "file://" + rig.files.path("My%20Pics%20100%25/rock2.bmp")}), nullptr);
    EXPECT_EQ(rig.box(), first);
    rig.expectQuietlyLoaded(3);
}

TEST(Startup, AFileThatIsNotAPictureIsSaidAndNeverHandedToTheDesktopsOpener) {
    StartupRig rig;
    rig.files.writeText("notes.txt", "hello");
    EXPECT_NE(rig.start({rig.files.path("notes.txt")}), nullptr);
    EXPECT_TRUE(rig.opened.empty());
    ASSERT_FALSE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok, kInvalidPictureText,
                                             kInvalidPictureTitle}));
}

// A project named on the command line (a file manager's "Open With", a launcher) opens as one
// dropped on the window does: its settings, its series and its stored montage.
TEST(Startup, AProjectOnTheCommandLineOpensAsAProject) {
    StartupRig rig;
    rig.files.writeSeries("rock", 1, 3, 1);
    const std::string first = rig.files.path("rock1.bmp");
    rig.files.writeText("rock1.MON", "[project]\r\n\r\n  First file name =" + first +
                                         "\r\n  Number of files found =3\r\n  Montage method used =2 (Preference Red "
                                         "Focus)\r\n  Increment size =12\r\n  Smoothing =no \r\n  Montage made from "
                                         "dominant image numbers:\r\n2\r\n\r\n");
    QImage stored(8, 6, QImage::Format_RGB888);
    stored.fill(QColor(200, 30, 90));
    ASSERT_TRUE(stored.save(QString::fromStdString(rig.files.path("rock1.vrk")), "BMP"));
    rig.pref("filename", "/elsewhere/x1.bmp");

    ASSERT_NE(rig.start({rig.files.path("rock1.MON")}), nullptr);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    rig.waitForFirstLoad();
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.box(), first);
    EXPECT_EQ(rig.increment(), "12");
    EXPECT_EQ(rig.form->montageMethod(), 2);
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.form->windows().montageWindow()->PictureFile()->picture().convertToFormat(QImage::Format_RGB888),
              stored);
    EXPECT_EQ(rig.state.montage.main().map, "2\r\n");
}

TEST(Startup, PreferencesSetMethodRecentListAndSettings) {
    StartupRig rig;
    rig.pref("Montage method", "3");
    rig.pref("filename", "/p/last01.bmp");
    rig.pref("recent file 0", "/p/a1.bmp");
    rig.pref("recent file 1", "project /p/trip");
    rig.pref("Target color", "65280");
    rig.pref("Originating image", "1");
    rig.pref("autoSmooth", "1");
    rig.pref("edgeFactor", "10");
    rig.pref("rightmouse", "3");
    rig.start({});
    EXPECT_EQ(rig.box(), "/p/last01.bmp");
    EXPECT_EQ(rig.form->montageMethod(), 3);
    EXPECT_EQ(rig.form->mnuRecentFile(0)->text(), "/p/a1.bmp");
    EXPECT_EQ(rig.form->mnuRecentFile(1)->text(), "project /p/trip");
    EXPECT_FALSE(rig.form->mnuRecentFile(2)->isVisible());
    EXPECT_EQ(rig.state.targetColor, 65280u);
    EXPECT_TRUE(rig.state.originatingImage);
    EXPECT_EQ(rig.state.smoothing.autoSmooth, 1);
    EXPECT_FLOAT_EQ(rig.state.smoothing.edgeFactor, 0.1f);
    EXPECT_EQ(rig.state.rightMouse, 1);
}

// A preferences file that is there but cannot be read (here a folder of that name) reads as the
// defaults; the user is told so once, and what the program writes later never replaces it.
TEST(Startup, PreferencesThatCannotBeReadAreSaidAndTheProgramStartsOnTheDefaults) {
    StartupRig rig;
    const std::string ini = rig.files.path("orvanta.ini");
    ASSERT_TRUE(std::filesystem::create_directory(ini));
    rig.files.writeText("orvanta.ini/kept", "a user's file");
    rig.files.writeSeries("rock", 1, 2, 1);
    rig.start({rig.files.path("rock1.bmp")});
    rig.waitForFirstLoad();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0],
              (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                      "I could not read your preferences in " + ini +
                          " (it is a folder).   Orvanta starts with its default settings and leaves that file as "
                          "it is, so what you change now is not kept.",
                      "Preferences not read"}));
    EXPECT_EQ(rig.increment(), "10");
    EXPECT_EQ(rig.form->montageMethod(), 0);
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_TRUE(std::filesystem::is_directory(ini));
    EXPECT_TRUE(std::filesystem::is_regular_file(ini + "/kept"));
    // The writes that then fail say nothing more.
    rig.form->AddRecentFile(rig.files.path("rock1.bmp"));
    rig.form->mnusimpleCol(2)->trigger();
    QTest::qWait(50);
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_regular_file(ini + "/kept"));
}

// Once the writes are back in the event loop: one message, that the preferences in `ini` cannot be
// kept as their folder is a file; the recent list in memory holds rock1 under other1 all the same.
void expectNotKeptSaidOnceAndTheListHeld(StartupRig& rig, const std::string& ini) {
    QTest::qWait(50);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                                             preferencesNotKeptText(ini, "Not a directory"), "Preferences not kept"}));
    EXPECT_EQ(rig.form->mnuRecentFile(0)->text().toStdString(), rig.files.path("other1.bmp"));
    EXPECT_EQ(rig.form->mnuRecentFile(1)->text().toStdString(), rig.files.path("rock1.bmp"));
}

// With ~/.config a file the preferences folder cannot be made and no preference of the run can be
// kept: the user is told so once, at start-up, and the run goes on with the values in memory (the
// recent list grows, though its keys cannot be written).
TEST(Startup, PreferencesWhoseFolderCannotBeMadeAreSaidOnceAndTheRunGoesOn) {
    ScopedHome home;
    std::ofstream(home.config()) << "not a folder";
    StartupRig rig;
    const std::string ini = preferencesPath("");
    rig.state.preferences = ProfileFile(ini);
    rig.files.writeSeries("rock", 1, 2, 1);
    rig.start({rig.files.path("rock1.bmp")});
    rig.waitForFirstLoad();
    rig.form->AddRecentFile(rig.files.path("rock1.bmp"));
    rig.form->AddRecentFile(rig.files.path("other1.bmp"));
    rig.form->mnusimpleCol(2)->trigger();
    expectNotKeptSaidOnceAndTheListHeld(rig, ini);
    EXPECT_EQ(rig.state.series.imageCount, 2);
}

// Preferences that could be written at start-up but no longer can (their folder replaced by a file)
// are said once, after the first write that fails and not inside it; the writes after it say
// nothing more.
TEST(Startup, PreferencesThatCannotBeWrittenAreSaidOnceAtTheFirstWriteThatFails) {
    QTemporaryDir config;
    const std::string folder = config.path().toStdString() + "/orvanta";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string ini = folder + "/orvanta.ini";
    StartupRig rig;
    rig.state.preferences = ProfileFile(ini);
    rig.files.writeSeries("rock", 1, 2, 1);
    rig.start({});
    QTest::qWait(20);
    EXPECT_TRUE(rig.prompter.shown.empty());
    ASSERT_TRUE(std::filesystem::remove(folder));
    std::ofstream(folder) << "not a folder";
    rig.form->AddRecentFile(rig.files.path("rock1.bmp"));
    EXPECT_TRUE(rig.prompter.shown.empty()); // not from inside the command that wrote
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.prompter.shown.empty(); }, 2000));
    rig.form->AddRecentFile(rig.files.path("other1.bmp"));
    rig.form->mnusimpleCol(2)->trigger();
    expectNotKeptSaidOnceAndTheListHeld(rig, ini);
}

TEST(Startup, LoadImagesRunsTheLoadWhileTheMainWindowLoadsInsideTheSplash) {
    StartupRig rig;
    // The initial name of the file box is a series beside the program.
    rig.files.writeSeries("sample", 1, 3);
    rig.pref("Load images", "1");
    std::vector<std::string> order;
    StartupHooks hooks;
    hooks.runSplash = [&](Prompter&, const std::function<void()>& loadMainWindow) {
        order.push_back("splash up");
        loadMainWindow();
        order.push_back(rig.state.series.imageCount == 3 ? "series loaded" : "no series");
        order.push_back("splash closed");
    };
    hooks.loadMontageWindow = [&](FormMontage&) { order.push_back("montage window"); };
    rig.start({}, hooks);
    EXPECT_EQ(order, (std::vector<std::string>{"splash up", "series loaded", "splash closed", "montage window"}));
    EXPECT_FALSE(rig.state.startupFlag);
}

// The last series is named in the box at every start but loaded only when the preferences ask.
class StartupLoadImages : public ::testing::TestWithParam<int> {};

TEST_P(StartupLoadImages, DecidesWhetherTheLastSeriesLoads) {
    StartupRig rig;
    rig.files.writeSeries("last", 1, 3);
    rig.pref("filename", rig.files.path("last01.bmp"));
    rig.pref("Load images", std::to_string(GetParam()));
    rig.start({});
    rig.waitForFirstLoad();
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.box(), rig.files.path("last01.bmp"));
    EXPECT_EQ(rig.state.series.imageCount, GetParam() ? 3 : 0);
    EXPECT_TRUE(rig.prompter.shown.empty());
    // Start-up is over: a series the user asks for that is not there is said.
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("gone01.bmp")));
    rig.form->loadCommand();
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, StartupLoadImages, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? std::string("ticked") : std::string("not_ticked"); });

TEST(Startup, TheMethodChosenInTheMenuComesBackWithTheAlignment) {
    {
        StartupRig rig;
        rig.start({});
        rig.form->mnusimpleCol(5)->trigger();
        rig.form->action(Command::AlignImages)->trigger();
        const std::string ini = rig.state.preferences.path();
        StartupRig again;
        again.state.preferences = ProfileFile(ini);
        again.start({});
        EXPECT_EQ(again.form->montageMethod(), 5);
        EXPECT_TRUE(again.form->action(Command::AlignImages)->isChecked());
    }
}

TEST(Startup, ResolutionOptionLaysTheMainWindowOutForThatScreen) {
    StartupRig rig;
    rig.start({"/resolution", "800x600"});
    EXPECT_DOUBLE_EQ(rig.state.layout.scaleX, 0.78125 * rig.state.layout.twipsPerPixel / 15);
    EXPECT_EQ(rig.form->width(), int(std::lround(1016 * rig.state.layout.scaleX)));
    EXPECT_EQ(rig.form->textFileName()->x(), int(std::lround(12 * rig.state.layout.scaleX)));
}

// The increment's caption beside its box, whole and level with it, on the screens the layout
// shrinks the main window for; at the design size it stays where it was drawn.
class IncrementCaption : public ::testing::TestWithParam<const char*> {};

TEST_P(IncrementCaption, StaysWholeBesideItsBox) {
    StartupRig rig;
    rig.start({"/resolution", GetParam()});
    const QLabel* caption = rig.form->findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_NE(caption, nullptr);
    const QRect label = caption->geometry();
    const QRect box = rig.form->TextIncrement()->geometry();
    EXPECT_LE(label.right(), box.left()) << "the caption's end is under the increment box";
    EXPECT_GE(label.width(), caption->sizeHint().width()) << "the caption is cut";
    EXPECT_LE(std::abs(label.center().y() - box.center().y()), 1) << "the caption is not level with its box";
    if (std::string_view(GetParam()) == "1024x768" && rig.state.layout.twipsPerPixel == 15) {
        EXPECT_EQ(label, QRect(614, 14, 72, 26));
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, IncrementCaption, ::testing::Values("1024x768", "800x600", "640x480"),
                         [](const auto& info) { return std::string("s") + info.param; });

// In a large desktop font the strip's captions stay whole on the design's screen: "Increment"
// beside its box, not under it, and "Make Montage" inside its button.
TEST(Startup, ALargeDesktopFontKeepsTheStripsCaptionsWhole) {
    const orv::testing::ScaledApplicationFont largeFont(1.8);
    StartupRig rig;
    rig.start({"/resolution", "1024x768"});
    const QLabel* caption = rig.form->findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_NE(caption, nullptr);
    const QRect label = caption->geometry();
    EXPECT_LE(label.right(), rig.form->TextIncrement()->geometry().left()) << "the caption's end is under the increment box";
    EXPECT_GE(label.width(), caption->sizeHint().width()) << "the caption is cut";
    const QRect browse = rig.form->findChild<QToolButton*>(QStringLiteral("CommandBrowse"))->geometry();
    EXPECT_LT(browse.right(), label.left()) << "the caption covers the Browse button";
    EXPECT_LT(rig.form->textFileName()->geometry().right(), browse.left());
    const QPushButton* go = rig.form->CommandGo();
    EXPECT_GE(go->width(), go->sizeHint().width()) << "the button's caption is cut";
    EXPECT_LE(go->geometry().right(), rig.form->centralWidget()->width());
}

// Every control of the main window's strip lies whole inside it once the window is up, on screens
// of other shapes than 4:3 too: there the fonts, and with them the menu bar, the status bar and the
// increment box, grow more than the window's height.
class MainWindowStrip : public ::testing::TestWithParam<const char*> {};

TEST_P(MainWindowStrip, HoldsEveryControlWhole) {
    StartupRig rig;
    rig.start({"/resolution", GetParam()});
    const QWidget* client = rig.form->centralWidget();
    auto outside = [&] {
        QStringList names;
        for (const QWidget* c : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (c->isVisibleTo(client) && !client->rect().contains(c->geometry())) names << c->objectName();
        return names;
    };
    // The bars take the scaled font's size when their layouts are next run.
    for (int round = 0; round < 3; ++round) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_TRUE(outside().isEmpty())
        << "cut at the strip's edge: " << outside().join(QStringLiteral(", ")).toStdString() << " (strip "
        << client->width() << " x " << client->height() << ")";
}

INSTANTIATE_TEST_SUITE_P(Screens, MainWindowStrip,
                         ::testing::Values("1024x768", "800x600", "1280x1024", "1366x768", "1920x1080", "2560x1440"),
                         [](const auto& info) { return std::string("s") + info.param; });

TEST(Startup, ShortcutPreferenceRefreshesTheDesktopShortcut) {
    StartupRig rig;
    rig.pref("shortcut", "1");
    int made = 0;
    StartupHooks hooks;
    hooks.createDesktopShortcut = [&](ProgramState&) { ++made; };
    rig.start({}, hooks);
    EXPECT_EQ(made, 1);
}

TEST(Startup, WithoutAHookTheLauncherIsWrittenToTheDesktopWhileTheShortcutPreferenceIs1) {
    ScopedHome home;
    const std::string launcher = home.desktop() + "/Orvanta.desktop";
    {
        StartupRig rig;
        rig.pref("shortcut", "0");
        rig.start({});
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(launcher)));
    }
    StartupRig rig;
    rig.pref("shortcut", "1");
    rig.start({});
    QFile file(QString::fromStdString(launcher));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(("Exec=\"" + rig.state.programFolder + "orvanta\"\n").c_str()));
}

// The file-manager entry an earlier copy of the program wrote starts this copy after a start-up
// while "rightmouse" is 1, and is left alone while it is 0.
TEST(Startup, TheFileManagerEntryOfAMovedProgramStartsItFromWhereItIsNow) {
    ScopedHome home;
    ShellPlaces old;
    old.programFolder = home.home() + "/old copy/";
    old.desktopFolder = home.desktop();
    old.dataHome = home.dataHome();
    const std::string entry = home.dataHome() + "/applications/orvanta-open.desktop";
    for (const char* flag : {"0", "1"}) {
        SCOPED_TRACE(flag);
        ASSERT_TRUE(ShellIntegration(old).installFileManagerEntry());
        StartupRig rig;
        rig.pref("rightmouse", flag);
        rig.start({});
        QFile file(QString::fromStdString(entry));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        const std::string now = "Exec=\"" + rig.state.programFolder + "orvanta\" %f\n";
        EXPECT_EQ(text.contains(now.c_str()), std::string(flag) == "1") << text.toStdString();
    }
}

// The command line's file and the last series of the preferences, in folders whose names are not
// UTF-8 or hold a line end, reach the box and the series by their bytes.
struct ByteFolderCase {
    const char* label;
    const char* folder;
};

// Failures name the case, not its bytes.
void PrintTo(const ByteFolderCase& c, std::ostream* os) { *os << c.label; }

class StartupByteNames : public ::testing::TestWithParam<ByteFolderCase> {};

TEST_P(StartupByteNames, TheCommandLineFileLoadsFromItsFolder) {
    StartupRig rig;
    const std::string folder = rig.files.path(GetParam().folder);
    std::filesystem::create_directory(folder);
    for (int k = 1; k <= 3; ++k) ASSERT_TRUE(writePictureByBytes(folder + "/b" + std::to_string(k) + ".bmp", QImage(8, 6, QImage::Format_RGB888)));
    rig.start({folder + "/b1.bmp", "/i25"});
    EXPECT_EQ(pathBytes(rig.form->textFileName()->text()), folder + "/b1.bmp");
    rig.expectQuietlyLoaded(3);
}

TEST_P(StartupByteNames, ARelativeNameTakesTheWorkingFolderByItsBytes) {
    StartupRig rig;
    const std::string folder = rig.files.path(GetParam().folder);
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(writePictureByBytes(folder + "/r1.bmp", QImage(8, 6, QImage::Format_RGB888)));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    rig.start({"r1.bmp"});
    std::filesystem::current_path(before);
    EXPECT_EQ(pathBytes(rig.form->textFileName()->text()), folder + "/r1.bmp");
}

TEST_P(StartupByteNames, TheLastSeriesOfThePreferencesComesBack) {
    StartupRig rig;
    const std::string name = std::string("/p/") + GetParam().folder + "/x1.bmp";
    rig.pref("filename", profileNameValue(name));
    rig.start({});
    EXPECT_EQ(pathBytes(rig.form->textFileName()->text()), name);
}

INSTANTIATE_TEST_SUITE_P(Folders, StartupByteNames,
                         ::testing::Values(ByteFolderCase{"latin1_e_acute", "caf\xe9"}, ByteFolderCase{"line_end", "two\nlines"}),
                         [](const ::testing::TestParamInfo<ByteFolderCase>& info) { return std::string(info.param.label); });

} // namespace
