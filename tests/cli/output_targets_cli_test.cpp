// orvanta-cli's outputs as a Unix user names them: standard output, devices, FIFOs, one file under
// two spellings, a full disk behind standard output, a commit that fails half way, signals.
#include "input/test_files.h"
#include "cli_folder.h"
#include "raw_process.h"

#include <QCoreApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <thread>

using namespace orv;
using namespace orv::test;
namespace fs = std::filesystem;

namespace {

class Outputs : public CliFolderTest {
protected:
    void SetUp() override {
        CliFolderTest::SetUp();
        series("s", 3);
    }

    // The same through a shell, for redirections the test process cannot make for its child.
    static int shell(const std::string& line) { return std::system(line.c_str()); }
    static bool isCharacterDevice(const std::string& p) {
        struct stat st{};
        return ::stat(p.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    }
};

} // namespace

TEST_F(Outputs, ThePictureThroughStandardOutputEqualsTheFileByteForByte) {
    const RawResult file = run({"-o", path("m.bmp"), path("s01.bmp")});
    ASSERT_EQ(file.exitCode, 0) << file.err;
    const RawResult piped = run({"-o", "/dev/stdout", path("s01.bmp")});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, text(path("m.bmp")));
    // The report, which went to standard output with the file, moved to standard error.
    EXPECT_TRUE(contains(file.out, "  Number of files found =3"));
    EXPECT_TRUE(contains(piped.err, "  Number of files found =3"));
}

// "--depth-map -" writes only the depth map to standard output: the report and the score, which
// would go there too, go to standard error as they do with the picture there.
TEST_F(Outputs, TheDepthMapThroughStandardOutputIsTheDepthMapAlone) {
    for (const char* method : {"0", "pyramid"}) {
        const RawResult file = run({"-m", method, "--depth-map", path("d.png"), "-o", path("m.bmp"), path("s01.bmp")});
        ASSERT_EQ(file.exitCode, 0) << file.err;
        const RawResult piped = run({"-m", method, "--score", "--depth-map", "-", "-o", path("m.bmp"), path("s01.bmp")});
        ASSERT_EQ(piped.exitCode, 0) << piped.err;
        EXPECT_EQ(piped.out, text(path("d.png"))) << method;
        EXPECT_TRUE(contains(piped.err, "  Number of files found =3")) << piped.err;
        EXPECT_TRUE(contains(piped.err, "Quality score = ")) << piped.err;
    }
}

// "-o -" writes the picture in the format --format names, and only the picture.
class PictureToStandardOutput : public Outputs, public ::testing::WithParamInterface<const char*> {};

