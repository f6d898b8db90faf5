// orvanta-cli and the series' own files: a picture of the series is never written over, not even
// through a redirected standard output; a gap in the numbering that hides later pictures is said;
// an option given twice with different values says which value it used.
#include "cli_folder.h"
#include "raw_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

using namespace orv;
using namespace orv::test;
namespace fs = std::filesystem;

namespace {

class SeriesPictures : public CliFolderTest {
protected:
    // orvanta-cli run by the shell in the test's folder with `options` and `redirections`: its
    // exit status and standard error.
    std::pair<int, std::string> runInShell(const std::string& options, const std::string& redirections) const {
        const std::string err = dir + "/err.txt";
        const int status = std::system(("cd '" + dir + "' && '" + cli() + "' -q " + options + " s01.bmp " +
                                        redirections + " 2> '" + err + "'")
                                           .c_str());
        std::string said = text(err);
        fs::remove(err);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, said};
    }
};

struct Redirected {
    const char* name;
    const char* options;
    const char* redirections;
    const char* picture; // the picture standard output is open on
    const char* said;
};

class RedirectedOntoASeriesPicture : public SeriesPictures, public ::testing::WithParamInterface<Redirected> {};

// Appended to, the picture would keep its bytes and get the montage or the report behind them: it
// is refused before anything is read or written, and the picture stays as it was.
TEST_P(RedirectedOntoASeriesPicture, IsAUsageErrorThatLeavesThePictureAlone) {
    series("s", 3);
    const Redirected& c = GetParam();
    const std::string before = text(path(c.picture));
    const auto [status, err] = runInShell(c.options, c.redirections);
    EXPECT_EQ(status, 2) << err;
    EXPECT_TRUE(contains(err, c.said)) << err;
    EXPECT_TRUE(contains(err, path(c.picture))) << err;
    EXPECT_EQ(text(path(c.picture)), before);
    EXPECT_FALSE(fs::exists(path("s01 montage.bmp")));
    EXPECT_FALSE(fs::exists(path("m.bmp")));
    // Standard output on another file is written as ever.
    put(path("log.txt"), "earlier\n");
    const auto [logged, said] = runInShell(c.options, ">> log.txt");
    EXPECT_EQ(logged, 0) << said;
    EXPECT_EQ(text(path("log.txt")).rfind("earlier\n", 0), 0u);
    EXPECT_GT(text(path("log.txt")).size(), 8u);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RedirectedOntoASeriesPicture,
    ::testing::Values(
        Redirected{"Picture", "-o - --format bmp", ">> s03.bmp", "s03.bmp",
                   "standard output, where --output goes, is picture 3 of the series"},
        Redirected{"Report", "", ">> s02.bmp", "s02.bmp",
                   "standard output, where the report goes, is picture 2 of the series"},
        Redirected{"Score", "-o m.bmp --report r.txt --score", ">> s01.bmp", "s01.bmp",
                   "standard output, where the score goes, is picture 1 of the series"},
        Redirected{"IgnoredPicture", "--ignore 2 -o - --format png", ">> s02.bmp", "s02.bmp",
                   "standard output, where --output goes, is picture 2 of the series"},
        Redirected{"ReportNamed", "-o m.bmp --report -", ">> s03.bmp", "s03.bmp",
                   "standard output, where --report goes, is picture 3 of the series"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RedirectedOutput {
    const char* name;
    const char* options;
    const char* file; // standard output is redirected onto it, and an option names it
    const char* said;
};

class RedirectedOntoAnOutput : public SeriesPictures, public ::testing::WithParamInterface<RedirectedOutput> {};

// Standard output redirected onto a file another output names: the file put in place would take
// the place of what went through standard output (or that would be written into the file put in
// place), and the run would end as if both were there. It is refused before anything is read.
TEST_P(RedirectedOntoAnOutput, IsAUsageErrorThatWritesNothing) {
    series("s", 3);
    const RedirectedOutput& c = GetParam();
    const auto [status, err] = runInShell(c.options, std::string("> ") + c.file);
    EXPECT_EQ(status, 2) << err;
    EXPECT_TRUE(contains(err, c.said)) << err;
    EXPECT_EQ(text(path(c.file)), ""); // as the shell left it
    for (const char* other : {"m.bmp", "m.txt", "d.png", "r.txt"}) {
        if (std::string(other) != c.file) {
            EXPECT_FALSE(fs::exists(path(other))) << other;
        }
    }
    // Onto another file, standard output takes its part as ever.
    const auto [logged, said] = runInShell(c.options, "> log.txt");
    EXPECT_EQ(logged, 0) << said;
    EXPECT_GT(text(path("log.txt")).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RedirectedOntoAnOutput,
    ::testing::Values(
        RedirectedOutput{"ReportOverTheMap", "-o m.bmp --map m.txt", "m.txt",
                         "standard output, where the report goes, is the file --map names (m.txt)"},
        RedirectedOutput{"ReportOverThePicture", "-o m.bmp", "m.bmp",
                         "standard output, where the report goes, is the file --output names (m.bmp)"},
        RedirectedOutput{"ScoreOverTheReport", "-o m.bmp --report r.txt --score", "r.txt",
                         "standard output, where the score goes, is the file --report names (r.txt)"},
        RedirectedOutput{"PictureOverTheDepthMap", "-o - --format bmp --depth-map d.png", "d.png",
                         "standard output, where --output goes, is the file --depth-map names (d.png)"}),
    [](const auto& info) { return std::string(info.param.name); });

// Past the end of the series, the pictures --ignore names and those after a gap in the numbering
// are the user's photographs all the same: no output replaces them.
TEST_F(SeriesPictures, PicturesPastTheEndOfTheSeriesAreNotReplaced) {
    series("s", 10);
    for (const char* n : {"s04.bmp", "s06.bmp", "s07.bmp", "s08.bmp", "s09.bmp"}) fs::remove(path(n));
    // s01-s03 are read; s05 lies after the gap, s10 is ignored, too far on to be taken for the
    // series' continuation.
    struct Case {
        std::vector<std::string> args;
        const char* picture;
        const char* said;
    };
    for (const Case& c : {Case{{"-o", "s05.bmp"}, "s05.bmp", "--output names picture 5 of the series"},
                          Case{{"-o", "m.bmp", "--ignore", "10", "--map", "./s10.bmp"}, "s10.bmp",
                               "--map names picture 10 of the series"}}) {
        const std::string before = text(path(c.picture));
        std::vector<std::string> args = c.args;
        args.push_back("s01.bmp");
        const RawResult r = run(args, RawRun{dir});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_TRUE(contains(r.err, c.said)) << r.err;
        EXPECT_EQ(text(path(c.picture)), before);
        EXPECT_FALSE(fs::exists(path("m.bmp")));
    }
    // A picture of another naming is an output like any other file.
    const RawResult other = run({"-o", "m.bmp", "--ignore", "10", "--map", "s5.txt", "s01.bmp"}, RawRun{dir});
    EXPECT_EQ(other.exitCode, 0) << other.err;
}

// The pictures after a gap in the numbering are not read: the run says so once, and the series it
// reads stays the one up to the gap.
TEST_F(SeriesPictures, AGapWithLaterPicturesIsSaidAndTheSeriesStaysAsItWas) {
    series("s", 8);
    fs::remove(path("s06.bmp"));
    const std::string said = "orvanta-cli: the series ends at s05.bmp: s06.bmp is missing, though s07.bmp is there";
    for (const char* method : {"0", "pyramid"}) {
        const RawResult r = run({"-m", method, "-o", "m.bmp", "--depth-map", "d.png", "s01.bmp"}, RawRun{dir});
        EXPECT_EQ(r.exitCode, 0) << method << r.err;
        EXPECT_TRUE(contains(r.err, said)) << method << r.err;
        EXPECT_EQ(r.err.find(said), r.err.rfind(said)) << method << ": said more than once";
        // The montage of s01 to s05 alone: the same as that of a series that ends there.
        fs::create_directory(path("five"));
        for (const char* n : {"s01.bmp", "s02.bmp", "s03.bmp", "s04.bmp", "s05.bmp"})
            fs::copy_file(path(n), path(std::string("five/") + n));
        const RawResult five =
            run({"-m", method, "-o", "m.bmp", "--depth-map", "d.png", "s01.bmp"}, RawRun{path("five")});
        EXPECT_EQ(five.exitCode, 0) << five.err;
        EXPECT_FALSE(contains(five.err, "the series ends")) << five.err;
        EXPECT_EQ(text(path("m.bmp")), text(path("five/m.bmp"))) << method;
        EXPECT_EQ(text(path("d.png")), text(path("five/d.png"))) << method;
        fs::remove_all(path("five"));
    }
    // A comparison of the methods reads the series too.
    const RawResult compared = run({"--evaluate", "methods", "-o", "m.bmp", "s01.bmp"}, RawRun{dir});
    EXPECT_EQ(compared.exitCode, 0) << compared.err;
    EXPECT_TRUE(contains(compared.err, said)) << compared.err;
    EXPECT_EQ(compared.err.find(said), compared.err.rfind(said)) << compared.err;
}

TEST_F(SeriesPictures, AGapIsSaidOnlyWhereItHidesLaterPictures) {
    series("s", 5);
    fs::remove(path("s03.bmp"));
    // A series read from elsewhere is named by its full path.
    const RawResult elsewhere = run({"-o", path("m.bmp"), path("s01.bmp")});
    EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.err;
    EXPECT_TRUE(contains(elsewhere.err, "the series ends at " + path("s02.bmp") + ": " + path("s03.bmp") +
                                            " is missing, though " + path("s04.bmp") + " is there"))
        << elsewhere.err;
    // More than five numbers on, the next picture is no longer taken for one of the series.
    series("t", 9);
    for (const char* n : {"t03.bmp", "t04.bmp", "t05.bmp", "t06.bmp", "t07.bmp", "t08.bmp"}) fs::remove(path(n));
    const RawResult far = run({"-o", "m.bmp", "t01.bmp"}, RawRun{dir});
    EXPECT_EQ(far.exitCode, 0) << far.err;
    EXPECT_FALSE(contains(far.err, "the series ends")) << far.err;
    // A series stopped by --max-pictures did not stop at the gap.
    const RawResult limited = run({"--max-pictures", "2", "-o", "m.bmp", "s01.bmp"}, RawRun{dir});
    EXPECT_EQ(limited.exitCode, 0) << limited.err;
    EXPECT_FALSE(contains(limited.err, "the series ends")) << limited.err;
}

// Scripts add options to command lines they were given: the last value of an option is used, and
// an earlier value that differs is said, once for each option.
TEST_F(SeriesPictures, AnOptionGivenTwiceUsesItsLastValueAndSaysSo) {
    series("s", 4);
    const RawResult twice = run({"-m", "0", "--method", "pyramid", "-o", "a.png", "-o", "b.png", "-i", "20", "-i", "30",
                                 "-i", "20", "s01.bmp"},
                                RawRun{dir});
    EXPECT_EQ(twice.exitCode, 0) << twice.err;
    EXPECT_EQ(twice.err, "orvanta-cli: --method is given twice with different values: the last, 'pyramid', is used\n"
                         "orvanta-cli: --output is given twice with different values: the last, 'b.png', is used\n"
                         "orvanta-cli: --increment is given 3 times with different values: the last, '20', is used\n");
    EXPECT_FALSE(fs::exists(path("a.png")));
    const RawResult once = run({"-m", "pyramid", "-o", "c.png", "s01.bmp"}, RawRun{dir});
    EXPECT_EQ(once.exitCode, 0) << once.err;
    EXPECT_EQ(text(path("b.png")), text(path("c.png")));
    EXPECT_EQ(twice.out, once.out);
    // 3d is method 0; 0.10 is 0.1; --ignore adds the pictures up: nothing to say.
    const RawResult r = run({"-m", "0", "-m", "3d", "--edge-factor", "0.1", "--edge-factor", "0.10", "--smooth",
                             "--ignore", "2", "--ignore", "3", "-o", "m.bmp", "-o", "m.bmp", "s01.bmp"},
                            RawRun{dir});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(contains(r.err, "is given")) << r.err;
    const RawResult both = run({"--ignore", "2,3", "--smooth", "-o", "n.bmp", "s01.bmp"}, RawRun{dir});
    EXPECT_EQ(both.exitCode, 0) << both.err;
    EXPECT_EQ(text(path("m.bmp")), text(path("n.bmp")));
}

} // namespace
