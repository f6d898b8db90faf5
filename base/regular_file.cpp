// Whole regular files.
#include "base/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

FileRead readRegularFile(const std::string& path, std::string& text) {
    text.clear();
    // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::Unreadable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return FileRead::NotRegular;
    }
    std::string bytes;
    bytes.reserve(std::size_t(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return FileRead::Unreadable;
        }
        break;
    }
    ::close(fd);
    text = std::move(bytes);
    return FileRead::Ok;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string absoluteFileName(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::string folder;
    for (std::size_t size = 256; folder.empty(); size *= 2) {
        std::string buffer(size, '\0');
        if (::getcwd(buffer.data(), buffer.size())) {
            folder = buffer.c_str();
        } else if (errno != ERANGE) {
            return path;
        }
    }
    std::string name = path;
    while (name.size() > 2 && name.compare(0, 2, "./") == 0) name.erase(0, 2);
    return folder + (folder == "/" ? "" : "/") + name;
}

} // namespace orv