TEST_P(PictureToStandardOutput, EqualsTheFileOfThatFormat) {
    const std::string format = GetParam();
    const RawResult file = run({"-o", path("m." + format), path("s01.bmp")});
    ASSERT_EQ(file.exitCode, 0) << file.err;
    const RawResult piped = run({"--score", "-o", "-", "--format", format, path("s01.bmp")});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, text(path("m." + format)));
    QImage decoded;
    EXPECT_TRUE(decoded.loadFromData(reinterpret_cast<const uchar*>(piped.out.data()), int(piped.out.size())));
    EXPECT_EQ(decoded.size(), QSize(96, 64));
    EXPECT_TRUE(contains(piped.err, "Quality score = "));
    EXPECT_FALSE(fs::exists(path("s01 montage.bmp")));
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureToStandardOutput, ::testing::Values("bmp", "png", "tiff", "jpg", "gif"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(Outputs, OneDeviceNamedByTwoOptionsIsWrittenThroughAndStaysADevice) {
    const RawResult r = run({"--report", "/dev/null", "--map", "/dev/null", "--depth-map", "/dev/null",
                             "-o", path("m.bmp"), path("s01.bmp")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(isCharacterDevice("/dev/null"));
    EXPECT_TRUE(fs::exists(path("m.bmp")));
}

// A project named as a device gets the project's text and no picture beside it (none can go there).
TEST_F(Outputs, AProjectSavedToADeviceWritesNoPictureBesideIt) {
    const RawResult r = run({"--save-project", "/dev/null", "--report", "/dev/null", "-o", path("m.bmp"), path("s01.bmp")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(isCharacterDevice("/dev/null"));
    EXPECT_FALSE(fs::exists("/dev/null.vrk"));
    EXPECT_FALSE(fs::exists("/dev/null.mon"));
}

// Text appended to a log through /dev/stdout keeps the log's earlier contents and the score.
TEST_F(Outputs, StandardOutputRedirectedToALogIsAppendedTo) {
    put(path("log"), "earlier\n");
    const int status = shell("'" + cli() + "' -q --score --report /dev/null --map /dev/stdout -o '" + path("m.bmp") +
                             "' '" + path("s01.bmp") + "' >> '" + path("log") + "' 2>&1");
    EXPECT_EQ(status, 0);
    const std::string log = text(path("log"));
    EXPECT_EQ(log.rfind("earlier\n", 0), 0u) << log;
    const RawResult file = run({"--map", path("map.txt"), "--report", "/dev/null", path("s01.bmp")});
    ASSERT_EQ(file.exitCode, 0) << file.err;
    EXPECT_EQ(log.substr(8, text(path("map.txt")).size()), text(path("map.txt"))) << log;
    EXPECT_TRUE(contains(log, "Quality score = ")) << log;
}

TEST_F(Outputs, AFifoWithAReaderGetsTheMap) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        const int fd = ::open(path("fifo").c_str(), O_RDONLY);
        char b[4096];
        for (ssize_t n; (n = ::read(fd, b, sizeof b)) > 0;) received.append(b, std::size_t(n));
        ::close(fd);
    });
    const RawResult r = run({"--map", path("fifo"), "--report", "/dev/null", path("s01.bmp")});
    // Should the run not have opened the FIFO, the reader is let go.
    const int release = ::open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK);
    if (release >= 0) ::close(release);
    reader.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const RawResult file = run({"--map", path("map.txt"), "--report", "/dev/null", path("s01.bmp")});
    EXPECT_EQ(received, text(path("map.txt")));
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
}

// A failed run leaves its FIFO's reader an empty end: nothing that could pass for a picture.
TEST_F(Outputs, AFailedRunClosesAFifoEmpty) {
    ASSERT_EQ(::mkfifo(path("fifo.png").c_str(), 0600), 0);
    const int reader = ::open(path("fifo.png").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const RawResult r = run({"-o", path("fifo.png"), path("missing01.bmp")}, RawRun{"", 0, 30});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    pollfd p{reader, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_TRUE(p.revents & POLLHUP) << "the run never opened the FIFO";
    char b[16];
    EXPECT_EQ(::read(reader, b, sizeof b), 0);
    ::close(reader);
}

// Started with standard output and error closed, the run's own files would take their numbers:
// the progress lines and messages must not land in the picture, the map or the depth map.
TEST_F(Outputs, ClosedStandardDescriptorsPutNothingIntoTheOutputs) {
    for (const char* method : {"0", "pyramid"}) {
        const RawResult open = run({"-m", method, "-o", path("o.bmp"), "--map", path("o.txt"), "--depth-map", path("o.png"),
                                    "--report", path("or.txt"), path("s01.bmp")});
        ASSERT_EQ(open.exitCode, 0) << open.err;
        const int status = shell("'" + cli() + "' --progress json -m " + method + " -o '" + path("c.bmp") + "' --map '" +
                                 path("c.txt") + "' --depth-map '" + path("c.png") + "' --report '" + path("cr.txt") +
                                 "' '" + path("s01.bmp") + "' >&- 2>&-");
        EXPECT_EQ(WEXITSTATUS(status), 0) << method;
        EXPECT_EQ(text(path("c.bmp")), text(path("o.bmp"))) << method;
        EXPECT_EQ(text(path("c.txt")), text(path("o.txt"))) << method;
        EXPECT_EQ(text(path("c.png")), text(path("o.png"))) << method;
        EXPECT_EQ(text(path("cr.txt")), text(path("or.txt"))) << method;
        // With the report for standard output, closed, the run fails and writes neither.
        const int failed = shell("'" + cli() + "' --progress json -m " + method + " -o '" + path("d.bmp") +
                                 "' --depth-map '" + path("d.png") + "' '" + path("s01.bmp") + "' >&- 2>&-");
        EXPECT_EQ(WEXITSTATUS(failed), 1) << method;
        EXPECT_FALSE(fs::exists(path("d.bmp"))) << method;
        EXPECT_FALSE(fs::exists(path("d.png"))) << method;
    }
}

TEST_F(Outputs, AFullStandardOutputIsAFailure) {
    const int status = shell("'" + cli() + "' -q -o '" + path("m.bmp") + "' '" + path("s01.bmp") + "' > /dev/full 2> '" +
                             path("err") + "'");
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(text(path("err")), "orvanta-cli: cannot write standard output: No space left on device\n");
}

// `orvanta-cli --version > v.txt` on a full disk, or with standard output closed: said and failed,
// as the report's writing is, where it exited 0 with nothing written.
TEST_F(Outputs, HelpAndVersionIntoAFullOrClosedStandardOutputAreAFailure) {
    if (!isCharacterDevice("/dev/full")) GTEST_SKIP() << "no /dev/full";
    for (const char* option : {"--help", "--version"}) {
        int status = shell("'" + cli() + "' " + option + " > /dev/full 2> '" + path("err") + "'");
        EXPECT_EQ(WEXITSTATUS(status), 1) << option;
        EXPECT_EQ(text(path("err")), "orvanta-cli: cannot write standard output: No space left on device\n") << option;
        status = shell("'" + cli() + "' " + option + " >&- 2> '" + path("err") + "'");
        EXPECT_EQ(WEXITSTATUS(status), 1) << option;
        EXPECT_TRUE(contains(text(path("err")), "cannot write standard output")) << option;
        const RawResult r = runRaw(cli(), {option});
        EXPECT_EQ(r.exitCode, 0) << option;
        EXPECT_TRUE(contains(r.out, "orvanta-cli")) << option;
        EXPECT_EQ(r.err, "") << option;
    }
}

// An output naming a file the run reads, the opened project or the strokes file, however it is
// spelt: a usage error, where the run replaced it (a project overwritten by its report no longer
// opened). Saving the opened project over itself stays allowed.
TEST_F(Outputs, AnOutputNamingTheProjectOrStrokesReadIsAUsageError) {
    ASSERT_EQ(run({"--report", "/dev/null", "-o", path("m.bmp"), "--save-project", path("p.mon"), path("s01.bmp")}).exitCode, 0);
    put(path("k.strokes"), "orvanta-strokes 1\nstroke 2 5 50 100 1 10,10 40,30\n");
    ASSERT_EQ(::link(path("p.mon").c_str(), path("again.mon").c_str()), 0);
    const std::string project = text(path("p.mon"));
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--open-project", path("p.mon"), "--report", path("p.mon")}, "--report names the file --open-project reads ("},
        {{"--open-project", path("p.mon"), "--map", dir + "/./p.mon"}, "--map names the file --open-project reads ("},
        {{"--open-project", path("p.mon"), "-o", path("again.mon"), "--format", "bmp"},
         "--output names the file --open-project reads ("},
        {{"--retouch", path("k.strokes"), "--map", path("k.strokes"), path("s01.bmp")},
         "--map names the file --retouch reads ("},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (std::find(args.begin(), args.end(), "-o") == args.end()) args.insert(args.end(), {"-o", path("n.bmp")});
        const RawResult r = run(args);
        EXPECT_EQ(r.exitCode, 2) << c.args[2];
        EXPECT_TRUE(contains(r.err, c.message)) << r.err;
        EXPECT_EQ(text(path("p.mon")), project);
        EXPECT_EQ(text(path("k.strokes")), "orvanta-strokes 1\nstroke 2 5 50 100 1 10,10 40,30\n");
        EXPECT_FALSE(fs::exists(path("n.bmp")));
    }
    const RawResult saved = run({"--report", "/dev/null", "-o", path("n.bmp"), "--open-project", path("p.mon"),
                                 "--save-project", path("p.mon")});
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(text(path("p.mon")), project);
}

// A device that refuses what is written through it (full, or its reader gone) comes after the
// files are in place: the run fails, and the files it had put there are put back as they were,
// a file with other hard links included.
TEST_F(Outputs, AFailedDeviceLeavesEveryFileAsItWas) {
    if (!isCharacterDevice("/dev/full")) GTEST_SKIP() << "no /dev/full";
    struct Case {
        std::vector<std::string> device; // the option that names /dev/full
        std::vector<std::string> files;
    };
    for (const Case& c : {Case{{"-o", "/dev/full", "--format", "bmp"}, {"--map", path("map.txt")}},
                          Case{{"--map", "/dev/full"}, {"-o", path("m.bmp")}},
                          Case{{"--depth-map", "/dev/full"}, {"-o", path("m.bmp"), "--map", path("map.txt")}}}) {
        put(path("m.bmp"), "old picture");
        put(path("map.txt"), "old map");
        put(path("linked.txt"), "old report");
        fs::remove(path("again.txt"));
        ASSERT_EQ(::link(path("linked.txt").c_str(), path("again.txt").c_str()), 0);
        std::vector<std::string> args = c.device;
        args.insert(args.end(), c.files.begin(), c.files.end());
        for (const std::string& more : {std::string("--report"), path("linked.txt"), std::string("--save-project"), path("p.mon")})
            args.push_back(more);
        args.push_back(path("s01.bmp"));
        const RawResult r = run(args);
        EXPECT_EQ(r.exitCode, 1) << c.device[0];
        EXPECT_TRUE(contains(r.err, "cannot write /dev/full: Disk full")) << r.err;
        EXPECT_EQ(text(path("m.bmp")), "old picture") << c.device[0];
        EXPECT_EQ(text(path("map.txt")), "old map") << c.device[0];
        EXPECT_EQ(text(path("again.txt")), "old report") << c.device[0];
        EXPECT_FALSE(fs::exists(path("p.mon"))) << c.device[0];
        EXPECT_FALSE(fs::exists(path("p.vrk"))) << c.device[0];
        EXPECT_TRUE(temporaries().empty()) << c.device[0];
    }
}

// Standard output a pipe whose reader has gone (`| head -c 10` that has read its fill): a failure
// that is said, with the files put back when the picture went there, never a SIGPIPE that ends
// the run half way with its files in place.
TEST_F(Outputs, AReaderThatHasGoneIsAFailureNotASignal) {
    auto runIntoClosedPipe = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {cli(), "-q"});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int pipeFds[2];
        EXPECT_EQ(::pipe(pipeFds), 0);
        ::close(pipeFds[0]); // the reader is gone before anything is written
        const std::string err = path("err.txt");
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(pipeFds[1], 1);
            ::dup2(errFd, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, text(err));
    };
    put(path("map.txt"), "old map");
    auto [status, err] = runIntoClosedPipe({"-o", "-", "--format", "bmp", "--map", path("map.txt"), path("s01.bmp")});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(contains(err, "cannot write /dev/stdout: ")) << err;
    EXPECT_EQ(text(path("map.txt")), "old map");
    std::tie(status, err) = runIntoClosedPipe({"-o", path("m.bmp"), path("s01.bmp")});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "orvanta-cli: cannot write standard output: Broken pipe\n");
}

