// A scoped cap on the process's writable private memory (its data: heaps and anonymous mappings), a
// little above what it holds now, so that a large allocation fails as it does when memory runs
// out, for tests of what a command does then. The data limit, unlike the address-space limit, also
// holds a thread's heap growing inside the room it reserved earlier.
#pragma once

#include <malloc.h>
#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace orv::test {

// From now on large blocks are mapped on their own and given back when freed, so that none is
// found free in the heap under a cap: call it before the test makes and frees its large pictures.
inline void mapLargeBlocks() {
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024);
}

class DataLimit {
public:
    explicit DataLimit(long long headroomBytes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        (void)headroomBytes; // a sanitizer's allocator reserves its own address space
#else
        mapLargeBlocks();
        malloc_trim(0);
        if (getrlimit(RLIMIT_DATA, &old_) != 0) return;
        std::ifstream status("/proc/self/status");
        long long sizeKb = 0;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmData:", 0) == 0) sizeKb = std::atoll(line.c_str() + 7);
        rlimit limited = old_;
        limited.rlim_cur = rlim_t(sizeKb * 1024 + headroomBytes);
        active_ = sizeKb > 0 && limited.rlim_cur <= old_.rlim_max && setrlimit(RLIMIT_DATA, &limited) == 0;
#endif
    }
    ~DataLimit() {
        if (active_) setrlimit(RLIMIT_DATA, &old_);
    }
    DataLimit(const DataLimit&) = delete;
    DataLimit& operator=(const DataLimit&) = delete;

    // False where the cap cannot be set (under a sanitizer): the test is then skipped.
    bool active() const { return active_; }

private:
    rlimit old_{};
    bool active_ = false;
};

} // namespace orv::test
