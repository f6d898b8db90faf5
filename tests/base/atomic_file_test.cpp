// Atomic writes against what a file system holds: long names, modes, links, files that are not
// regular, and groups of outputs that appear together or not at all.
#include "base/atomic_file.h"
#include "base/runtime_error.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace orv;
namespace fs = std::filesystem;

namespace {

class AtomicWrites : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvanta-atomic-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return dir + "/" + name; }
    static std::string text(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void put(const std::string& p, const std::string& t) {
        writeFileAtomically(p, std::vector<std::uint8_t>(t.begin(), t.end()));
    }
    // Every name in the folder, so a temporary file left behind shows.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    static unsigned modeOf(const std::string& p) {
        struct stat st{};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    }
    std::string dir;
};

} // namespace

TEST_F(AtomicWrites, ANameAtTheFileNameLimitIsWrittenAndLeavesNoTemporaryFile) {
    for (std::size_t length : {std::size_t(250), std::size_t(254), std::size_t(255)}) {
        const std::string name = std::string(length - 4, 'a') + ".bmp";
        put(path(name), "picture");
        EXPECT_EQ(text(path(name)), "picture") << length;
        put(path(name), "again");
        EXPECT_EQ(text(path(name)), "again") << length;
        EXPECT_EQ(names(), std::vector<std::string>{name}) << length;
        fs::remove(path(name));
    }
    EXPECT_EQ(temporaryNameFor("/d/" + std::string(254, 'x'), "123456", 255),
              "/d/" + std::string(245, 'x') + ".tmp123456");
    EXPECT_EQ(temporaryNameFor("short.bmp", "123456", 255), "short.bmp.tmp123456");
}

// A path just short of the system's longest is written (its temporary name shortened to fit); a
// file name or a path past the limits is refused before anything is written, with the error the
// final rename would raise.
TEST_F(AtomicWrites, NamesPastTheLimitsAreRefusedBeforeAnythingIsWritten) {
    // "./" steps lengthen a path without new folders.
    auto padded = [&](std::size_t length, const std::string& name) {
        std::string folder = dir;
        while (folder.size() + 2 + 1 + name.size() <= length) folder += "/.";
        return folder + std::string(length - folder.size() - 1 - name.size(), '/') + "/" + name;
    };
    const std::string name = std::string(40, 'm') + ".bmp";
    const std::string longest = padded(PATH_MAX - 1, name);
    ASSERT_EQ(longest.size(), std::size_t(PATH_MAX - 1));
    put(longest, "picture");
    put(longest, "again");
    EXPECT_EQ(text(path(name)), "again");
    EXPECT_EQ(names(), std::vector<std::string>{name});
    // The last: a folder so long that no temporary name fits beside the file.
    for (const std::string& target :
         {path(std::string(256, 'a')), padded(PATH_MAX, "n.bmp"), padded(PATH_MAX - 5, "n.bmp")}) {
        try {
            AtomicFile f(target);
            ADD_FAILURE() << "not refused: " << target.size() << " bytes";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 75) << target.size();
        }
        EXPECT_EQ(replacementRefusal(target), 75) << target.size();
    }
    EXPECT_EQ(names(), std::vector<std::string>{name});
}

TEST_F(AtomicWrites, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    for (unsigned mode : {0600u, 0640u, 0755u, 0444u}) {
        const std::string p = path("m" + std::to_string(mode));
        put(p, "old");
        ASSERT_EQ(::chmod(p.c_str(), mode), 0);
        put(p, "new");
        EXPECT_EQ(modeOf(p), mode);
        EXPECT_EQ(text(p), "new");
    }
    const mode_t mask = ::umask(027);
    put(path("fresh"), "x");
    ::umask(mask);
    EXPECT_EQ(modeOf(path("fresh")), 0640u);
}

