// Private-profile semantics, the preference reading rule and the recent-file list.
#include "settings/profile_file.h"
#include "base/runtime_error.h"
#include "settings/project_file.h"
#include "settings/recent_files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv;

namespace {

class Profile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString() + "/orvanta.ini"; }
    void put(const std::string& text) { std::ofstream(path(), std::ios::binary) << text; }
    std::string text() const {
        std::ifstream in(path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

} // namespace

TEST_F(Profile, AMissingFileSectionOrKeyGivesTheDefault) {
    ProfileFile f(path());
    EXPECT_EQ(f.read("preferences", "Increment", "0"), "0");
    EXPECT_EQ(readProfileText(f, "preferences", "filename"), "0");
    put("[other]\r\nIncrement=30\r\n");
    EXPECT_EQ(readProfileNumber(f, "preferences", "Increment"), 0);
}

TEST_F(Profile, NamesMatchCaseBlindBlanksAreTrimmedAndTheFirstKeyWins) {
    put("junk line\n[Preferences]\n  increment  =  25 \nINCREMENT=99\nno equals here\n"
        "autoSmooth=1\n[project]\nIncrement=7\n");
    ProfileFile f(path());
    EXPECT_EQ(f.read("PREFERENCES", "Increment", "0"), "25");
    EXPECT_EQ(f.read("preferences", "AUTOSMOOTH", "0"), "1");
    EXPECT_EQ(f.read("project", "increment", "0"), "7");
    EXPECT_EQ(readProfileNumber(f, "preferences", "Increment"), 25);
}

TEST_F(Profile, WritingReplacesTheLineInPlaceOrAppendsToItsSection) {
    put("[preferences]\r\nA=1\r\nB=2\r\n\r\n[project]\r\nC=3\r\n");
    ProfileFile f(path());
    f.write("Preferences", "a", "10");
    f.write("preferences", "D", "4");
    f.write("new", "E", "5");
    EXPECT_EQ(text(), "[preferences]\r\nA=10\r\nB=2\r\nD=4\r\n\r\n[project]\r\nC=3\r\n\r\n[new]\r\nE=5\r\n");
    EXPECT_EQ(f.read("new", "e", ""), "5");
}

// A file saved by an editor that starts UTF-8 with a byte-order mark keeps its first section: its
// keys are read, and a write changes them there instead of adding a second section.
TEST_F(Profile, AByteOrderMarkBeforeTheFirstSectionIsNoPartOfIt) {
    put("\xEF\xBB\xBF[preferences]\r\nIncrement=25\r\n");
    ProfileFile f(path());
    EXPECT_EQ(f.read("preferences", "Increment", "0"), "25");
    f.write("preferences", "Increment", "30");
    EXPECT_EQ(text(), "[preferences]\r\nIncrement=30\r\n");
}

TEST_F(Profile, AValueWrittenAgainLeavesTheFileAsItIs) {
    put("[preferences]\r\nA=1\r\nB=2\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(path().c_str(), &before), 0);
    ProfileFile f(path());
    // Written as it stands: the same file (an atomic replacement would be a new one).
    f.write("preferences", "A", "1");
    struct stat after {};
    ASSERT_EQ(::stat(path().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(text(), "[preferences]\r\nA=1\r\nB=2\r\n");
    // The same value in a file that would come out otherwise (other line ends) is written.
    put("[preferences]\nA=1\n");
    f.write("preferences", "A", "1");
    EXPECT_EQ(text(), "[preferences]\r\nA=1\r\n");
    f.write("preferences", "A", "2");
    EXPECT_EQ(f.read("preferences", "A", ""), "2");
}

TEST_F(Profile, AFailedWriteLeavesTheOldFileAndIsReported) {
    put("[preferences]\r\nA=1\r\n");
    ProfileFile bad(dir.path().toStdString() + "/missing-folder/orvanta.ini");
    EXPECT_FALSE(bad.tryWrite("preferences", "A", "2"));
    ::chmod(dir.path().toStdString().c_str(), 0500);
    ProfileFile f(path());
    const bool wrote = f.tryWrite("preferences", "A", "2");
    ::chmod(dir.path().toStdString().c_str(), 0700);
    if (::geteuid() != 0) {
        EXPECT_FALSE(wrote); // root writes anyway
    }
    if (!wrote) {
        EXPECT_EQ(text(), "[preferences]\r\nA=1\r\n");
    }
}

// Preferences that cannot be written are told once for the whole run, whichever key and whichever
// copy of the file object failed first; a write whose caller hears of the failure itself, a write
// that succeeds and a silenced notice tell nothing.
TEST_F(Profile, WritesThatFailAreToldOnceForTheFileAndEveryCopy) {
    ProfileFile bad(dir.path().toStdString() + "/missing-folder/orvanta.ini");
    ProfileFile copy = bad;
    std::vector<int> told;
    bad.setWriteFailureNotice([&](const RuntimeError& e) { told.push_back(e.number()); });
    EXPECT_THROW(bad.write("preferences", "A", "1"), RuntimeError);
    EXPECT_TRUE(told.empty());
    EXPECT_FALSE(copy.tryWrite("preferences", "recent file 0", "/pics/a01.bmp"));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0], 0);
    EXPECT_FALSE(bad.tryWrite("preferences", "recent file 1", "/pics/b01.bmp"));
    EXPECT_THROW(bad.update("preferences", "B", [](const auto&) { return std::optional<std::string>("2"); }),
                 RuntimeError);
    EXPECT_EQ(told.size(), 1u);

    ProfileFile silenced(dir.path().toStdString() + "/missing-folder/other.ini");
    silenced.setWriteFailureNotice([&](const RuntimeError& e) { told.push_back(e.number()); });
    silenced.silenceWriteFailureNotice();
    EXPECT_TRUE(ProfileFile(silenced).writeFailureNoticeSilenced());
    EXPECT_FALSE(silenced.tryWrite("preferences", "A", "1"));
    EXPECT_EQ(told.size(), 1u);

    ProfileFile good(path());
    good.setWriteFailureNotice([&](const RuntimeError& e) { told.push_back(e.number()); });
    EXPECT_TRUE(good.tryWrite("preferences", "A", "1"));
    good.update("preferences", "A", [](const auto&) { return std::optional<std::string>("2"); });
    EXPECT_EQ(told.size(), 1u);
    EXPECT_FALSE(good.writeFailureNoticeSilenced());
}

// A preferences file its user may write but not read (left write-only, or written by another
// user into a folder this one owns) reads as all defaults; a write then replaced it with a file
// holding only the one key written, and every other preference was lost. It is left alone.
TEST_F(Profile, AFileThatCannotBeReadIsNotReplacedByOneKey) {
    const std::string kept = "[preferences]\r\nMontage method=3\r\nrecent file 0=/pics/a01.bmp\r\n";
    put(kept);
    ASSERT_EQ(::chmod(path().c_str(), 0222), 0);
    ASSERT_EQ(::chmod(dir.path().toStdString().c_str(), 0777), 0);
    // Root reads every file: the write is then made as another user who owns the file and may
    // write it but not read it.
    const auto writeOnce = [&] {
        ProfileFile f(path());
        return f.tryWrite("preferences", "filename", "/pics/b01.bmp");
    };
    bool wrote = false;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path().c_str(), 65534, 65534), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
            ::_exit(writeOnce() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 3);
        wrote = WEXITSTATUS(status) == 0;
    } else {
        wrote = writeOnce();
    }
    ::chmod(path().c_str(), 0600);
    ::chmod(dir.path().toStdString().c_str(), 0700);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(text(), kept);
}

