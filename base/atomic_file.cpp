// The atomic whole-file write used for pictures, projects and preferences.
#include "base/atomic_file.h"

#include "base/runtime_error.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace orv {

void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    static std::mt19937 rng{std::random_device{}()};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = path + ".tmp" + std::to_string(rng() % 1000000);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw RuntimeError(errno == EACCES || errno == EROFS ? 70 : 75);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            throw RuntimeError(err == ENOSPC ? 61 : 75);
        }
        done += std::size_t(n);
    }
    if (::close(fd) != 0) {
        ::unlink(tmp.c_str());
        throw RuntimeError(61);
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw RuntimeError(75);
    }
}

} // namespace orv