TEST_F(AtomicWrites, ALinkIsFollowedToTheFileItNamesAndStaysALink) {
    ASSERT_EQ(::mkdir(path("real").c_str(), 0700), 0);
    put(path("real/target.txt"), "old");
    fs::create_symlink("real/target.txt", path("relative"));
    fs::create_symlink(path("relative"), path("chain"));
    fs::create_symlink("real/missing.txt", path("dangling"));
    put(path("chain"), "through two links");
    EXPECT_TRUE(fs::is_symlink(path("chain")));
    EXPECT_TRUE(fs::is_symlink(path("relative")));
    EXPECT_EQ(text(path("real/target.txt")), "through two links");
    put(path("dangling"), "made where it points");
    EXPECT_TRUE(fs::is_symlink(path("dangling")));
    EXPECT_EQ(text(path("real/missing.txt")), "made where it points");
    fs::create_symlink("loop-b", path("loop-a"));
    fs::create_symlink("loop-a", path("loop-b"));
    EXPECT_THROW(put(path("loop-a"), "x"), RuntimeError);
}

TEST_F(AtomicWrites, AFolderIsNeverReplaced) {
    ASSERT_EQ(::mkdir(path("folder").c_str(), 0700), 0);
    try {
        put(path("folder"), "x");
        ADD_FAILURE();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 75);
    }
    EXPECT_TRUE(fs::is_directory(path("folder")));
    EXPECT_EQ(names(), (std::vector<std::string>{"folder"}));
}

// A FIFO with a reader gets the bytes only once the group's regular files are in place, and is
// still a FIFO afterwards.
TEST_F(AtomicWrites, AFifoIsWrittenThroughAfterTheRegularFiles) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    put(path("plain"), "old");
    std::string received;
    bool plainWasNew = false;
    std::thread reader([&] {
        const int fd = ::open(path("fifo").c_str(), O_RDONLY);
        plainWasNew = text(path("plain")) == "new"; // the writer opens the FIFO after the renames
        char b[256];
        for (ssize_t n; (n = ::read(fd, b, sizeof b)) > 0;) received.append(b, std::size_t(n));
        ::close(fd);
    });
    AtomicFileGroup group;
    group.collect([&] {
        put(path("fifo"), "through the fifo");
        put(path("plain"), "new");
    });
    group.commitAll();
    reader.join();
    EXPECT_EQ(received, "through the fifo");
    EXPECT_TRUE(plainWasNew);
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
    EXPECT_EQ(names(), (std::vector<std::string>{"fifo", "plain"}));
}

TEST_F(AtomicWrites, ACharacterDeviceIsWrittenThroughAndNamedTwiceInOneGroup) {
    AtomicFileGroup group;
    group.collect([&] {
        put("/dev/null", "one");
        put("/dev/null", "two");
        put(path("file"), "file");
    });
    group.commitAll();
    struct stat st{};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(text(path("file")), "file");
    EXPECT_EQ(names(), (std::vector<std::string>{"file"}));
}

