// Exclusive creation of the temporary BMP and the detached start of the conversion program.
#include "output/temp_bmp.h"

#include "base/numbers.h"
#include "base/runtime_error.h"

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <random>
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

bool qtStartDetached(const ProgramStart& start) {
    QStringList args;
    for (const std::string& a : start.arguments) args << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(start.program), args);
}

int openExclusive(std::string& path) {
    std::string folder = QDir::tempPath().toStdString();
    // Qt gives an empty path when TMPDIR names a folder that does not exist; the file would
    // then land in the root folder.
    if (folder.empty()) folder = "/tmp";
    // 26^3 names: a few hundred draws find a free one unless the folder is unusable.
    for (int attempt = 0; attempt < 500; ++attempt) {
        std::string name = folder + "/vrktemp";
        for (int i = 0; i < 3; ++i) name += randomLetter();
        name += ".bmp";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            path = name;
            return fd;
        }
        if (errno != EEXIST) break;
    }
    throw RuntimeError(75);
}

} // namespace

void setTempBmpRandom(std::function<double()> uniform) { randomSource() = std::move(uniform); }

std::string createTempBmp() {
    std::string path;
    ::close(openExclusive(path));
    return path;
}

std::string writeTempBmp(const BgrView& view) {
    const std::vector<std::uint8_t> bytes = encodeBmp24(view);
    std::string path;
    const int fd = openExclusive(path);
    std::size_t done = 0;
    int failure = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failure = errno == ENOSPC ? 61 : 75;
            break;
        }
        done += std::size_t(n);
    }
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

bool startDetached(const ProgramStart& start) {
    return starter() ? starter()(start) : qtStartDetached(start);
}

} // namespace orv
