// Allocator settings.
#include "base/memory_tuning.h"

#include <cstdlib> // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orv {

void keepPictureMemory() {
#if defined(__GLIBC__)
    // Setting either value also stops the allocator from moving both on its own.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}

} // namespace orv
