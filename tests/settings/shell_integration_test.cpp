// The desktop launcher and the file-manager entry: their text (quoting included), where they go,
// that desktop-file-validate accepts them, and the install/remove rules with their messages.
#include "settings/shell_integration.h"
#include "support/scoped_home.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace orv;
using namespace orv::testing;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

bool executable(const std::string& path) {
    const auto perms = std::filesystem::status(path).permissions();
    return (perms & std::filesystem::perms::owner_exec) != std::filesystem::perms::none;
}

// desktop-file-validate's verdict: empty when it accepts the file (or is not installed).
std::string validatorComplaints(const std::string& path) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty()) return {};
    QProcess p;
    p.start(tool, {QString::fromStdString(path)});
    if (!p.waitForFinished(20000)) return "desktop-file-validate did not finish";
    const std::string out = (p.readAllStandardOutput() + p.readAllStandardError()).toStdString();
    return p.exitCode() == 0 ? std::string() : "exit " + std::to_string(p.exitCode()) + ": " + out;
}

ShellPlaces placesIn(const ScopedHome& home, const std::string& programFolder) {
    ShellPlaces p;
    p.programFolder = programFolder;
    p.desktopFolder = home.desktop();
    p.dataHome = home.dataHome();
    return p;
}

// --- values of a desktop entry ----------------------------------------------------------------

struct ExecCase {
    const char* name;
    std::string path;
    std::string exec;
};

class ExecQuoting : public ::testing::TestWithParam<ExecCase> {};

