// The names and bytes of the atomic file write: temporary names beside a target, the files made
// under them or without a name, links followed, and whole writes and copies.
#include "base/atomic_file.h"
#include "base/atomic_file_parts.h"

#include "base/runtime_error.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orv {

namespace atomic_parts {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::size_t nameMaxOf(const std::string& folder) {
    const long n = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return n > 0 ? std::size_t(n) : 255;
}

std::string randomTag() {
    thread_local std::mt19937 rng{std::random_device{}()};
    return std::to_string(100000 + rng() % 900000);
}

int errorFor(int err) {
    if (err == ENOSPC || err == EDQUOT) return 61;
    if (err == EACCES || err == EPERM || err == EROFS) return 70;
    return 75;
}

int createBeside(const std::string& target, const std::string& prefix, mode_t mode, std::string& name, int& slot) {
    const std::size_t nameMax = nameMaxOf(folderOf(target));
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        name = temporaryNameFor(target, prefix + randomTag(), nameMax);
        slot = rememberTemporary(name);
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) break;
        const int err = errno;
        forgetTemporary(slot);
        errno = err;
        if (err != EEXIST) break;
    }
    return fd;
}

bool nameUnnamed(int fd, const std::string& target, std::string& name, int& slot) {
    const std::size_t nameMax = nameMaxOf(folderOf(target));
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryNameFor(target, randomTag(), nameMax);
        slot = rememberTemporary(name);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        const int err = errno;
        forgetTemporary(slot);
        errno = err;
        if (err != EEXIST) break;
    }
    name.clear();
    return false;
}

int unnamedFile() {
    const char* env = std::getenv("TMPDIR");
    for (const std::string& folder : {std::string(env && *env ? env : "/tmp"), std::string("/tmp")}) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) return fd;
        std::string name = folder + "/orvanta-XXXXXX";
        const int named = ::mkostemp(name.data(), O_CLOEXEC);
        if (named >= 0) {
            ::unlink(name.c_str());
            return named;
        }
    }
    throw RuntimeError(75);
}

void writeAll(int fd, const void* data, std::size_t size, bool systemReason) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        stopIfTerminated();
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // A descriptor left non-blocking by whoever opened it: wait until it takes more.
                pollfd ready{fd, POLLOUT, 0};
                ::poll(&ready, 1, -1);
                continue;
            }
            const int err = errno;
            const int number = errorFor(err) == 70 ? 75 : errorFor(err);
            if (systemReason) throw RuntimeError(number, std::strerror(err));
            throw RuntimeError(number);
        }
        done += std::size_t(n);
    }
}

void copyAll(int from, int to, bool systemReason) {
    if (::lseek(from, 0, SEEK_SET) < 0) throw RuntimeError(75);
    char buffer[1 << 16];
    for (;;) {
        stopIfTerminated();
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw RuntimeError(75);
        }
        if (n == 0) return;
        writeAll(to, buffer, std::size_t(n), systemReason);
    }
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace atomic_parts

int descriptorNamed(const std::string& path) {
    if (path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1") return 1;
    if (path == "/dev/stderr" || path == "/dev/fd/2" || path == "/proc/self/fd/2") return 2;
    return -1;
}

std::string followLinks(const std::string& path) {
    std::string p = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st{};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::string link(std::size_t(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n <= 0) return p;
        link.resize(std::size_t(n));
        if (link[0] == '/') {
            p = link;
        } else {
            const std::size_t slash = p.rfind('/');
            p = slash == std::string::npos ? link : p.substr(0, slash + 1) + link;
        }
    }
    throw RuntimeError(75); // a loop of links
}

std::string temporaryNameFor(const std::string& target, const std::string& tag, std::size_t nameMax) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string suffix = ".tmp" + tag;
    // A target just short of the longest path must not get a temporary name that is too long.
    const std::size_t pathRoom = folder.size() < PATH_MAX - 1 ? PATH_MAX - 1 - folder.size() : 0;
    const std::size_t room = std::min(nameMax, pathRoom);
    if (name.size() + suffix.size() > room) name.resize(room > suffix.size() ? room - suffix.size() : 0);
    return folder + name + suffix;
}

namespace {

// CAP_FOWNER (root, as a rule) lets a process replace any file of a sticky folder.
bool mayReplaceOthersFiles() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) return ::geteuid() == 0;
    return (data[CAP_FOWNER / 32].effective & (1u << (CAP_FOWNER % 32))) != 0;
}

} // namespace

int replacementRefusal(const std::string& target) {
    if (target.size() >= PATH_MAX) return 75;
    const std::string folder = atomic_parts::folderOf(target);
    const std::size_t slash = target.rfind('/');
    const std::size_t nameLength = slash == std::string::npos ? target.size() : target.size() - slash - 1;
    if (nameLength > atomic_parts::nameMaxOf(folder)) return 75;
    // The temporary files beside it need room for their endings (".tmpold" and six digits) after
    // the folder, however much of the file name they keep.
    if (target.size() - nameLength + std::strlen(".tmpold123456") >= PATH_MAX) return 75;
    // A file with other names is rewritten in place, not renamed over.
    struct stat file{}, dir{};
    if (::stat(target.c_str(), &file) != 0 || !S_ISREG(file.st_mode) || file.st_nlink > 1) return 0;
    if (::stat(folder.c_str(), &dir) != 0 || !(dir.st_mode & S_ISVTX)) return 0;
    const uid_t me = ::geteuid();
    if (file.st_uid == me || dir.st_uid == me || mayReplaceOthersFiles()) return 0;
    return 70;
}

} // namespace orv
