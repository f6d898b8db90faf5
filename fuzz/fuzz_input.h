// What every fuzz target needs: the input bytes as a file the code under test can open by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace orv::fuzz {

// A memory-backed file holding the current input, named "/proc/self/fd/N": a regular file to
// every reader, without touching the disk.
inline std::string asFile(const std::uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (::ftruncate(fd, 0) != 0) return {};
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, off_t(done));
        if (n <= 0) return {};
        done += std::size_t(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace orv::fuzz
