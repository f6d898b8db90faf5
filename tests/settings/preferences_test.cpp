// The smoothing preferences: the reset values a file without the smoothing keys starts with, the
// sensitivities the dialog shows and the keys it stores, and where an installed copy keeps its file.
#include "settings/preferences.h"
#include "settings/recovery.h"
#include "base/runtime_error.h"
#include "support/scoped_home.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <pwd.h>
#include <unistd.h>
#include <fstream>
#include <algorithm>
#include <thread>

using namespace orv;
using namespace orv::testing;

namespace {

struct AbsentCase {
    const char* name;
    const char* lines; // the [preferences] section's lines
    SmoothingPreferences expected;
};

class SmoothingKeys : public ::testing::TestWithParam<AbsentCase> {};

TEST_P(SmoothingKeys, AbsentKeysStartAtTheResetValuesAndPresentOnesReadAsAlways) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("orvanta.ini").toStdString();
    std::ofstream(path) << "[preferences]\r\n" << GetParam().lines;
    const SmoothingPreferences s = readStartupPreferences(ProfileFile(path)).smoothing;
    const SmoothingPreferences& e = GetParam().expected;
    EXPECT_EQ(s.autoSmooth, e.autoSmooth);
    EXPECT_FLOAT_EQ(s.edgeFactor, e.edgeFactor);
    EXPECT_FLOAT_EQ(s.focusFactor, e.focusFactor);
    EXPECT_EQ(s.diffFactor, e.diffFactor);
    EXPECT_FLOAT_EQ(s.edgeFactor2, e.edgeFactor2);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SmoothingKeys,
    ::testing::Values(
        AbsentCase{"NoSmoothingKeys", "Increment=20\r\n", {0, 0.1f, 0.1f, 100, 4.0f}},
        AbsentCase{"AutoSmoothAloneStaysAsWritten", "autoSmooth=1\r\n", {1, 0.1f, 0.1f, 100, 4.0f}},
        AbsentCase{"PresentZerosStayZero", "edgeFactor=0\r\nfocusFactor=0\r\ndiffFactor=0\r\nedgefactor2=0\r\n",
                   {0, 0, 0, 0, 0}},
        AbsentCase{"PresentButEmptyOrTextReadsZero", "edgeFactor=\r\nfocusFactor=abc\r\n", {0, 0, 0, 100, 4.0f}},
        AbsentCase{"KeysMatchCaseBlind", "EDGEFACTOR=20\r\nDiffFactor=50\r\n", {0, 0.2f, 0.1f, 50, 4.0f}},
        AbsentCase{"SomePresent", "focusFactor=25\r\nedgefactor2=30\r\n", {0, 0.1f, 0.25f, 100, 3.0f}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- sensitivities ------------------------------------------------------------------------------

struct TypedCase {
    const char* name;
    std::array<double, 4> typed;
    std::array<long long, 4> keys;
};

class TypedSensitivities : public ::testing::TestWithParam<TypedCase> {};

TEST_P(TypedSensitivities, StoreTheWholePartTowardsMinusInfinity) {
    EXPECT_EQ(smoothingKeyValues(smoothingFromSensitivities(GetParam().typed, {})), GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TypedSensitivities,
    ::testing::Values(TypedCase{"Ends", {1, 1, 1, 1}, {99, 1, 100, 99}},
                      TypedCase{"Tops", {100, 100, 100, 100}, {0, 100, 10000, 0}},
                      // Beyond 100 the factors turn negative and round down, not towards zero.
                      TypedCase{"BeyondTheBar", {150, 0, 0, 101}, {-50, 0, 0, -1}},
                      TypedCase{"Fractions", {12.5, 33.3, 1.5, 55.5}, {87, 33, 150, 44}},
                      TypedCase{"DifferenceRoundsHalfToEven", {50, 50, 0.125, 50}, {50, 50, 12, 50}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Sensitivities, ADifferenceBeyond16BitsIsOverflow) {
    try {
        smoothingFromSensitivities({90, 10, 400, 60}, {});
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_NO_THROW(smoothingFromSensitivities({90, 10, 327.67, 60}, {}));
}

// Opening the dialog and pressing OK must store what was read, for every whole key value the
// dialog's own range produces.
TEST(Sensitivities, ShownAndStoredAgainEveryKeyValueComesBackUnchanged) {
    for (int k = 0; k <= 100; ++k) {
        SmoothingPreferences s;
        s.edgeFactor = float(k / 100.0);
        s.focusFactor = float(k / 100.0);
        s.diffFactor = std::int16_t(k * 100);
        s.edgeFactor2 = float(k / 10.0);
        const auto keys = smoothingKeyValues(smoothingFromSensitivities(smoothingSensitivities(s), s));
        EXPECT_EQ(keys, (std::array<long long, 4>{k, k, k * 100, k})) << "key value " << k;
    }
}

// --- where the file lives -------------------------------------------------------------------------

TEST(PreferencesPath, AnInstalledCopyKeepsItsFileInTheConfigFolderEvenWhenItCouldWriteBesideItself) {
    ScopedHome home;
    const std::string prefix = home.home() + "/usr";
    std::filesystem::create_directories(prefix + "/bin");
    EXPECT_FALSE(isInstalledCopy(prefix + "/bin/"));
    EXPECT_EQ(preferencesPath(prefix + "/bin/"), prefix + "/bin/orvanta.ini");
    std::filesystem::create_directories(prefix + "/share/orvanta/help");
    EXPECT_TRUE(isInstalledCopy(prefix + "/bin/"));
    EXPECT_EQ(preferencesPath(prefix + "/bin/"), home.config() + "/orvanta/orvanta.ini");
    EXPECT_TRUE(QDir(QString::fromStdString(home.config() + "/orvanta")).exists());
}

// With ~/.config a file, the preferences folder cannot be made: the reason is the system's, and
// it is what every write would fail with. A folder that is there gives the write's own error.
TEST(PreferencesPath, AFolderThatCannotBeMadeSaysWhyTheFileCannotBeWritten) {
    ScopedHome home;
    std::ofstream(home.config()) << "not a folder";
    const std::string path = preferencesPath("");
    EXPECT_EQ(path, home.config() + "/orvanta/orvanta.ini");
    EXPECT_EQ(preferencesFolderMissing(path), std::optional<std::string>("Not a directory"));
    EXPECT_EQ(preferencesWriteFailure(path, RuntimeError(75)), "Not a directory");
    EXPECT_EQ(preferencesFolderMissing(home.home() + "/gone/orvanta.ini"),
              std::optional<std::string>("No such file or directory"));

    const std::string beside = home.home() + "/orvanta.ini";
    EXPECT_EQ(preferencesFolderMissing(beside), std::nullopt);
    EXPECT_EQ(preferencesWriteFailure(beside, RuntimeError(61)), "Disk full");
    EXPECT_EQ(preferencesNotKeptText(path, "Not a directory"),
              "I could not keep your preferences in " + path +
                  " (Not a directory).   Orvanta goes on with the settings it has now, but what you change from now "
                  "on and the files you open are not kept when it closes.");
}

} // namespace

// A state folder that cannot be made keeps no montage at an end, and says why, naming the folder;
// the note of it is kept in the preferences and said once at the next start, one for each copy of
// the program that ended so.
TEST(RecoveryFolder, AMontageThatCouldNotBeKeptIsNotedForTheNextStartOnce) {
    ScopedHome home;
    std::ofstream(home.home() + "/state") << "not a folder";
    std::string why;
    EXPECT_FALSE(makePrivateRecoveryFolder(recoveryFolder(), &why));
    EXPECT_EQ(why, home.home() + "/state/orvanta: Not a directory");
    EXPECT_EQ(recoveryFailure("/", "Disk full"), "/: Disk full");

    const std::string path = home.home() + "/orvanta.ini";
    ProfileFile first(path), second(path);
    noteUnkeptMontage(first, why);
    noteUnkeptMontage(second, "/x/state/orvanta: Disk full");
    EXPECT_EQ(ProfileFile(path).read(kPreferencesSection, kUnkeptMontageKey, ""), why);
    ProfileFile next(path);
    EXPECT_EQ(takeUnkeptMontageNotes(next), (std::vector<std::string>{why, "/x/state/orvanta: Disk full"}));
    EXPECT_TRUE(takeUnkeptMontageNotes(next).empty());
    // Notes and kept projects are named apart: neither is taken as the other.
    EXPECT_TRUE(takeRecoveredProjects(next).empty());
    EXPECT_EQ(unkeptMontageText(why), "Orvanta was ended before the montage was saved, and the montage could not "
                                      "be kept (" + why + ").   It is lost.");
}

// The folder an unsaved montage is kept in when the program is told to end: without HOME it is
// the account's own home folder, never the shared /tmp where another user could read the montage
// or leave a project of theirs to be offered.
TEST(RecoveryFolder, WithoutHomeIsTheAccountsOwnStateFolder) {
    ScopedHome home;
    EXPECT_EQ(recoveryFolder(), home.home() + "/state/orvanta/");
    ScopedHome::unset("XDG_STATE_HOME");
    EXPECT_EQ(recoveryFolder(), home.home() + "/.local/state/orvanta/");
    ScopedHome::unset("HOME");
    const passwd* account = ::getpwuid(::geteuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(recoveryFolder(), std::string(account->pw_dir) + "/.local/state/orvanta/");
}

// Two copies of the program ended in the same second (a logout ends them all) are given two
// names, each taken at once, and never one to write both montages to.
TEST(RecoveryFolder, ProjectNamesAskedForInTheSameSecondDiffer) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    const std::time_t when = 1765243800;
    const std::string first = recoveryProjectName(folder, when);
    const std::string second = recoveryProjectName(folder, when);
    EXPECT_NE(first, second);
    EXPECT_TRUE(std::filesystem::is_regular_file(first));
    EXPECT_EQ(second.substr(0, second.size() - 6), first.substr(0, first.size() - 4));
    EXPECT_EQ(second.substr(second.size() - 6), " 2.mon");
}

// Copies of the program ended together (a logout ends them all) each name their kept project for
// the next start, none writing over another's, the first in the key a copy of the program before
// this one reads; the next start takes each once, and a key emptied by taking is named again.
TEST(RecoveryFolder, EveryCopyEndedTogetherNamesItsProjectAndEachIsTakenOnce) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("orvanta.ini").toStdString();
    ProfileFile first(path), second(path);
    // Both copies read the preferences long before they end.
    EXPECT_EQ(first.read(kPreferencesSection, kRecoveredProjectKey, ""), "");
    EXPECT_EQ(second.read(kPreferencesSection, kRecoveredProjectKey, ""), "");
    EXPECT_TRUE(rememberRecoveredProject(first, "/state/a.mon"));
    EXPECT_TRUE(rememberRecoveredProject(second, "/state/b\nc.mon"));
    EXPECT_EQ(ProfileFile(path).read(kPreferencesSection, kRecoveredProjectKey, ""), "/state/a.mon");

    ProfileFile next(path);
    EXPECT_EQ(takeRecoveredProjects(next), (std::vector<std::string>{"/state/a.mon", "/state/b\nc.mon"}));
    EXPECT_TRUE(takeRecoveredProjects(next).empty());
    EXPECT_EQ(next.read(kPreferencesSection, kRecoveredProjectKey, "x"), "");

    // A copy before this one offered only the first key and emptied it: the second is still named.
    EXPECT_TRUE(rememberRecoveredProject(first, "/state/d.mon"));
    EXPECT_TRUE(rememberRecoveredProject(second, "/state/e.mon"));
    next.write(kPreferencesSection, kRecoveredProjectKey, "");
    EXPECT_TRUE(rememberRecoveredProject(first, "/state/f.mon"));
    EXPECT_EQ(takeRecoveredProjects(next), (std::vector<std::string>{"/state/f.mon", "/state/e.mon"}));

    // Many copies at the very same moment: every project is named once.
    std::vector<std::thread> ending;
    for (int i = 0; i < 8; ++i)
        ending.emplace_back([&path, i] {
            ProfileFile copy(path);
            EXPECT_TRUE(rememberRecoveredProject(copy, "/state/" + std::to_string(i) + ".mon"));
        });
    for (std::thread& t : ending) t.join();
    std::vector<std::string> taken = takeRecoveredProjects(next);
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(taken, (std::vector<std::string>{"/state/0.mon", "/state/1.mon", "/state/2.mon", "/state/3.mon",
                                               "/state/4.mon", "/state/5.mon", "/state/6.mon", "/state/7.mon"}));
}

// Preferences that cannot be written (here a folder of that name) cannot name the montage kept at
// the end: it was left in the recovery folder and never offered again. It is named in a list there
// instead, offered once at the next start, and a project let go is no longer named there either.
TEST(RecoveryFolder, AProjectKeptWhileThePreferencesCannotBeWrittenIsStillOfferedOnce) {
    ScopedHome home;
    ASSERT_TRUE(makePrivateRecoveryFolder(recoveryFolder()));
    const std::string path = home.home() + "/orvanta.ini";
    std::filesystem::create_directory(path);
    ProfileFile ending(path);
    const std::string kept = recoveryFolder() + "unsaved montage 2026-12-09 01-30-00.mon";
    const std::string other = recoveryFolder() + "unsaved montage 2026-12-09 01-30-00 2.mon";
    EXPECT_TRUE(rememberRecoveredProject(ending, kept));
    EXPECT_TRUE(rememberRecoveredProject(ending, other));
    forgetRecoveredProject(ending, other);
    EXPECT_TRUE(std::filesystem::is_directory(path));

    ProfileFile next(path);
    EXPECT_EQ(takeRecoveredProjects(next), std::vector<std::string>{kept});
    EXPECT_TRUE(takeRecoveredProjects(next).empty());
}