TEST_F(Outputs, TheReportGoesToStandardOutputForADash) {
    const RawResult r = run({"--report", "-", "-o", path("m.bmp"), path("s01.bmp")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "  Number of files found =3"));
    EXPECT_FALSE(fs::exists(path("-")));
}

TEST_F(Outputs, DoubleDashEndsTheOptions) {
    for (int k = 1; k <= 2; ++k) fs::copy_file(path("s0" + std::to_string(k) + ".bmp"), path("-d0" + std::to_string(k) + ".bmp"));
    const RawResult r = runRaw(cli(), {"-q", "--report", "/dev/null", "--", "-d01.bmp"}, RawRun{dir, 0, 60});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("-d01 montage.bmp")));
}

// Two options naming one file however it is spelt: a usage error, and nothing is written.
struct Clash {
    const char* name;
    std::vector<std::string> args; // "@" stands for the test's folder + "/"
    const char* message;
};

class OutputsClash : public Outputs, public ::testing::WithParamInterface<Clash> {
protected:
    // orvanta-cli run in the folder on s01.bmp with the case's options.
    RawResult runClash(const Clash& c) const {
        std::vector<std::string> args;
        for (std::string a : c.args) {
            if (!a.empty() && a[0] == '@') a = dir + "/" + a.substr(1);
            args.push_back(a);
        }
        args.push_back("s01.bmp");
        return runRaw(cli(), args, RawRun{dir, 0, 60});
    }
};

