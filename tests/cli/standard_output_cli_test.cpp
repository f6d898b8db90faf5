// orvanta-cli's outputs as scripts meet them: the report and the scores are outputs of the run,
// so a standard output that cannot take them (a full disk, a reader gone, closed) fails the run
// and leaves every file as it was; and two runs writing one output at once.
#include "cli_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv::test;
namespace fs = std::filesystem;

namespace {

// What stands behind the run's standard output.
enum class Behind { FullDisk, ReaderGone, Closed };

class StandardOutput : public CliFolderTest {
protected:
    void SetUp() override {
        CliFolderTest::SetUp();
        series("s", 3);
    }

    struct Ended {
        int status = -1; // -1: ended by a signal
        std::string err;
    };
    // Runs orvanta-cli -q with `args` and standard output as `behind` says; standard error is read.
    Ended runInto(Behind behind, std::vector<std::string> args) const {
        args.insert(args.begin(), {cli(), "-q"});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out = -1;
        if (behind == Behind::FullDisk) {
            out = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        } else if (behind == Behind::ReaderGone) {
            int fds[2];
            EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
            ::close(fds[0]); // the reader is gone before anything is written
            out = fds[1];
        }
        const std::string err = path("err.txt");
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out >= 0) ::dup2(out, 1);
            else ::close(1);
            ::dup2(errFd, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        if (out >= 0) ::close(out);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text(err)};
    }
};

} // namespace

// `orvanta-cli shot01.bmp > report.txt` on a full disk, `| head -c 1` that has gone, or a closed
// standard output: the run fails, says why, and the picture, map and project stay as they were
// (where the pictures were written and the run still ended 1). The same when only the score goes
// there, and when a comparison's scores failed before the montage was written.
TEST_F(StandardOutput, OneThatCannotTakeTheReportOrScoresLeavesEveryFileAsItWas) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const struct {
        Behind behind;
        std::vector<std::string> options;
        const char* reason;
    } cases[] = {
        {Behind::FullDisk, {}, "No space left on device"},
        {Behind::ReaderGone, {}, "Broken pipe"},
        {Behind::Closed, {}, "Bad file descriptor"},
        {Behind::FullDisk, {"--score", "--report", path("r.txt")}, "No space left on device"},
        {Behind::ReaderGone, {"--evaluate", "increments"}, "Broken pipe"},
        {Behind::FullDisk, {"--evaluate", "methods", "--report", path("r.txt")}, "No space left on device"},
    };
    for (const auto& c : cases) {
        put(path("m.bmp"), "old picture");
        put(path("map.txt"), "old map");
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-o", path("m.bmp"), "--map", path("map.txt"), "--save-project", path("p.mon"),
                                 path("s01.bmp")});
        const Ended r = runInto(c.behind, args);
        const std::string label = std::to_string(int(c.behind)) + " " + (c.options.empty() ? "" : c.options[0]);
        EXPECT_EQ(r.status, 1) << label;
        EXPECT_EQ(r.err, std::string("orvanta-cli: cannot write standard output: ") + c.reason + "\n") << label;
        EXPECT_EQ(text(path("m.bmp")), "old picture") << label;
        EXPECT_EQ(text(path("map.txt")), "old map") << label;
        EXPECT_FALSE(fs::exists(path("r.txt"))) << label;
        EXPECT_FALSE(fs::exists(path("p.mon"))) << label;
        EXPECT_FALSE(fs::exists(path("p.vrk"))) << label;
        EXPECT_TRUE(temporaries().empty()) << label;
    }
    // With a standard output that takes them, the same runs write everything.
    const RawResult fine = run({"--score", "-o", path("m.bmp"), "--map", path("map.txt"), path("s01.bmp")});
    EXPECT_EQ(fine.exitCode, 0) << fine.err;
    EXPECT_TRUE(contains(fine.out, "Quality score = ")) << fine.out;
    EXPECT_NE(text(path("m.bmp")), "old picture");
}

// The picture on standard output that cannot take it says the system's reason, as the report
// does, not the error number's description ("Path/File access error" for a reader gone).
TEST_F(StandardOutput, APictureItCannotTakeSaysTheSystemsReason) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    for (const auto& [behind, reason] : {std::pair{Behind::FullDisk, "No space left on device"},
                                         std::pair{Behind::ReaderGone, "Broken pipe"}}) {
        const Ended r = runInto(behind, {"-o", "-", "--format", "png", path("s01.bmp")});
        EXPECT_EQ(r.status, 1) << reason;
        EXPECT_EQ(r.err, std::string("orvanta-cli: cannot write /dev/stdout: ") + reason + "\n");
    }
}

// Two runs writing one output: a run that fails after putting its files in place (its picture
// goes to a FIFO whose reader leaves) puts back only what is still its own. A run that wrote the
// same map meanwhile and succeeded keeps it, where the failing run took it away again.
TEST_F(StandardOutput, AFailingRunLeavesTheFilesAnotherRunWroteMeanwhile) {
    series("big", 3, 600, 450); // a picture several times what a pipe holds
    put(path("map.txt"), "old map");
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    const int reader = ::open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::vector<std::string> args{cli(), "-q", "-o", path("pipe"), "--format", "bmp", "--map", path("map.txt"),
                                  "--report", "/dev/null", path("big01.bmp")};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t first = ::fork();
    if (first == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    // Its picture coming through the FIFO: its map is in place, and it waits for the reader.
    pollfd ready{reader, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 120000), 1);
    const RawResult second = run({"-o", path("other.bmp"), "--map", path("map.txt"), "--report", "/dev/null",
                                  path("s01.bmp")});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    const std::string secondMap = text(path("map.txt"));
    ASSERT_NE(secondMap, "old map");
    ::close(reader); // the reader leaves: the first run fails
    int status = 0;
    ::waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(text(path("map.txt")), secondMap);
    EXPECT_TRUE(fs::exists(path("other.bmp")));
    EXPECT_TRUE(temporaries().empty());
}
