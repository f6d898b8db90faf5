// Running a program with arguments passed as raw bytes (names that are not valid UTF-8), a time
// limit that turns a hang into a failure, and optional address-space and file-size limits for the child.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orv::test {

struct RawRun {
    std::string workingDir;          // empty: this process's
    std::uint64_t addressSpace = 0;  // RLIMIT_AS of the child in bytes; 0: none
    int timeoutSeconds = 60;
    std::uint64_t fileSize = 0;      // RLIMIT_FSIZE of the child in bytes (ulimit -f); 0: none
};

struct RawResult {
    int exitCode = -1;     // -1 when killed by a signal or by the time limit
    int signal = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Sanitizer builds reserve terabytes of address space: an address-space limit cannot be tested there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

inline RawResult runRaw(const std::string& program, const std::vector<std::string>& args,
                        const RawRun& how = {}) {
    RawResult r;
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return r;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (!how.workingDir.empty() && ::chdir(how.workingDir.c_str()) != 0) ::_exit(126);
        if (how.addressSpace) {
            struct rlimit rl{rlim_t(how.addressSpace), rlim_t(how.addressSpace)};
            ::setrlimit(RLIMIT_AS, &rl);
        }
        if (how.fileSize) {
            struct rlimit rl{rlim_t(how.fileSize), rlim_t(how.fileSize)};
            ::setrlimit(RLIMIT_FSIZE, &rl);
        }
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(how.timeoutSeconds);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, int(left.count())) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buffer, std::size_t(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& p : fds)
        if (p.fd >= 0) ::close(p.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && !r.timedOut) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

} // namespace orv::test
