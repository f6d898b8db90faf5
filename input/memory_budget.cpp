// Reading the memory left from /proc, the resource limits and the control group.
#include "input/memory_budget.h"

#include "base/deep_picture.h"
#include "base/runtime_error.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace orv {

namespace {

constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();

std::atomic<std::uint64_t> ceiling{0};

// "MemAvailable" and "SwapFree" of /proc/meminfo, in bytes; unlimited when unreadable.
std::uint64_t systemAvailable() {
    std::ifstream in("/proc/meminfo");
    if (!in) return kUnlimited;
    std::string key;
    std::uint64_t kb = 0, total = 0;
    int found = 0;
    std::string unit;
    while (in >> key >> kb) {
        std::getline(in, unit);
        if (key == "MemAvailable:" || key == "SwapFree:") {
            total += kb * 1024;
            ++found;
        }
    }
    return found ? total : kUnlimited;
}

// Virtual size and data size of this process from /proc/self/statm, in bytes.
void processSizes(std::uint64_t& virtualBytes, std::uint64_t& dataBytes) {
    std::ifstream in("/proc/self/statm");
    std::uint64_t size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
    in >> size >> resident >> shared >> text >> lib >> data;
    const auto page = std::uint64_t(::sysconf(_SC_PAGESIZE));
    virtualBytes = size * page;
    dataBytes = data * page;
}

std::uint64_t leftUnder(int resource, std::uint64_t used) {
    struct rlimit rl{};
    if (::getrlimit(resource, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return kUnlimited;
    const auto limit = std::uint64_t(rl.rlim_cur);
    return limit > used ? limit - used : 0;
}

} // namespace

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path);
    return in ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : std::string();
}

// A number of bytes from a control group's file; "max", a limit past 2^62 (what version 1 writes
// for none) and an absent or unreadable file read as no limit.
std::uint64_t readBytes(const std::string& path) {
    std::ifstream in(path);
    std::uint64_t v = 0;
    if (!(in >> v) || v >= (std::uint64_t(1) << 62)) return kUnlimited;
    return v;
}

// The page cache a group's memory.stat shows that the kernel would give back before it ran out:
// the file pages, less those mapped into a process and the shared memory (tmpfs files), which it
// cannot drop without swap.
std::uint64_t reclaimableCache(const std::string& path, bool unified) {
    std::ifstream in(path);
    std::string k;
    std::uint64_t v = 0, cache = 0, kept = 0;
    const char* cacheKey = unified ? "file" : "total_cache";
    const char* mappedKey = unified ? "file_mapped" : "total_mapped_file";
    const char* sharedKey = unified ? "shmem" : "total_shmem";
    while (in >> k >> v) {
        if (k == cacheKey) cache = v;
        if (k == mappedKey || k == sharedKey) kept += v;
    }
    return cache > kept ? cache - kept : 0;
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

bool hasOption(const std::string& options, const std::string& name) {
    std::istringstream in(options);
    std::string o;
    while (std::getline(in, o, ','))
        if (o == name) return true;
    return false;
}

// The memory left under one hierarchy: from the process's own group up to the hierarchy's root
// as mounted, the smallest of limit less usage (the usage without the page cache that the kernel
// would give back).
std::uint64_t leftInHierarchy(const ControlGroupFiles& files, const std::string& mountPoint, const std::string& mountRoot,
                              std::string group, bool unified) {
    // The group as seen from the mount: the mount's own root taken off its front.
    if (mountRoot != "/") {
        if (group.compare(0, mountRoot.size(), mountRoot) != 0 ||
            (group.size() > mountRoot.size() && group[mountRoot.size()] != '/'))
            return kUnlimited;
        group.erase(0, mountRoot.size());
    }
    const char* limitFile = unified ? "/memory.max" : "/memory.limit_in_bytes";
    const char* usageFile = unified ? "/memory.current" : "/memory.usage_in_bytes";
    std::uint64_t left = kUnlimited;
    for (;;) {
        while (group.size() > 1 && group.back() == '/') group.pop_back();
        const std::string dir = files.root + mountPoint + (group == "/" ? "" : group);
        const std::uint64_t limit = readBytes(dir + limitFile);
        if (limit != kUnlimited) {
            const std::uint64_t usage = readBytes(dir + usageFile);
            if (usage != kUnlimited) {
                const std::uint64_t cache = std::min(usage, reclaimableCache(dir + "/memory.stat", unified));
                const std::uint64_t used = usage - cache;
                left = std::min(left, limit > used ? limit - used : 0);
            }
        }
        if (group.empty() || group == "/") break;
        const std::size_t slash = group.rfind('/');
        group = slash == 0 || slash == std::string::npos ? "/" : group.substr(0, slash);
    }
    return left;
}

} // namespace

