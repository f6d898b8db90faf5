// The desktop program started with standard output and error closed: the files it opens must not
// take their numbers, or Qt's and the libraries' messages would be written into them.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string fdTarget(pid_t pid, int fd) {
    std::error_code ec;
    const fs::path link = fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), ec);
    return ec ? std::string() : link.native();
}

TEST(StandardDescriptors, TheDesktopProgramHoldsClosedOnesOnDevNull) {
    // A copy of the program in a folder of its own, so its preferences are written there.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path program = fs::path(folder.path().toStdString()) / "orvanta";
    fs::copy_file(ORVANTA_PROGRAM_PATH, program);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(1);
        ::close(2);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Once the program has its windows up (the splash), each held descriptor is /dev/null. A loaded
    // machine may take many seconds to start it: the wait ends as soon as it is up with both held.
    // Before its own start-up runs, the loader (and a sanitizer's runtime) may have files open under
    // those numbers for a moment, or none: only a program that never holds them waits it out.
    std::string out, err;
    for (int i = 0; i < 3000; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        out = fdTarget(pid, 1);
        err = fdTarget(pid, 2);
        const bool up = fs::exists("/proc/" + std::to_string(pid) + "/fd/3") && !fdTarget(pid, 4).empty();
        if (up && out == "/dev/null" && err == "/dev/null") break;
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(out, "/dev/null");
    EXPECT_EQ(err, "/dev/null");
}

} // namespace