// Two copies of the program writing the file at the same moment: each write reads the file, changes
// one key and puts the whole file back, so without taking turns one copy's key was lost under the
// other's write.
TEST_F(Profile, WritesOfTwoCopiesOfTheProgramAtOnceKeepEveryKey) {
    put("[preferences]\r\nMontage method=3\r\n");
    constexpr int kKeys = 15;
    std::vector<pid_t> children;
    for (const char* who : {"a", "b"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ProfileFile f(path());
            bool ok = true;
            for (int i = 0; i < kKeys; ++i) ok = f.tryWrite("preferences", who + std::to_string(i), "1") && ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ProfileFile f(path());
    int missing = 0;
    for (const char* who : {"a", "b"})
        for (int i = 0; i < kKeys; ++i) missing += f.read("preferences", who + std::to_string(i), "") != "1";
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(f.read("preferences", "Montage method", ""), "3");
}

TEST_F(Profile, ReadingCutsAtTheFirstNulAndConvertsTheLeadingNumber) {
    put(std::string("[preferences]\r\nIncrement=30abc\r\nfilename=/a/b1.bmp\0junk\r\n", 57));
    ProfileFile f(path());
    EXPECT_EQ(readProfileNumber(f, "preferences", "Increment"), 30);
    EXPECT_EQ(readProfileText(f, "preferences", "filename"), "/a/b1.bmp");
    EXPECT_EQ(readProfileNumber(f, "preferences", "filename"), 0);
}

TEST_F(Profile, RecentListMovesANameToTheTopAndDropsTheTwelfth) {
    ProfileFile f(path());
    RecentFiles r;
    r.load(f);
    EXPECT_EQ(r.caption(0), "");
    for (int i = 11; i >= 0; --i) r.add("/s/n" + std::to_string(i) + ".bmp", f);
    EXPECT_EQ(r.caption(0), "/s/n0.bmp");
    EXPECT_EQ(r.caption(11), "/s/n11.bmp");
    r.add("/s/n5.bmp", f); // entry 5 moves to 0, 0-4 shift down, 6-11 stay
    EXPECT_EQ(r.caption(0), "/s/n5.bmp");
    EXPECT_EQ(r.caption(1), "/s/n0.bmp");
    EXPECT_EQ(r.caption(5), "/s/n4.bmp");
    EXPECT_EQ(r.caption(6), "/s/n6.bmp");
    r.add("/s/new.bmp", f);
    EXPECT_EQ(r.caption(11), "/s/n10.bmp"); // n11 dropped
    RecentFiles again;
    again.load(f);
    EXPECT_EQ(again.captions(), r.captions());
    r.blank("/s/n0.bmp", f);
    again.load(f);
    EXPECT_EQ(again.caption(2), "");
    EXPECT_EQ(f.read("preferences", "recent file 2", "x"), "");
}

// Two copies of the program share one preferences file: each adds what it opens, and neither may
// write its own older list over the entries the other added meanwhile.
TEST_F(Profile, RecentListKeepsWhatAnotherCopyOfTheProgramAddedMeanwhile) {
    ProfileFile first(path()), second(path());
    RecentFiles a, b;
    a.load(first);
    b.load(second);
    a.add("/s/a1.bmp", first);
    b.add("/s/b1.bmp", second);
    a.add("/s/a2.bmp", first);
    b.blank("/s/a1.bmp", second);
    a.add("/s/b1.bmp", first); // already listed by the other copy: moved up, not repeated
    RecentFiles again;
    again.load(ProfileFile(path()));
    EXPECT_EQ(again.caption(0), "/s/b1.bmp");
    EXPECT_EQ(again.caption(1), "/s/a2.bmp");
    EXPECT_EQ(again.caption(2), "");
    EXPECT_EQ(again.caption(3), "");
    EXPECT_EQ(a.captions(), again.captions());
}

// A series typed as "./a01.bmp" (given the program folder in front) or with a doubled "/" is the
// same series as the one listed: it moves up under the new spelling, not listed twice.
TEST_F(Profile, RecentListHoldsOneEntryForOneFileSpelledInSeveralWays) {
    ProfileFile f(path());
    RecentFiles r;
    r.add("/s/a01.bmp", f);
    r.add("/s/b01.bmp", f);
    r.add("/s/./a01.bmp", f);
    r.add("project /s//rock", f);
    r.add("/s//a01.bmp", f);
    r.add("project /s/rock", f);
    RecentFiles again;
    again.load(f);
    EXPECT_EQ(again.caption(0), "project /s/rock");
    EXPECT_EQ(again.caption(1), "/s//a01.bmp");
    EXPECT_EQ(again.caption(2), "/s/b01.bmp");
    EXPECT_EQ(again.caption(3), "");
    r.add("/s/a01.bmpx", f); // another file, even when it only differs at the end
    EXPECT_EQ(r.caption(0), "/s/a01.bmpx");
    EXPECT_EQ(r.caption(2), "/s//a01.bmp");
}

// While the file cannot be written (a folder stands in its place), the list goes on in memory.
TEST_F(Profile, RecentListThatCannotBeWrittenStillGrowsInMemory) {
    ASSERT_EQ(::mkdir(path().c_str(), 0755), 0);
    ProfileFile f(path());
    RecentFiles r;
    r.load(f);
    for (const char* name : {"/s/1.bmp", "/s/2.bmp", "/s/3.bmp"}) r.add(name, f);
    EXPECT_EQ(r.caption(0), "/s/3.bmp");
    EXPECT_EQ(r.caption(2), "/s/1.bmp");
}

// A name with a line end would end its value and start a line of its own (even a section or a key
// of its own); it is stored encoded and read back whole, as is one that is not UTF-8.
TEST_F(Profile, RecentNamesWithLineEndsOrBadBytesComeBackWholeAndAddNoKeys) {
    ProfileFile f(path());
    RecentFiles r;
    const std::string injected = "/p/x\r\n[preferences]\r\nshortcut=1\r\n/a01.bmp";
    const std::string latin = "/p/caf\xe9/a01.bmp";
    const std::string twoLines = "/p/two\nlines/a01.bmp";
    for (const std::string& name : {injected, latin, twoLines}) r.add(name, f);
    RecentFiles again;
    again.load(f);
    EXPECT_EQ(again.caption(0), twoLines);
    EXPECT_EQ(again.caption(1), latin);
    EXPECT_EQ(again.caption(2), injected);
    EXPECT_EQ(f.read("preferences", "shortcut", "none"), "none");
    EXPECT_EQ(text().find("\n/a01.bmp"), std::string::npos);
    r.blank(twoLines, f);
    again.load(f);
    EXPECT_EQ(again.caption(0), "");
    EXPECT_EQ(again.caption(1), latin);
}

// A project saved as "/p/rock .mon" is listed as "project /p/rock ": read back trimmed, the entry
// would open /p/rock.mon, another project or none.
TEST_F(Profile, RecentNamesEndingInABlankComeBackWhole) {
    ProfileFile f(path());
    RecentFiles r;
    const std::string project = "project /p/rock ";
    const std::string tabbed = "\t/p/a01.bmp\t";
    r.add(project, f);
    r.add(tabbed, f);
    RecentFiles again;
    again.load(f);
    EXPECT_EQ(again.caption(0), tabbed);
    EXPECT_EQ(again.caption(1), project);
    EXPECT_EQ(projectFromRecentEntry(again.caption(1)), "/p/rock .mon");
}

TEST(ProfileNames, AreStoredAsTheyAreUnlessTheyHoldALineEnd) {
    EXPECT_EQ(profileNameValue("/p/caf\xe9/a 01.bmp"), "/p/caf\xe9/a 01.bmp");
    EXPECT_EQ(profileNameValue("/p/two\nlines.bmp"), "file:///p/two%0Alines.bmp");
    EXPECT_EQ(profileNameValue("/p/rock "), "file:///p/rock%20");
    for (const std::string& name : {std::string("/p/a\r\nb%20c\xff"), std::string("project /p/x\ny")})
        EXPECT_EQ(nameOfProfileValue(profileNameValue(name)), name);
}
