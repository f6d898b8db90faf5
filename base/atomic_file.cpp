// The atomic file write used for pictures, projects and preferences, and the group that commits
// several of them together.
#include "base/atomic_file.h"

#include "base/runtime_error.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

thread_local AtomicFileGroup* currentGroup = nullptr;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::size_t nameMaxOf(const std::string& folder) {
    const long n = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return n > 0 ? std::size_t(n) : 255;
}

} // namespace

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
    if (name.size() + suffix.size() > nameMax)
        name.resize(nameMax > suffix.size() ? nameMax - suffix.size() : 0);
    return folder + name + suffix;
}

AtomicFile::AtomicFile(std::string path) : target_(followLinks(path)) {
    struct stat st{};
    if (::stat(target_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) throw RuntimeError(75);
        mode_ = int(st.st_mode & 07777);
    }
    thread_local std::mt19937 rng{std::random_device{}()};
    const std::size_t nameMax = nameMaxOf(folderOf(target_));
    // A new file gets what the umask leaves of 0666; a replaced one is given its old bits when
    // it is complete, and until then only its owner can read it.
    const mode_t createMode = mode_ < 0 ? 0666 : 0600;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        tmp_ = temporaryNameFor(target_, std::to_string(100000 + rng() % 900000), nameMax);
        fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
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
    if (mode_ >= 0 && ::fchmod(fd, mode_t(mode_)) != 0) {
        ::close(fd);
        throw RuntimeError(75);
    }
    if (::close(fd) != 0) throw RuntimeError(61);
    if (currentGroup) {
        currentGroup->staged_.push_back({tmp_, target_});
    } else if (std::rename(tmp_.c_str(), target_.c_str()) != 0) {
        throw RuntimeError(75);
    }
    committed_ = true;
}

AtomicFileGroup::~AtomicFileGroup() {
    for (const Staged& s : staged_) ::unlink(s.tmp.c_str());
}

void AtomicFileGroup::collect(const std::function<void()>& write) {
    struct Current {
        AtomicFileGroup* outer = currentGroup;
        explicit Current(AtomicFileGroup* g) { currentGroup = g; }
        ~Current() { currentGroup = outer; }
    } current(this);
    write();
}

void AtomicFileGroup::commitAll() {
    std::size_t done = 0;
    for (; done < staged_.size(); ++done) {
        const Staged& s = staged_[done];
        if (std::rename(s.tmp.c_str(), s.target.c_str()) != 0) break;
    }
    staged_.erase(staged_.begin(), staged_.begin() + std::ptrdiff_t(done));
    if (!staged_.empty()) throw RuntimeError(75); // the destructor removes the rest
}

void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    AtomicFile f(path);
    f.write(bytes.data(), bytes.size());
    f.commit();
}

} // namespace orv