class OneFileTwice : public OutputsClash {};

TEST_P(OneFileTwice, IsAUsageError) {
    put(path("x.bmp"), "old x");
    put(path("h1.txt"), "old h");
    ASSERT_EQ(::link(path("h1.txt").c_str(), path("h2.txt").c_str()), 0);
    fs::create_symlink("x.bmp", path("link.bmp"));
    const RawResult r = runClash(GetParam());
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(contains(r.err, GetParam().message)) << r.err;
    EXPECT_EQ(text(path("x.bmp")), "old x");
    EXPECT_EQ(text(path("h1.txt")), "old h");
    EXPECT_FALSE(fs::exists(path("s01 montage.bmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, OneFileTwice,
    ::testing::Values(Clash{"SameName", {"-o", "x.bmp", "--map", "x.bmp"}, "--map names the same file as --output"},
                      Clash{"DotSlash", {"-o", "x.bmp", "--map", "./x.bmp"}, "--map names the same file as --output"},
                      Clash{"FullPath", {"--map", "@x.bmp", "-o", "x.bmp"}, "--map names the same file as --output"},
                      Clash{"NewFileTwoSpellings", {"--map", "new.txt", "--report", "@new.txt"}, "--report names the same file as --map"},
                      Clash{"SymbolicLink", {"-o", "x.bmp", "--depth-map", "link.bmp"}, "--depth-map names the same file as --output"},
                      Clash{"HardLink", {"--map", "h1.txt", "--report", "h2.txt"}, "--report names the same file as --map"},
                      Clash{"ReportAsProject", {"--report", "p.mon", "--save-project", "p.mon"}, "--save-project names the same file as --report"},
                      Clash{"ProjectPicture", {"-o", "p.vrk", "--format", "bmp", "--save-project", "p"}, "--save-project names the same file as --output"},
                      Clash{"ProjectOverItsPicture", {"--save-project", "q.vrk"}, "--save-project"},
                      Clash{"DefaultOutput", {"--map", "s01 montage.bmp"}, "--map names the same file as --output"},
                      Clash{"PictureAndReportOnStandardOutput", {"-o", "-", "--format", "png", "--report", "/dev/stdout"}, "--report names the same file as --output"},
                      Clash{"DepthMapAndMapOnStandardOutput", {"--map", "-", "--depth-map", "-"}, "--depth-map names the same file as --map"},
                      Clash{"DepthMapAndReportOnStandardOutput", {"--depth-map", "/dev/stdout", "--report", "-"}, "--report names the same file as --depth-map"}),
    [](const auto& info) { return std::string(info.param.name); });

// An output that names a picture of the series would replace a photograph the montage is made of:
// a usage error, with the series untouched, however the name is spelt.
class OverASeriesPicture : public OutputsClash {};

TEST_P(OverASeriesPicture, IsAUsageError) {
    fs::create_symlink("s02.bmp", path("link.bmp"));
    const std::string before = text(path("s02.bmp"));
    const RawResult r = runClash(GetParam());
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(contains(r.err, GetParam().message)) << r.err;
    EXPECT_EQ(text(path("s02.bmp")), before);
    EXPECT_FALSE(fs::exists(path("s01 montage.bmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, OverASeriesPicture,
    ::testing::Values(Clash{"Output", {"-o", "s02.bmp"}, "--output names picture 2 of the series"},
                      Clash{"OutputFullPath", {"-o", "@s02.bmp", "-m", "pyramid"}, "--output names picture 2 of the series"},
                      Clash{"DepthMapByLink", {"--depth-map", "link.bmp"}, "--depth-map names picture 2 of the series"},
                      Clash{"IgnoredPicture", {"--ignore", "2", "--map", "./s02.bmp"}, "--map names picture 2 of the series"},
                      Clash{"FirstPicture", {"--report", "s01.bmp"}, "--report names picture 1 of the series"}),
    [](const auto& info) { return std::string(info.param.name); });

// Outputs a run cannot write as named: refused as usage errors before any picture is read, with
// nothing written under any name.
class UnusableOutput : public Outputs, public ::testing::WithParamInterface<Clash> {};

TEST_P(UnusableOutput, IsAUsageErrorThatWritesNothing) {
    const RawResult r = runRaw(cli(), GetParam().args, RawRun{dir, 0, 60});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(contains(r.err, GetParam().message)) << r.err;
    EXPECT_EQ(r.err.find("BM"), std::string::npos) << "a picture went to standard error";
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"s01.bmp", "s02.bmp", "s03.bmp"}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnusableOutput,
    ::testing::Values(
        // "-" is standard output for every other output; a project is two files.
        Clash{"ProjectOnADash", {"-o", "m.bmp", "--save-project", "-", "s01.bmp"}, "--save-project writes FILE.mon"},
        // The depth map's ending picks its format as the picture's does.
        Clash{"DepthMapOfAnUnknownFormat", {"-o", "m.bmp", "--depth-map", "d.xyz", "s01.bmp"}, "(--depth-map)"},
        Clash{"PictureOnStandardError", {"-o", "/dev/stderr", "--format", "bmp", "s01.bmp"},
              "--output names standard error"},
        Clash{"DepthMapOnStandardError", {"-o", "m.bmp", "--depth-map", "/dev/fd/2", "s01.bmp"},
              "--depth-map names standard error"}),
    [](const auto& info) { return std::string(info.param.name); });

// When a rename of the commit fails, what was renamed before it is put back, and the message
// names the file that failed.
TEST_F(Outputs, ACommitThatFailsPutsBackWhatItRenamedAndNamesTheFile) {
    put(path("m.bmp"), "old picture");
    put(path("map.txt"), "old map");
    put(path("elsewhere"), "mounted");
    if (::mount(path("elsewhere").c_str(), path("map.txt").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "a bind mount needs privileges this test does not have";
    const RawResult r = run({"-o", path("m.bmp"), "--report", path("report.txt"), "--map", path("map.txt"), path("s01.bmp")});
    ::umount(path("map.txt").c_str());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "cannot write " + path("map.txt") + ":")) << r.err;
    EXPECT_EQ(text(path("m.bmp")), "old picture");
    EXPECT_EQ(text(path("map.txt")), "old map");
    EXPECT_FALSE(fs::exists(path("report.txt")));
    EXPECT_TRUE(temporaries().empty());
}

TEST_F(Outputs, AWriteProtectedOutputIsRefusedAsCpRefusesIt) {
    put(path("m.bmp"), "protected");
    ASSERT_EQ(::chmod(path("m.bmp").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    for (const char* f : {"s01.bmp", "s02.bmp", "s03.bmp"}) ::chmod(path(f).c_str(), 0644);
    // Root may write anything: the run is made as another user.
    const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    if (!as.empty() && shell("command -v setpriv > /dev/null") != 0) GTEST_SKIP() << "setpriv is not installed";
    if (!as.empty() && shell(as + "test -x '" + cli() + "'") != 0) GTEST_SKIP() << "the program's folders are closed to other users";
    const int status = shell(as + "'" + cli() + "' -q --report /dev/null -o '" + path("m.bmp") + "' '" + path("s01.bmp") +
                             "' 2> '" + path("err") + "'");
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(contains(text(path("err")), "cannot write " + path("m.bmp") + ": Permission denied")) << text(path("err"));
    EXPECT_EQ(text(path("m.bmp")), "protected");
}

// A picture of the series that may not be read is named with the reason, for the block methods
// and for Pyramid Focus.
TEST_F(Outputs, APictureThatMayNotBeReadIsNamedWithTheReason) {
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    for (const char* f : {"s01.bmp", "s03.bmp"}) ::chmod(path(f).c_str(), 0644);
    ASSERT_EQ(::chmod(path("s02.bmp").c_str(), 0), 0);
    // Root may read anything: the run is made as another user.
    const std::string as = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    if (!as.empty() && shell("command -v setpriv > /dev/null") != 0) GTEST_SKIP() << "setpriv is not installed";
    if (!as.empty() && shell(as + "test -x '" + cli() + "'") != 0) GTEST_SKIP() << "the program's folders are closed to other users";
    for (const char* method : {"0", "pyramid"}) {
        const int status = shell(as + "'" + cli() + "' -q -m " + method + " --report /dev/null -o '" + path("m.bmp") +
                                 "' '" + path("s01.bmp") + "' 2> '" + path("err") + "'");
        EXPECT_EQ(WEXITSTATUS(status), 1) << method;
        EXPECT_TRUE(contains(text(path("err")), "the picture is " + path("s02.bmp") + ", which cannot be opened: Permission denied"))
            << method << ": " << text(path("err"));
        EXPECT_FALSE(fs::exists(path("m.bmp"))) << method;
    }
}

TEST_F(Outputs, AnOutputWithAHardLinkIsWrittenUnderEveryName) {
    put(path("m.bmp"), "old");
    ASSERT_EQ(::link(path("m.bmp").c_str(), path("other.bmp").c_str()), 0);
    const RawResult r = run({"--report", "/dev/null", "-o", path("m.bmp"), path("s01.bmp")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(QImage(QString::fromStdString(path("other.bmp"))).size(), QSize(96, 64));
    EXPECT_EQ(text(path("m.bmp")), text(path("other.bmp")));
}

class FifoSignalled : public Outputs {
protected:
    // The regular files are in place while a FIFO's reader is awaited: a termination signal then puts
    // them back (a new one removed), as a failure would. The old map and picture were lost under
    // the new ones though the run was ended. The run's wait status.
    int signalledWhileAFifoAwaitsItsReader(int sig) {
        EXPECT_EQ(::mkfifo(path("report.fifo").c_str(), 0600), 0);
        put(path("m.bmp"), "old picture");
        put(path("map.txt"), "old map");
        // A map with another name is rewritten in place, before the FIFO is opened.
        EXPECT_EQ(::link(path("map.txt").c_str(), path("map-too.txt").c_str()), 0);
        const int watch = ::inotify_init1(IN_CLOEXEC);
        EXPECT_GE(watch, 0);
        EXPECT_GE(::inotify_add_watch(watch, dir.c_str(), IN_MOVED_TO), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU}) std::signal(s, SIG_DFL);
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            const std::string program = cli(), out = path("m.bmp"), map = path("map.txt"),
                              report = path("report.fifo"), project = path("p.mon"), first = path("s01.bmp");
            ::execl(program.c_str(), program.c_str(), "-q", "-o", out.c_str(), "--map", map.c_str(), "--report",
                    report.c_str(), "--save-project", project.c_str(), first.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // The signal goes once the project, the last file renamed, is in place: the run then waits
        // for the FIFO's reader, which never comes.
        char events[4096];
        bool renamed = false;
        while (!renamed) {
            pollfd p{watch, POLLIN, 0};
            if (::poll(&p, 1, 60000) != 1) break;
            const ssize_t n = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                if (e->len && std::string(e->name) == "p.mon") renamed = true;
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
        ::close(watch);
        EXPECT_TRUE(renamed);
        ::kill(child, sig);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(text(path("m.bmp")), "old picture");
        EXPECT_EQ(text(path("map.txt")), "old map");
        EXPECT_EQ(text(path("map-too.txt")), "old map");
        EXPECT_FALSE(fs::exists(path("p.mon")));
        EXPECT_FALSE(fs::exists(path("p.vrk")));
        EXPECT_TRUE(fs::is_fifo(path("report.fifo")));
        EXPECT_TRUE(temporaries().empty()) << temporaries().front();
        return status;
    }
};

// A termination signal during the writing removes the temporary files and ends with 128 + its number.
class Termination : public FifoSignalled, public ::testing::WithParamInterface<int> {};

TEST_P(Termination, LeavesNoTemporaryFile) {
    const int sig = GetParam();
    // A picture large enough that its writing takes a while.
    series("big", 2, 4000, 3000);
    // The signal goes once the run says it is saving: the picture is being written then. (A
    // temporary file's name appears only as the files are put into place, just before the run
    // ends, too late to be waited for.)
    int progress[2];
    ASSERT_EQ(::pipe2(progress, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(progress[1], 2);
        // As from a terminal: a signal the tests were started ignoring would stay ignored.
        for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
        const std::string program = cli(), out = path("m.bmp"), first = path("big01.bmp");
        ::execl(program.c_str(), program.c_str(), "-q", "--progress", "json", "-o", out.c_str(), "--map",
                path("map.txt").c_str(), first.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(progress[1]);
    std::string said;
    char buffer[4096];
    while (!contains(said, "\"phase\":\"saving\"")) {
        pollfd p{progress[0], POLLIN, 0};
        if (::poll(&p, 1, 120000) != 1) break;
        const ssize_t n = ::read(progress[0], buffer, sizeof buffer);
        if (n <= 0) break;
        said.append(buffer, std::size_t(n));
    }
    ASSERT_TRUE(contains(said, "\"phase\":\"saving\"")) << said;
    ::kill(child, sig);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(progress[0]);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    EXPECT_TRUE(temporaries().empty()) << temporaries().front();
    EXPECT_FALSE(fs::exists(path("m.bmp")));
    EXPECT_FALSE(fs::exists(path("map.txt")));
}

TEST_P(Termination, WhileAFifoAwaitsItsReaderPutsEveryFileBack) {
    const int sig = GetParam();
    const int status = signalledWhileAFifoAwaitsItsReader(sig);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
}

// SIGQUIT (Ctrl-\) and SIGXCPU (ulimit -t) end the run by the signal itself, as ever, but put
// the files back first: the old picture and map were lost, left as temporary files beside the
// new ones.
class EndedBySignal : public FifoSignalled, public ::testing::WithParamInterface<int> {};

TEST_P(EndedBySignal, WhileAFifoAwaitsItsReaderPutsEveryFileBack) {
    const int sig = GetParam();
    const int status = signalledWhileAFifoAwaitsItsReader(sig);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), sig);
}

INSTANTIATE_TEST_SUITE_P(Signals, EndedBySignal, ::testing::Values(SIGQUIT, SIGXCPU),
                         [](const auto& info) { return std::string(info.param == SIGQUIT ? "SIGQUIT" : "SIGXCPU"); });

INSTANTIATE_TEST_SUITE_P(Signals, Termination, ::testing::Values(SIGINT, SIGTERM, SIGHUP), [](const auto& info) {
    return std::string(info.param == SIGINT ? "SIGINT" : info.param == SIGTERM ? "SIGTERM" : "SIGHUP");
});

// A working folder deleted under the run: a name relative to it is said to name nothing there
// (not a missing first file looked for at "/s01.bmp", nor an output that cannot be written), and
// full names run as ever.
TEST_F(Outputs, RelativeNamesInADeletedWorkingFolderAreSaidAsSuch) {
    const std::string gone = path("gone");
    auto inGoneFolder = [&](const std::vector<std::string>& args) {
        fs::create_directory(gone);
        // The shell deletes its own working folder, then becomes orvanta-cli there.
        std::vector<std::string> words{"-c", "rmdir \"$PWD\" && exec \"$@\"", "sh", cli()};
        words.insert(words.end(), args.begin(), args.end());
        return runRaw("/bin/sh", words, RawRun{gone, 0, 60});
    };
    const RawResult first = inGoneFolder({"-q", "s01.bmp"});
    EXPECT_EQ(first.exitCode, 1);
    EXPECT_TRUE(contains(first.err, "the working folder has been deleted, so s01.bmp names no file there")) << first.err;
    const RawResult output = inGoneFolder({"-q", "-o", "m.bmp", path("s01.bmp")});
    EXPECT_EQ(output.exitCode, 1);
    EXPECT_TRUE(contains(output.err, "so m.bmp names no file there")) << output.err;
    const RawResult whole = inGoneFolder({"-q", "-o", path("m.bmp"), path("s01.bmp")});
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_TRUE(fs::exists(path("m.bmp")));
}
