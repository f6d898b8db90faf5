// orvanta-cli finds an output it cannot write before it reads the series: a missing or closed
// folder stops the run at once, said as the writing says it, with nothing written.
#include "cli_folder.h"
#include "raw_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace orv;
using namespace orv::test;
namespace fs = std::filesystem;

namespace {

class EarlyOutputs : public CliFolderTest {
protected:
    void SetUp() override {
        CliFolderTest::SetUp();
        series("s", 3);
        // A damaged second picture: a run that reads the series before it checks its outputs
        // says so, and says nothing of the output.
        std::ofstream(path("s02.bmp"), std::ios::binary) << "BM not a picture";
        std::ofstream(path("file"), std::ios::binary) << "a file, not a folder";
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    static int shell(const std::string& line) { return std::system(line.c_str()); }
    // The prefix that runs a command as another user (root may write anything), or a reason to
    // skip; the test's folder and its series opened to that user.
    std::string asAnotherUser(std::string& skip) {
        const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        if (!as.empty() && shell("command -v setpriv > /dev/null") != 0) skip = "setpriv is not installed";
        else if (!as.empty() && shell(as + "test -x '" + cli() + "'") != 0) skip = "the program's folders are closed to other users";
        EXPECT_EQ(::chmod(dir.c_str(), 0755), 0);
        for (const char* f : {"s01.bmp", "s02.bmp", "s03.bmp"}) ::chmod(path(f).c_str(), 0644);
        return as;
    }
    // orvanta-cli run through `as` with OPTIONS and FIRST: its exit status and standard error.
    std::pair<int, std::string> runAs(const std::string& as, const std::string& options, const std::string& first) {
        // Beside the test's folder, in /tmp, which every user may write in.
        const std::string err = dir + "-err";
        const int status = shell(as + "'" + cli() + "' -q " + options + " '" + first + "' > /dev/null 2> '" + err + "'");
        const std::string said = text(err);
        fs::remove(err);
        return {WEXITSTATUS(status), said};
    }
};

struct Unwritable {
    const char* name;
    std::vector<std::string> args; // "@" before a name puts the test's folder there
    const char* said;              // the file named in the message, under the test's folder
};

class EarlyUnwritableOutput : public EarlyOutputs, public ::testing::WithParamInterface<Unwritable> {};

TEST_P(EarlyUnwritableOutput, StopsBeforeThePicturesAreReadAndWritesNothing) {
    const std::vector<std::string> before = names();
    for (const char* method : {"0", "pyramid"}) {
        std::vector<std::string> args{"-m", method};
        for (const std::string& a : GetParam().args) args.push_back(a[0] == '@' ? path(a.substr(1)) : a);
        args.push_back(path("s01.bmp"));
        const RawResult r = run(args);
        EXPECT_EQ(r.exitCode, 1) << method;
        EXPECT_EQ(r.err, "orvanta-cli: cannot write " + path(GetParam().said) + ": Path/File access error\n") << method;
        // A comparison's scores are not said for a run whose picture cannot be written.
        EXPECT_EQ(r.out, "") << method;
        EXPECT_EQ(names(), before) << method;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, EarlyUnwritableOutput,
    ::testing::Values(
        Unwritable{"Picture", {"-o", "@missing/m.bmp"}, "missing/m.bmp"},
        Unwritable{"PictureUnderAFile", {"-o", "@file/m.tif"}, "file/m.tif"},
        Unwritable{"PictureOfAComparison", {"--evaluate", "increments", "-o", "@missing/m.png"}, "missing/m.png"},
        Unwritable{"Map", {"-o", "@m.bmp", "--map", "@missing/map.txt"}, "missing/map.txt"},
        Unwritable{"DepthMap", {"-o", "@m.bmp", "--depth-map", "@missing/d.png"}, "missing/d.png"},
        Unwritable{"Report", {"-o", "@m.bmp", "--report", "@missing/r.txt"}, "missing/r.txt"},
        // The project's picture is written first, and named.
        Unwritable{"Project", {"-o", "@m.bmp", "--save-project", "@missing/p"}, "missing/p.vrk"},
        // Of several, the first the run would write.
        Unwritable{"FirstOfSeveral", {"-o", "@m.bmp", "--report", "@gone/r.txt", "--map", "@missing/map.txt"},
                   "missing/map.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// A folder the user may not write in (a memory card mounted read-only, another user's folder):
// the default picture beside the series, and a named output, are refused before the series is
// read; a missing series is still said to be missing.
TEST_F(EarlyOutputs, AFolderClosedToTheUserIsRefusedBeforeTheSeriesIsRead) {
    std::string skip;
    const std::string as = asAnotherUser(skip);
    if (!skip.empty()) GTEST_SKIP() << skip;
    const std::vector<std::string> before = names();
    const std::string beside = dir + "-";
    for (const char* method : {"0", "pyramid"}) {
        const std::string m = std::string("-m ") + method;
        auto [status, err] = runAs(as, m, path("s01.bmp"));
        EXPECT_EQ(status, 1) << method;
        EXPECT_EQ(err, "orvanta-cli: cannot write " + path("s01 montage.bmp") + ": Permission denied\n") << method;
        std::tie(status, err) = runAs(as, m + " -o '" + beside + "m.bmp' --map '" + path("map.txt") + "'", path("s01.bmp"));
        EXPECT_EQ(status, 1) << method;
        EXPECT_EQ(err, "orvanta-cli: cannot write " + path("map.txt") + ": Permission denied\n") << method;
        EXPECT_FALSE(fs::exists(beside + "m.bmp")) << method;
        // No series: the default picture is not checked, and the missing first file is said.
        std::tie(status, err) = runAs(as, m, path("x01.bmp"));
        EXPECT_EQ(status, 1) << method;
        EXPECT_EQ(err.find("cannot write"), std::string::npos) << err;
        EXPECT_NE(err.find(path("x01.bmp")), std::string::npos) << err;
    }
    EXPECT_EQ(names(), before);
}

// Another user's file in a sticky folder such as /tmp may not be replaced however open its mode:
// refused before the series is read, said as the final rename would say it, and left as it was.
TEST_F(EarlyOutputs, AnotherUsersFileInAStickyFolderIsRefusedBeforeTheSeriesIsRead) {
    std::string skip;
    const std::string as = asAnotherUser(skip);
    if (as.empty()) GTEST_SKIP() << "files of other users are made as root";
    if (!skip.empty()) GTEST_SKIP() << skip;
    ASSERT_EQ(::mkdir(path("sticky").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(path("sticky").c_str(), 01777), 0);
    for (const char* name : {"sticky/theirs.bmp", "sticky/theirs.mon"}) {
        put(path(name), "their file");
        ASSERT_EQ(::chmod(path(name).c_str(), 0666), 0);
        ASSERT_EQ(::chown(path(name).c_str(), 65533, 65533), 0);
    }
    const std::string mine = dir + "-m.bmp";
    for (const char* method : {"0", "pyramid"}) {
        const std::string m = std::string("-m ") + method;
        auto [status, err] = runAs(as, m + " -o '" + path("sticky/theirs.bmp") + "'", path("s01.bmp"));
        EXPECT_EQ(status, 1) << method;
        EXPECT_EQ(err, "orvanta-cli: cannot write " + path("sticky/theirs.bmp") + ": Permission denied\n") << method;
        // The project's picture is new; its text is the other user's file.
        std::tie(status, err) =
            runAs(as, m + " -o '" + mine + "' --save-project '" + path("sticky/theirs.mon") + "'", path("s01.bmp"));
        EXPECT_EQ(status, 1) << method;
        EXPECT_EQ(err, "orvanta-cli: cannot write " + path("sticky/theirs.mon") + ": Permission denied\n") << method;
        EXPECT_FALSE(fs::exists(mine)) << method;
    }
    EXPECT_EQ(text(path("sticky/theirs.bmp")), "their file");
    EXPECT_EQ(text(path("sticky/theirs.mon")), "their file");
    EXPECT_FALSE(fs::exists(path("sticky/theirs.vrk")));
}

// A file name longer than its folder takes, or a whole path longer than the system takes, is
// refused before the series is read, said as the final rename would say it.
TEST_F(EarlyOutputs, NamesTooLongAreRefusedBeforeTheSeriesIsRead) {
    const std::vector<std::string> before = names();
    const std::string longName = path(std::string(300, 'm') + ".bmp");
    // "./" steps make a long path to a folder that is there.
    std::string deep = dir;
    while (deep.size() < PATH_MAX - 100) deep += "/.";
    const std::string longPath = deep + "/" + std::string(200, 'p') + ".bmp";
    const std::string pathNote = ", a name of " + std::to_string(longPath.size()) +
                                 " bytes; the system takes no file by a name longer than " + std::to_string(PATH_MAX - 1) +
                                 " bytes: run from a folder nearer the root, or give a shorter path";
    for (const char* method : {"0", "pyramid"}) {
        RawResult r = run({"-m", method, "-o", longName, path("s01.bmp")});
        EXPECT_EQ(r.exitCode, 1) << method;
        EXPECT_EQ(r.err, "orvanta-cli: cannot write " + longName +
                             ": Path/File access error, a file name of 304 bytes; its folder takes no file name longer "
                             "than 255 bytes: give a shorter name\n")
            << method;
        r = run({"-m", method, "-o", path("m.bmp"), "--depth-map", longPath, path("s01.bmp")});
        EXPECT_EQ(r.exitCode, 1) << method;
        EXPECT_EQ(r.err, "orvanta-cli: cannot write " + longPath + ": Path/File access error" + pathNote + "\n") << method;
    }
    EXPECT_EQ(names(), before);
}

} // namespace
