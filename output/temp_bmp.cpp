// Exclusive creation of the temporary BMP and the detached start of the conversion program.
#include "output/temp_bmp.h"

#include "base/numbers.h"
#include "base/runtime_error.h"

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

std::function<double()>& randomSource() {
    static std::function<double()> source;
    return source;
}

double defaultUniform() {
    static std::mt19937_64 rng{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng);
}

char randomLetter() {
    const double r = randomSource() ? randomSource()() : defaultUniform();
    const double code = roundHalfEven(r * 25.0 + 97.0);
    // Guards against a scripted source outside [0, 1).
    return char(std::clamp(code, 97.0, 122.0));
}

DetachedStarter& starter() {
    static DetachedStarter s;
    return s;
}

// posix_spawn with the names' bytes as they are (a file name need not be valid UTF-8), in a
// session of its own; a thread reaps the program when it ends, so no zombie is left.
bool spawnDetached(const ProgramStart& start, const ProgramEnded& ended, int* failure) {
    std::vector<std::string> words{start.program};
    words.insert(words.end(), start.arguments.begin(), start.arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    if (const int error = posix_spawnattr_init(&attr); error != 0) {
        if (failure) *failure = error;
        return false;
    }
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, start.program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (failed) {
        if (failure) *failure = failed;
        return false;
    }
    try {
        std::thread([pid, ended] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (ended) {
                ended->status = status;
                ended->ended = true;
                if (ended->onEnd) ended->onEnd();
            }
        }).detach();
    } catch (...) {
        // Without a thread the ended program stays a zombie until this one exits; it has started.
        // Whether it has ended is not known then, so it is taken for running.
    }
    return true;
}

int openExclusive(std::string& path, const std::string& folder, const char* ending = ".bmp") {
    // 26^3 names: a few hundred draws find a free one unless the folder is unusable.
    for (int attempt = 0; attempt < 500; ++attempt) {
        std::string name = folder + "/vrktemp";
        for (int i = 0; i < 3; ++i) name += randomLetter();
        name += ending;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            path = name;
            return fd;
        }
        if (errno != EEXIST) break;
    }
    throw RuntimeError(75);
}

// Writes all `size` bytes unless the disk refuses them: 0, else the error to raise.
int writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == ENOSPC ? 61 : 75;
        }
        data += n;
        size -= std::size_t(n);
    }
    return 0;
}

} // namespace

std::string temporaryBmpFolder() {
    // The variable's bytes as they are: a folder name need not be valid UTF-8.
    const char* env = std::getenv("TMPDIR");
    std::string folder = env ? env : "";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat st{};
    // The conversion program's argument is split at its first comma, so the temporary file's
    // path must not hold one.
    if (folder.empty() || folder.find(',') != std::string::npos || ::stat(folder.c_str(), &st) != 0 ||
        !S_ISDIR(st.st_mode))
        return "/tmp";
    return folder;
}

void setTempBmpRandom(std::function<double()> uniform) { randomSource() = std::move(uniform); }

std::string createTempBmp() {
    std::string path;
    ::close(openExclusive(path, temporaryBmpFolder()));
    return path;
}

std::string makePrivateTemporaryFolder() {
    std::string name = temporaryBmpFolder() + "/orvanta-XXXXXX";
    // mkdtemp makes a new folder only its owner may enter (mode 0700).
    if (!::mkdtemp(name.data())) throw RuntimeError(errno == ENOSPC ? 61 : 75);
    return name;
}

std::string writeTempBmp(const BgrView& view, const WriteProgress& progress, const std::string& folder) {
    const std::vector<std::uint8_t> header = bmpHeader(view); // an empty picture makes no file
    std::string path;
    const int fd = openExclusive(path, folder.empty() ? temporaryBmpFolder() : folder);
    int failure = 0;
    // Written by bands of about 1 MB: a large montage is not copied whole once more first.
    const auto put = [&](const std::uint8_t* data, std::size_t size) {
        if (!failure) failure = writeAll(fd, data, size);
    };
    put(header.data(), header.size());
    const std::size_t rowBytes = (std::size_t(view.width) * 3 + 3) / 4 * 4;
    const int rowsPerBand = int(std::max<std::size_t>(1, (std::size_t(1) << 20) / rowBytes));
    std::vector<std::uint8_t> band;
    for (int y = 0; y < view.height && !failure; y += rowsPerBand) {
        const int n = std::min(rowsPerBand, view.height - y);
        band.assign(rowBytes * std::size_t(n), 0);
        for (int r = 0; r < n; ++r)
            std::memcpy(&band[rowBytes * std::size_t(r)], view.bits + view.stride * std::size_t(y + r),
                        std::size_t(view.width) * 3);
        put(band.data(), band.size());
        if (!failure && progress && !progress(y + n, view.height)) failure = kUserInterrupt;
    }
    if (::close(fd) != 0 && !failure) failure = 61;
    if (failure) {
        ::unlink(path.c_str()); // ours: created exclusively above
        throw RuntimeError(failure);
    }
    return path;
}

std::string writeTempPng(const std::vector<std::uint8_t>& png, const std::string& folder) {
    std::string path;
    const int fd = openExclusive(path, folder, ".png");
    int failure = writeAll(fd, png.data(), png.size());
    if (::close(fd) != 0 && !failure) failure = 61;
    if (failure) {
        ::unlink(path.c_str()); // ours: created exclusively above
        throw RuntimeError(failure);
    }
    return path;
}

ProgramStart conversionStart(const std::string& programFolder, const std::string& tempBmp,
                             const std::string& target) {
    std::string program = programFolder;
    if (!program.empty() && program.back() != '/') program += '/';
    program += "orvantajpeg";
    return ProgramStart{program, {tempBmp + "," + target}};
}

void setDetachedStarter(DetachedStarter s) { starter() = std::move(s); }

bool startDetached(const ProgramStart& start, const ProgramEnded& ended, int* failure) {
    if (failure) *failure = 0;
    if (!starter()) return spawnDetached(start, ended, failure);
    const bool started = starter()(start);
    if (ended) ended->ended = true;
    return started;
}

} // namespace orv