// /dev/stdout is the descriptor the program has, not the file it was opened on: text appended
// to a log through it leaves the log's earlier contents.
TEST_F(AtomicWrites, StandardOutputIsWrittenThroughItsDescriptor) {
    EXPECT_EQ(descriptorNamed("/dev/stdout"), 1);
    EXPECT_EQ(descriptorNamed("/proc/self/fd/2"), 2);
    EXPECT_EQ(descriptorNamed("/dev/stdin"), -1);
    put(path("log"), "earlier\n");
    struct stat before{};
    ::stat(path("log").c_str(), &before);
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int log = ::open(path("log").c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(log, 0);
    ::dup2(log, 1);
    ::close(log);
    bool thrown = false;
    try {
        put("/dev/stdout", "appended\n");
    } catch (...) {
        thrown = true;
    }
    ::dup2(saved, 1);
    ::close(saved);
    EXPECT_FALSE(thrown);
    EXPECT_EQ(text(path("log")), "earlier\nappended\n");
    struct stat after{};
    ::stat(path("log").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(names(), (std::vector<std::string>{"log"}));
}

// Every name of a file with hard links sees the new contents; nothing is split off.
TEST_F(AtomicWrites, AFileWithOtherHardLinksIsRewrittenInPlace) {
    put(path("a"), "old contents, longer than the new");
    ASSERT_EQ(::link(path("a").c_str(), path("b").c_str()), 0);
    put(path("a"), "new");
    EXPECT_EQ(text(path("a")), "new");
    EXPECT_EQ(text(path("b")), "new");
    struct stat st{};
    ::stat(path("a").c_str(), &st);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(AtomicWrites, AReplacedFileKeepsItsOwnerAndGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "changing a file's owner needs root";
    put(path("owned"), "old");
    ASSERT_EQ(::chown(path("owned").c_str(), 65534, 65534), 0);
    put(path("owned"), "new");
    struct stat st{};
    ::stat(path("owned").c_str(), &st);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(text(path("owned")), "new");
}

// As cp refuses a write-protected file, so does the write: run as a user other than root, who
// may write anything.
TEST_F(AtomicWrites, AWriteProtectedFileIsRefused) {
    put(path("protected"), "old");
    ASSERT_EQ(::chmod(path("protected").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path("protected").c_str(), 65534, 65534), 0);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        try {
            put(path("protected"), "new");
        } catch (const RuntimeError& e) {
            ::_exit(e.number() == 70 ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: written, 2: another error, 3: no other user";
    EXPECT_EQ(text(path("protected")), "old");
    EXPECT_EQ(names(), (std::vector<std::string>{"protected"}));
}

// In a sticky folder such as /tmp only a file's owner (or the folder's) may replace it, however
// open its mode: the write is refused before the file is written, and the file stays. The user's
// own file there, and another's file with other names (rewritten in place), are written.
TEST_F(AtomicWrites, AnotherUsersFileInAStickyFolderIsRefusedAtOnce) {
    if (::geteuid() != 0) GTEST_SKIP() << "files of other users are made as root";
    ASSERT_EQ(::chmod(dir.c_str(), 01777), 0);
    for (const char* name : {"theirs", "mine", "linked"}) {
        put(path(name), "old");
        ASSERT_EQ(::chmod(path(name).c_str(), 0666), 0);
    }
    ASSERT_EQ(::chown(path("theirs").c_str(), 65533, 65533), 0);
    ASSERT_EQ(::chown(path("linked").c_str(), 65533, 65533), 0);
    ASSERT_EQ(::link(path("linked").c_str(), path("linked2").c_str()), 0);
    ASSERT_EQ(::chown(path("mine").c_str(), 65534, 65534), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        if (replacementRefusal(path("theirs")) != 70) ::_exit(4);
        try {
            AtomicFile f(path("theirs"));
            ::_exit(1);
        } catch (const RuntimeError& e) {
            if (e.number() != 70) ::_exit(2);
        }
        try {
            put(path("mine"), "new");
            put(path("linked"), "new");
        } catch (const RuntimeError&) {
            ::_exit(5);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not refused, 2: another error, 3: no other user, 4: not found refused, "
                                         "5: the user's own file or a linked one refused";
    EXPECT_EQ(text(path("theirs")), "old");
    EXPECT_EQ(text(path("mine")), "new");
    EXPECT_EQ(text(path("linked2")), "new");
    EXPECT_EQ(names(), (std::vector<std::string>{"linked", "linked2", "mine", "theirs"}));
    // Root may replace anyone's file.
    EXPECT_EQ(replacementRefusal(path("theirs")), 0);
}

TEST_F(AtomicWrites, AGroupRenamesEverythingTogetherOrNothing) {
    put(path("a"), "old a");
    put(path("b"), "old b");
    {
        AtomicFileGroup group;
        group.collect([&] {
            put(path("a"), "new a");
            put(path("b"), "new b");
        });
        EXPECT_EQ(group.size(), 2u);
        EXPECT_EQ(text(path("a")), "old a"); // held back
        EXPECT_EQ(names().size(), 4u);      // two targets, two finished temporary files
        group.commitAll();
    }
    EXPECT_EQ(text(path("a")), "new a");
    EXPECT_EQ(text(path("b")), "new b");

    // The third write fails: the first two never replace anything.
    {
        AtomicFileGroup group;
        EXPECT_THROW(group.collect([&] {
            put(path("a"), "newer a");
            put(path("b"), "newer b");
            put(path("no-such-folder/c"), "c");
        }),
                     RuntimeError);
    }
    EXPECT_EQ(text(path("a")), "new a");
    EXPECT_EQ(text(path("b")), "new b");
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "b"}));

    // Outside collect() a write commits at once.
    AtomicFileGroup idle;
    put(path("a"), "direct");
    EXPECT_EQ(text(path("a")), "direct");
    EXPECT_EQ(idle.size(), 0u);
}

// A rename that fails puts back what was renamed before it: an old file as it was, a new one gone.
TEST_F(AtomicWrites, ARenameThatFailsInAGroupPutsTheEarlierFilesBack) {
    put(path("first"), "old 1");
    AtomicFileGroup group;
    group.collect([&] {
        put(path("first"), "1");
        put(path("new"), "n");
        put(path("second"), "2");
        put(path("third"), "3");
    });
    // The second target turns into something a file cannot be renamed over.
    ASSERT_EQ(::mkdir(path("second.d").c_str(), 0700), 0);
    fs::rename(path("second.d"), path("second"));
    EXPECT_THROW(group.commitAll(), RuntimeError);
    EXPECT_EQ(group.failedTarget(), path("second"));
    EXPECT_EQ(text(path("first")), "old 1");
    EXPECT_FALSE(fs::exists(path("new")));
    EXPECT_FALSE(fs::exists(path("third")));
    EXPECT_TRUE(fs::is_directory(path("second")));
    EXPECT_EQ(names(), (std::vector<std::string>{"first", "second"}));
}

// A termination signal ends the program with 128 + its number, unless the program was started
// ignoring it (nohup, a script's background job): then it goes on.
TEST(TerminationSignals, EndTheProgramUnlessTheyWereIgnoredAtStart) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        for (const bool ignored : {false, true}) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
                removeTemporaryFilesOnTermination();
                ::raise(signal);
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status)) << signal;
            EXPECT_EQ(WEXITSTATUS(status), ignored ? 0 : 128 + signal) << signal;
        }
}