TEST_P(ExecQuoting, TheProgramPathIsOneQuotedArgument) {
    EXPECT_EQ(desktopExecArgument(GetParam().path), GetParam().exec);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExecQuoting,
    ::testing::Values(ExecCase{"plain", "/opt/orvanta/orvanta", "\"/opt/orvanta/orvanta\""},
                      ExecCase{"blanks", "/home/ann/My Programs/orvanta", "\"/home/ann/My Programs/orvanta\""},
                      // Inside the quotes ", `, $ and \ take a backslash, which the string escaping
                      // then doubles.
                      ExecCase{"dollar", "/a$b/orvanta", "\"/a\\\\$b/orvanta\""},
                      ExecCase{"quote", "/a\"b/orvanta", "\"/a\\\\\"b/orvanta\""},
                      ExecCase{"backtick", "/a`b/orvanta", "\"/a\\\\`b/orvanta\""},
                      ExecCase{"backslash", "/a\\b/orvanta", "\"/a\\\\\\\\b/orvanta\""},
                      ExecCase{"percent", "/100%/orvanta", "\"/100%%/orvanta\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DesktopStringValue, EscapesLineEndsBackslashesAndALeadingBlank) {
    EXPECT_EQ(desktopStringValue("/a b/"), "/a b/");
    EXPECT_EQ(desktopStringValue(" a\\b\nc\td"), "\\sa\\\\b\\nc\\td");
}

// --- the launcher -------------------------------------------------------------------------------

TEST(DesktopLauncher, ProgramFolderWithBlanksGivesAQuotedExecAndAValidExecutableLauncher) {
    ScopedHome home;
    const std::string folder = home.home() + "/My Programs/Orvanta 2/";
    ShellPlaces places = placesIn(home, folder);
    places.icon = folder + "orvanta.png";
    const ShellIntegration shell(places);
    ASSERT_TRUE(shell.createDesktopShortcut()); // the desktop folder does not exist yet
    EXPECT_EQ(shell.launcherPath(), home.desktop() + "/Orvanta.desktop");
    std::ofstream(shell.launcherPath()) << "[Desktop Entry]\nExec=/old/orvanta\n";
    ASSERT_TRUE(shell.createDesktopShortcut()); // an existing launcher is overwritten
    EXPECT_EQ(readAll(shell.launcherPath()),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Version=1.0\n"
              "Name=Orvanta\n"
              "Comment=This is my Orvanta shortcut!\n"
              "Exec=\"" + folder + "orvanta\"\n"
              "Icon=" + folder + "orvanta.png\n"
              "Path=" + folder + "\n"
              "Terminal=false\n"
              "StartupNotify=true\n");
    EXPECT_TRUE(executable(shell.launcherPath()));
    EXPECT_EQ(validatorComplaints(shell.launcherPath()), "");
}

TEST(UserFolders, WithoutXdgDesktopDirTheUserDirsAnswerOrDesktopInHome) {
    ScopedHome home;
    ScopedHome::unset("XDG_DESKTOP_DIR");
    // No user-dirs file: xdg-user-dir (when installed) answers the home folder, which means none.
    EXPECT_EQ(userDesktopFolder(), home.home() + "/Desktop");
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-user-dir")).isEmpty())
        GTEST_SKIP() << "xdg-user-dir is not installed";
    std::filesystem::create_directories(home.config());
    std::ofstream(home.config() + "/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
    EXPECT_EQ(userDesktopFolder(), home.home() + "/Schreibtisch");
}

// --- the file-manager entry ----------------------------------------------------------------------

TEST(FileManagerEntry, InstallWritesTwoValidEntriesThatStartTheProgramOnTheFile) {
    ScopedHome home;
    const ShellIntegration shell(placesIn(home, "/opt/my apps/"));
    ASSERT_TRUE(shell.installFileManagerEntry());
    EXPECT_EQ(shell.applicationEntryPath(), home.dataHome() + "/applications/orvanta-open.desktop");
    EXPECT_EQ(shell.serviceMenuPath(), home.dataHome() + "/kio/servicemenus/orvanta-open.desktop");
    for (const std::string& path : {shell.applicationEntryPath(), shell.serviceMenuPath()}) {
        const std::string text = readAll(path);
        EXPECT_NE(text.find("Exec=\"/opt/my apps/orvanta\" %f\n"), std::string::npos) << path;
        EXPECT_NE(text.find("image/jpeg;"), std::string::npos) << path;
        EXPECT_NE(text.find("application/octet-stream;"), std::string::npos) << path;
    }
    // desktop-file-validate knows application entries; service menus are KDE's own kind.
    EXPECT_EQ(validatorComplaints(shell.applicationEntryPath()), "");
    EXPECT_TRUE(executable(shell.serviceMenuPath())); // KDE ignores a service menu that is not
}

// A data folder whose name is not UTF-8 is used by its bytes: both files go in it and come out again.
TEST(FileManagerEntry, AFolderNameThatIsNotUtf8IsUsedByItsBytes) {
    ScopedHome home;
    ShellPlaces p = placesIn(home, "/opt/caf\xe9/");
    p.dataHome = home.dataHome() + "/d\xe9j\xe0";
    const ShellIntegration shell(p);
    ASSERT_TRUE(shell.installFileManagerEntry());
    EXPECT_TRUE(std::filesystem::is_regular_file(shell.serviceMenuPath()));
    EXPECT_NE(readAll(shell.applicationEntryPath()).find("Exec=\"/opt/caf\xe9/orvanta\" %f"), std::string::npos);
    EXPECT_TRUE(shell.removeFileManagerEntry());
    EXPECT_FALSE(std::filesystem::exists(shell.serviceMenuPath()));
    EXPECT_FALSE(std::filesystem::exists(shell.applicationEntryPath()));
}

// The service menu read as KDE reads it: a service of the context-menu plugin type, its types, and
// an action for each name in Actions, with a name and a command.
TEST(FileManagerEntry, TheServiceMenuIsAKdeServiceMenu) {
    ScopedHome home;
    const ShellIntegration shell(placesIn(home, "/opt/my apps/"));
    ASSERT_TRUE(shell.installFileManagerEntry());
    std::map<std::string, std::map<std::string, std::string>> groups;
    std::string group;
    std::istringstream in(readAll(shell.serviceMenuPath()));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            group = line.substr(1, line.size() - 2);
            EXPECT_EQ(groups.count(group), 0u) << "group twice: " << group;
            groups[group];
            continue;
        }
        const auto eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        ASSERT_FALSE(group.empty()) << "a key before the first group: " << line;
        EXPECT_TRUE(groups[group].emplace(line.substr(0, eq), line.substr(eq + 1)).second) << "key twice: " << line;
    }
    const auto& entry = groups["Desktop Entry"];
    EXPECT_EQ(entry.at("Type"), "Service");
    EXPECT_EQ(entry.at("X-KDE-ServiceTypes"), "KonqPopupMenu/Plugin");
    EXPECT_NE(entry.at("MimeType").find("image/png;"), std::string::npos);
    EXPECT_EQ(entry.count("Exec"), 0u) << "a service menu starts its actions, not itself";
    const std::string actions = entry.at("Actions");
    ASSERT_FALSE(actions.empty());
    std::istringstream names(actions);
    for (std::string name; std::getline(names, name, ';');) {
        ASSERT_EQ(groups.count("Desktop Action " + name), 1u) << name;
        const auto& action = groups["Desktop Action " + name];
        EXPECT_EQ(action.at("Name"), "Orvanta");
        EXPECT_EQ(action.at("Exec"), "\"/opt/my apps/orvanta\" %f");
    }
}

TEST(FileManagerEntry, RemoveDeletesOnlyWhatTheProgramWrote) {
    ScopedHome home;
    const ShellIntegration shell(placesIn(home, "/opt/o/"));
    ASSERT_TRUE(shell.installFileManagerEntry());
    EXPECT_TRUE(shell.removeFileManagerEntry());
    EXPECT_FALSE(exists(shell.applicationEntryPath()));
    EXPECT_FALSE(exists(shell.serviceMenuPath()));
    EXPECT_FALSE(shell.removeFileManagerEntry()); // already gone

    // Someone else's entry of the same name is neither replaced nor deleted.
    std::filesystem::create_directories(home.dataHome() + "/applications");
    const std::string theirs = "[Desktop Entry]\nType=Application\nName=Theirs\nExec=theirs\n";
    std::ofstream(shell.applicationEntryPath()) << theirs;
    EXPECT_FALSE(shell.installFileManagerEntry());
    EXPECT_EQ(readAll(shell.applicationEntryPath()), theirs);
    EXPECT_TRUE(exists(shell.serviceMenuPath()));
    EXPECT_FALSE(shell.removeFileManagerEntry());
    EXPECT_EQ(readAll(shell.applicationEntryPath()), theirs);
    // The half that was ours is removed all the same, so no stray menu entry stays behind.
    EXPECT_FALSE(exists(shell.serviceMenuPath()));
}

// A program that moved: its entries are rewritten to start it from where it is now; nothing missing
// is made and no one else's file is touched.
TEST(FileManagerEntry, RefreshPointsOurEntriesAtTheProgramWhereItIsNow) {
    ScopedHome home;
    ASSERT_TRUE(ShellIntegration(placesIn(home, "/opt/old place/")).installFileManagerEntry());
    const ShellIntegration moved(placesIn(home, "/usr/bin/"));
    EXPECT_TRUE(moved.refreshFileManagerEntry());
    for (const std::string& path : {moved.applicationEntryPath(), moved.serviceMenuPath()}) {
        EXPECT_NE(readAll(path).find("Exec=\"/usr/bin/orvanta\" %f\n"), std::string::npos) << path;
        EXPECT_EQ(readAll(path).find("old place"), std::string::npos) << path;
    }
    EXPECT_EQ(readAll(moved.applicationEntryPath()), fileManagerEntryText(moved.places()));
    EXPECT_TRUE(executable(moved.serviceMenuPath()));
    EXPECT_TRUE(moved.removeFileManagerEntry()); // still ours

    // Gone files stay gone; someone else's file of that name stays as it is.
    EXPECT_TRUE(moved.refreshFileManagerEntry());
    EXPECT_FALSE(exists(moved.applicationEntryPath()));
    EXPECT_FALSE(exists(moved.serviceMenuPath()));
    std::filesystem::create_directories(home.dataHome() + "/applications");
    const std::string theirs = "[Desktop Entry]\nType=Application\nName=Theirs\nExec=theirs %f\n";
    std::ofstream(moved.applicationEntryPath()) << theirs;
    EXPECT_TRUE(moved.refreshFileManagerEntry());
    EXPECT_EQ(readAll(moved.applicationEntryPath()), theirs);
    EXPECT_FALSE(exists(moved.serviceMenuPath()));
}

struct ChoiceCase {
    const char* name;
    bool ticked;
    std::int16_t flag;
    bool installedBefore;
    std::int16_t flagAfter;
    bool installedAfter;
    const char* title; // the message shown, empty for none
};

class FileManagerChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(FileManagerChoice, InstallsOrRemovesOnlyOnAChangeAndSaysHowRemovalWent) {
    const ChoiceCase& c = GetParam();
    ScopedHome home;
    const ShellIntegration shell(placesIn(home, "/opt/o/"));
    if (c.installedBefore) {
        ASSERT_TRUE(shell.installFileManagerEntry());
    }
    RecordingPrompter prompter;
    EXPECT_EQ(applyFileManagerChoice(shell, c.ticked, c.flag, prompter), c.flagAfter);
    EXPECT_EQ(exists(shell.applicationEntryPath()), c.installedAfter);
    EXPECT_EQ(exists(shell.serviceMenuPath()), c.installedAfter);
    if (std::string(c.title).empty()) {
        EXPECT_TRUE(prompter.shown.empty());
    } else {
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].title, c.title);
        EXPECT_EQ(prompter.shown[0].icon, PromptIcon::Information);
        EXPECT_EQ(prompter.shown[0].text, std::string(c.title) == kEntryRemovedTitle ? kEntryRemovedText
                                                                                     : kEntryRemovalFailedText);
    }
    // Nothing but the two entries is ever written under the data folder.
    if (!c.installedAfter && !c.installedBefore) {
        EXPECT_FALSE(exists(home.dataHome() + "/applications"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileManagerChoice,
    ::testing::Values(
        ChoiceCase{"NewlyTickedInstalls", true, 0, false, 1, true, ""},
        ChoiceCase{"TickedWhenAlreadyOnWritesNothing", true, 1, false, 1, false, ""},
        ChoiceCase{"NewlyClearedRemoves", false, 1, true, 0, false, kEntryRemovedTitle},
        ChoiceCase{"ClearedWhenAlreadyGoneSaysMaybeRemoved", false, 1, false, 0, false, kEntryRemovalFailedTitle},
        ChoiceCase{"ClearedWhenAlreadyOffTouchesNothing", false, 0, true, 0, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