std::uint64_t controlGroupLeft(const ControlGroupFiles& files) {
    // The process's groups: "id:controllers:path", the unified hierarchy's with id 0 and no
    // controllers.
    std::string unifiedGroup, memoryGroup;
    bool inUnified = false, inMemory = false;
    {
        std::istringstream lines(readText(files.root + "/proc/self/cgroup"));
        std::string line;
        while (std::getline(lines, line)) {
            const std::size_t a = line.find(':'), b = a == std::string::npos ? a : line.find(':', a + 1);
            if (b == std::string::npos) continue;
            const std::string id = line.substr(0, a), controllers = line.substr(a + 1, b - a - 1), path = line.substr(b + 1);
            if (id == "0" && controllers.empty()) {
                unifiedGroup = path;
                inUnified = true;
            } else if (hasOption(controllers, "memory")) {
                memoryGroup = path;
                inMemory = true;
            }
        }
    }
    // Where each hierarchy is mounted, and which of its groups the mount shows as its root:
    // "id parent major:minor root mount-point options [optional fields] - type source super-options".
    std::uint64_t left = kUnlimited;
    std::istringstream lines(readText(files.root + "/proc/self/mountinfo"));
    std::string line;
    while (std::getline(lines, line)) {
        const std::vector<std::string> w = words(line);
        const auto dash = std::find(w.begin(), w.end(), "-");
        if (w.size() < 5 || dash == w.end() || std::distance(dash, w.end()) < 3) continue;
        const std::string& type = *(dash + 1);
        const std::string& superOptions = dash + 3 < w.end() ? *(dash + 3) : std::string();
        if (type == "cgroup2" && inUnified && !inMemory)
            left = std::min(left, leftInHierarchy(files, w[4], w[3], unifiedGroup, true));
        else if (type == "cgroup" && inMemory && hasOption(superOptions, "memory"))
            left = std::min(left, leftInHierarchy(files, w[4], w[3], memoryGroup, false));
    }
    return left;
}

std::uint64_t availableMemory() {
    std::uint64_t virtualBytes = 0, dataBytes = 0;
    processSizes(virtualBytes, dataBytes);
    std::uint64_t left = std::min({systemAvailable(), leftUnder(RLIMIT_AS, virtualBytes),
                                   leftUnder(RLIMIT_DATA, dataBytes), controlGroupLeft(ControlGroupFiles{})});
    const std::uint64_t cap = ceiling.load();
    if (cap) left = std::min(left, cap);
    return left;
}

void setMemoryCeiling(std::uint64_t bytes) { ceiling.store(bytes); }

std::uint64_t pictureMemoryNeed(int w, int h, std::uint64_t decoderBytes, MontageRoom room) {
    const std::uint64_t cells = std::uint64_t((w + 3) / 4 * 4) * std::uint64_t((h + 3) / 4 * 4) * 3;
    return cells + decoderBytes + (room == MontageRoom::StillToCome ? 2 * cells : 0);
}

std::uint64_t deepSeriesMemoryNeed(const std::vector<DeepPictureSize>& pictures, SavedMetadata metadata) {
    auto cells = [](int w, int h) { return std::uint64_t((w + 3) / 4 * 4) * std::uint64_t((h + 3) / 4 * 4) * 3; };
    auto samples = [](int w, int h, int c) { return std::uint64_t(w) * std::uint64_t(h) * std::uint64_t(c) * 2; };
    if (pictures.empty()) return 0;
    std::uint64_t need = 0, largest = 0;
    const DeepPictureSize& first = pictures.front();
    const std::uint64_t firstCells = cells(first.width, first.height);
    for (const DeepPictureSize& p : pictures) {
        // The stack holds every picture in cells of the first one's size; a picture of another
        // size is decoded at its own size first and held until the stack is filled from it.
        need += firstCells;
        if ((p.width + 3) / 4 != (first.width + 3) / 4 || (p.height + 3) / 4 != (first.height + 3) / 4)
            need += cells(p.width, p.height);
        largest = std::max(largest, samples(p.width, p.height, p.channels));
    }
    need += 3 * cells(first.width, first.height) + samples(first.width, first.height, 3);
    // The pictures are read, and let go, before the montage is encoded: the larger of the two is
    // held beside the montage at its fullest.
    const std::uint64_t file = encodedPictureBytes(first.width, first.height, 3, 16);
    return need + std::max(largest, metadata == SavedMetadata::WrittenIn ? 3 * file : file);
}

void requireMemory(std::uint64_t bytes) {
    if (bytes > availableMemory()) throw RuntimeError(7);
}

} // namespace orv
