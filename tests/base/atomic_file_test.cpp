// Atomic writes against what a file system holds: long names, modes, links, files that are not
// regular, and groups of outputs that appear together or not at all.
#include "base/atomic_file.h"
#include "base/runtime_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
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

TEST_F(AtomicWrites, WhatIsNotARegularFileIsNeverReplaced) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(path("folder").c_str(), 0700), 0);
    for (const char* name : {"fifo", "folder"}) {
        try {
            put(path(name), "x");
            ADD_FAILURE() << name;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 75);
        }
    }
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
    EXPECT_TRUE(fs::is_directory(path("folder")));
    EXPECT_EQ(names(), (std::vector<std::string>{"fifo", "folder"}));
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

TEST_F(AtomicWrites, ARenameThatFailsInAGroupRemovesWhatIsLeft) {
    AtomicFileGroup group;
    group.collect([&] {
        put(path("first"), "1");
        put(path("second"), "2");
    });
    // The folder of the second target turns into something a file cannot be renamed over.
    ASSERT_EQ(::mkdir(path("second.d").c_str(), 0700), 0);
    fs::rename(path("second.d"), path("second"));
    EXPECT_THROW(group.commitAll(), RuntimeError);
    EXPECT_EQ(text(path("first")), "1");
    EXPECT_EQ(group.size(), 1u);
}
