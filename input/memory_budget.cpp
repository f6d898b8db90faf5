// Reading the memory left from /proc, the resource limits and the control group.
#include "input/memory_budget.h"

#include "base/runtime_error.h"

#include <algorithm>
#include <atomic>
#include <fstream>
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

std::uint64_t readNumber(const char* path) {
    std::ifstream in(path);
    std::uint64_t v = 0;
    return in >> v ? v : kUnlimited; // "max" and absent files read as no limit
}

std::uint64_t controlGroupLeft() {
    std::uint64_t limit = readNumber("/sys/fs/cgroup/memory.max");
    std::uint64_t used = readNumber("/sys/fs/cgroup/memory.current");
    if (limit == kUnlimited) {
        limit = readNumber("/sys/fs/cgroup/memory/memory.limit_in_bytes");
        used = readNumber("/sys/fs/cgroup/memory/memory.usage_in_bytes");
    }
    if (limit >= (std::uint64_t(1) << 62) || used == kUnlimited) return kUnlimited;
    return limit > used ? limit - used : 0;
}

} // namespace

std::uint64_t availableMemory() {
    std::uint64_t virtualBytes = 0, dataBytes = 0;
    processSizes(virtualBytes, dataBytes);
    std::uint64_t left = std::min({systemAvailable(), leftUnder(RLIMIT_AS, virtualBytes),
                                   leftUnder(RLIMIT_DATA, dataBytes), controlGroupLeft()});
    const std::uint64_t cap = ceiling.load();
    if (cap) left = std::min(left, cap);
    return left;
}

void setMemoryCeiling(std::uint64_t bytes) { ceiling.store(bytes); }

std::uint64_t pictureMemoryNeed(int w, int h, std::uint64_t decoderBytes) {
    const std::uint64_t cells = std::uint64_t((w + 3) / 4 * 4) * std::uint64_t((h + 3) / 4 * 4) * 3;
    return cells + decoderBytes + 2 * cells;
}

std::uint64_t deepSeriesMemoryNeed(const std::vector<DeepPictureSize>& pictures) {
    auto cells = [](int w, int h) { return std::uint64_t((w + 3) / 4 * 4) * std::uint64_t((h + 3) / 4 * 4) * 3; };
    auto samples = [](int w, int h, int c) { return std::uint64_t(w) * std::uint64_t(h) * std::uint64_t(c) * 2; };
    if (pictures.empty()) return 0;
    std::uint64_t need = 0, largest = 0;
    for (const DeepPictureSize& p : pictures) {
        need += cells(p.width, p.height);
        largest = std::max(largest, samples(p.width, p.height, p.channels));
    }
    need += largest;
    const DeepPictureSize& first = pictures.front();
    return need + 2 * cells(first.width, first.height) + samples(first.width, first.height, 3);
}

void requireMemory(std::uint64_t bytes) {
    if (bytes > availableMemory()) throw RuntimeError(7);
}

} // namespace orv
