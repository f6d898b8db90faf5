// The atomic file write used for pictures, projects and preferences.
#include "base/atomic_file.h"

#include "base/runtime_error.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace orv {

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
    static std::mt19937 rng{std::random_device{}()};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        tmp_ = path_ + ".tmp" + std::to_string(rng() % 1000000);
        fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) throw RuntimeError(errno == EACCES || errno == EROFS ? 70 : 75);
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(tmp_.c_str());
}

void AtomicFile::write(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw RuntimeError(errno == ENOSPC ? 61 : 75);
        }
        done += std::size_t(n);
    }
}

void AtomicFile::commit() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw RuntimeError(61);
    if (std::rename(tmp_.c_str(), path_.c_str()) != 0) throw RuntimeError(75);
    committed_ = true;
}

void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    AtomicFile f(path);
    f.write(bytes.data(), bytes.size());
    f.commit();
}

} // namespace orv
