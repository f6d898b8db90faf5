// The memory left under the process's control groups, read from a folder laid out as /proc and
// /sys/fs/cgroup are: a batch job's or a desktop scope's limit sits on the process's own group or
// one above it, never on the hierarchy's root, where nothing was read before.
#include "input/memory_budget.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace orv {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

// A folder holding the files the reading looks at, under their system paths.
class Tree {
public:
    Tree() {
        static int made = 0;
        std::string name = "orvanta-cgroup-";
        name += std::to_string(::getpid());
        name += '-';
        name += std::to_string(++made);
        root_ = fs::temp_directory_path() / name;
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~Tree() { fs::remove_all(root_); }
    void write(const std::string& path, const std::string& text) const {
        const fs::path p = root_ / path.substr(1);
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
    std::uint64_t left() const { return controlGroupLeft(ControlGroupFiles{root_.string()}); }

private:
    fs::path root_;
};

const char* const kUnifiedMount = "24 18 0:22 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:9 - cgroup2 cgroup2 rw,nsdelegate\n";

TEST(ControlGroups, TheUnifiedHierarchyIsReadFromTheProcessesOwnGroupUpToTheRoot) {
    Tree t;
    t.write("/proc/self/cgroup", "0::/user.slice/user-1000.slice/app.scope\n");
    std::string mounts = "22 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n";
    mounts += kUnifiedMount;
    t.write("/proc/self/mountinfo", mounts);
    const std::string base = "/sys/fs/cgroup/user.slice";
    // No limit on the scope itself; 1000 bytes on the user's slice, 600 used of which 100 is page
    // cache the kernel can drop (not the pages mapped into processes, nor tmpfs files).
    t.write(base + "/user-1000.slice/app.scope/memory.max", "max\n");
    t.write(base + "/user-1000.slice/app.scope/memory.current", "400\n");
    t.write(base + "/user-1000.slice/memory.max", "1000\n");
    t.write(base + "/user-1000.slice/memory.current", "600\n");
    t.write(base + "/user-1000.slice/memory.stat", "anon 400\nfile 200\nfile_mapped 60\nshmem 40\ninactive_file 150\n");
    EXPECT_EQ(t.left(), 500u);
    // A tighter limit lower down wins; one that is used up leaves nothing.
    t.write(base + "/user-1000.slice/app.scope/memory.max", "450\n");
    EXPECT_EQ(t.left(), 50u);
    t.write(base + "/user-1000.slice/app.scope/memory.current", "470\n");
    EXPECT_EQ(t.left(), 0u);
}

TEST(ControlGroups, TheMemoryControllersOwnHierarchyIsReadBelowItsMountsRoot) {
    Tree t;
    // A container without its own group namespace: the mount shows the container's group as root.
    t.write("/proc/self/cgroup", "5:cpu,cpuacct:/docker/abc\n4:memory:/docker/abc/job\n0::/docker/abc\n");
    t.write("/proc/self/mountinfo",
            "30 25 0:26 / /sys/fs/cgroup ro - tmpfs tmpfs ro,mode=755\n"
            "35 30 0:31 /docker/abc /sys/fs/cgroup/memory rw,nosuid - cgroup cgroup rw,memory\n"
            "36 30 0:32 /docker/abc /sys/fs/cgroup/cpu,cpuacct rw,nosuid - cgroup cgroup rw,cpu,cpuacct\n"
            "37 30 0:33 /docker/abc /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n");
    t.write("/sys/fs/cgroup/memory/memory.limit_in_bytes", "2000\n");
    t.write("/sys/fs/cgroup/memory/memory.usage_in_bytes", "500\n");
    t.write("/sys/fs/cgroup/memory/memory.stat",
            "cache 999\nmapped_file 999\ntotal_cache 300\ntotal_mapped_file 60\ntotal_shmem 40\n");
    t.write("/sys/fs/cgroup/memory/job/memory.limit_in_bytes", "9223372036854771712\n");
    t.write("/sys/fs/cgroup/memory/job/memory.usage_in_bytes", "100\n");
    // The memory controller is not in the unified hierarchy here: its files there are not read.
    t.write("/sys/fs/cgroup/unified/memory.max", "10\n");
    t.write("/sys/fs/cgroup/unified/memory.current", "10\n");
    EXPECT_EQ(t.left(), 1700u);
    // Cache that is all mapped or shared gives nothing back.
    t.write("/sys/fs/cgroup/memory/memory.stat", "total_cache 300\ntotal_mapped_file 200\ntotal_shmem 200\n");
    EXPECT_EQ(t.left(), 1500u);
}

TEST(ControlGroups, NoLimitAnywhereOrNothingToReadIsNoLimit) {
    Tree t;
    EXPECT_EQ(t.left(), kNone); // no /proc files at all
    t.write("/proc/self/cgroup", "0::/\n");
    t.write("/proc/self/mountinfo", kUnifiedMount);
    EXPECT_EQ(t.left(), kNone); // the root group has no memory.max
    t.write("/proc/self/cgroup", "0::/system.slice/x.service\n");
    t.write("/sys/fs/cgroup/system.slice/x.service/memory.max", "max\n");
    t.write("/sys/fs/cgroup/system.slice/x.service/memory.current", "12345\n");
    t.write("/sys/fs/cgroup/system.slice/memory.max", "max\n");
    EXPECT_EQ(t.left(), kNone);
    // A group outside what the mount shows (a mount of another group's subtree) is not guessed at.
    t.write("/proc/self/cgroup", "4:memory:/jobs/job12\n");
    t.write("/proc/self/mountinfo", "35 30 0:31 /jobs/job1 /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n");
    t.write("/sys/fs/cgroup/memory/memory.limit_in_bytes", "100\n");
    t.write("/sys/fs/cgroup/memory/memory.usage_in_bytes", "10\n");
    EXPECT_EQ(t.left(), kNone);
}

TEST(ControlGroups, TheMemoryLeftIsNoMoreThanTheProcessesGroupsLeave) {
    EXPECT_LE(availableMemory(), controlGroupLeft(ControlGroupFiles{}));
}

} // namespace
} // namespace orv
