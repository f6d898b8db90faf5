// Allocator settings.
#include "base/memory_tuning.h"

#include <cstdlib> // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orv {

namespace {
bool keepingPictureMemory = false;
} // namespace

void keepPictureMemory() {
#if defined(__GLIBC__)
    keepingPictureMemory = true;
    // Setting either value also stops the allocator from moving both on its own.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}

void releasePictureMemory(const std::function<void()>& release) {
#if defined(__GLIBC__)
    // A heap of another thread gives back the free memory at its top only when that passes the
    // trim threshold, which a heap of at most 64 MiB never does at 128 MiB: lowered while the
    // pictures are freed. Free blocks below others go back through malloc_trim.
    // (Without keepPictureMemory the allocator sets the threshold itself, and keeps doing so.)
    if (keepingPictureMemory) mallopt(M_TRIM_THRESHOLD, 0);
    release();
    malloc_trim(0);
    if (keepingPictureMemory) mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#else
    release();
#endif
}

} // namespace orv