// SIGQUIT (Ctrl-\) and SIGXCPU (ulimit -t) end the program by the signal itself, as without a
// handler, once the temporary files are gone: a file complete and named, waiting for the others
// of its group, was left behind. Ignored at start, they stay ignored.
TEST_F(AtomicWrites, QuitAndTheCpuLimitRemoveTheTemporaryFilesAndStillEndByTheSignal) {
    for (const int signal : {SIGQUIT, SIGXCPU})
        for (const bool ignored : {false, true}) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const rlimit noCore{0, 0};
                ::setrlimit(RLIMIT_CORE, &noCore);
                std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
                removeTemporaryFilesOnTermination();
                {
                    AtomicFileGroup group;
                    group.collect([&] { put(path("done"), "complete"); });
                    if (names().size() != 1) ::_exit(3); // the named temporary file
                    ::raise(signal);
                }
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            if (ignored) {
                ASSERT_TRUE(WIFEXITED(status)) << signal;
                EXPECT_EQ(WEXITSTATUS(status), 0) << signal;
            } else {
                ASSERT_TRUE(WIFSIGNALED(status)) << signal << " " << status;
                EXPECT_EQ(WTERMSIG(status), signal);
            }
            EXPECT_TRUE(names().empty()) << signal << ": " << names().front();
            for (const std::string& left : names()) fs::remove(path(left));
        }
}
