// Running the conversion program: posix_spawn with its standard output and error on pipes and its
// standard input on a socket, both read while it runs, then waitpid.
#include "session/conversion_run.h"

#include "base/text.h"
#include "output/temp_bmp.h"

#include <cerrno>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace orv {

namespace {

// Closes a descriptor once, on every way out.
struct Descriptor {
    int fd = -1;
    ~Descriptor() { close(); }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// The program's environment: this one's, with the variable that makes it ask before writing.
std::vector<std::string> conversionEnvironment() {
    const std::string prefix = std::string(kConversionAskVariable) + "=";
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, prefix.c_str(), prefix.size()) != 0) env.emplace_back(*e);
    env.push_back(prefix + "1");
    return env;
}

} // namespace

ConversionRun runConversion(const std::string& programFolder, const std::string& tempBmp, const std::string& target,
                            const ConversionProgress& progress) {
    const ProgramStart start = conversionStart(programFolder, tempBmp, target);
    ConversionRun run;
    int err[2], out[2], in[2];
    if (::pipe2(err, O_CLOEXEC) != 0) return run;
    Descriptor errRead{err[0]}, errWrite{err[1]};
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    Descriptor outRead{out[0]}, outWrite{out[1]};
    // A socket rather than a pipe, so that an answer to a program that has gone raises no SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return run;
    Descriptor answer{in[0]}, inChild{in[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inChild.fd, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.fd, 2);
    std::vector<std::string> args{start.program};
    args.insert(args.end(), start.arguments.begin(), start.arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = conversionEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, start.program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    errWrite.close();
    outWrite.close();
    inChild.close();
    if (spawned != 0) return run;

    std::string message, said;
    int steps = 0;
    bool answered = false, stopped = false;
    char buffer[4096];
    while (errRead.fd >= 0 || outRead.fd >= 0) {
        pollfd fds[2] = {{errRead.fd, POLLIN, 0}, {outRead.fd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, progress && !answered ? 30 : -1);
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < 2 && ready > 0; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Descriptor& from = i == 0 ? errRead : outRead;
            const ssize_t n = ::read(from.fd, buffer, sizeof buffer);
            if (n > 0) (i == 0 ? message : said).append(buffer, std::size_t(n));
            else if (n == 0 || errno != EINTR) from.close();
        }
        // The steps it has said, one line each.
        for (std::size_t end; (end = said.find('\n')) != std::string::npos; said.erase(0, end + 1)) {
            const std::string line = said.substr(0, end);
            if (line == "read") steps = std::max(steps, 1);
            else if (line == "encoded") steps = std::max(steps, 2);
            else if (line == "ready") steps = kConversionSteps;
        }
        if (answered) continue;
        if (steps == kConversionSteps) {
            // Ready: it writes only when told to; a stop asked until now closes its input instead.
            answered = true;
            stopped = progress && !progress(steps);
            if (!stopped) (void)::send(answer.fd, "write\n", 6, MSG_NOSIGNAL);
            answer.close();
        } else if (progress && !progress(steps)) {
            // Still reading or encoding: the target is not touched yet, so it is simply ended.
            answered = stopped = true;
            ::kill(pid, SIGTERM);
            answer.close();
        }
    }
    answer.close();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.started = true;
    run.crashed = !WIFEXITED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // A program that finished before it was ended has written the JPEG: the stop came too late.
    run.stopped = stopped && !(WIFEXITED(status) && run.exitCode == 0);
    run.message = trimBlanks(message, " \t\r\n\v\f");
    return run;
}

std::string temporaryBmpFailureText(const std::string& why, const std::string& folder, const std::string& target) {
    return "I could not write the temporary picture for the JPEG conversion in the temporary folder  '" + folder +
           "'  (" + why + ");  '" + target + "'  was not written.";
}

std::string conversionFailureText(const ConversionRun& run, const std::string& programFolder, const std::string& target) {
    if (!run.started)
        return "I could not start the JPEG conversion program  '" + conversionStart(programFolder, "", "").program +
               "'.   It belongs beside the orvanta program; please reinstall Orvanta.";
    if (!run.message.empty()) return run.message;
    if (run.crashed) return "The JPEG conversion program stopped unexpectedly;  '" + target + "'  was not written.";
    return "The JPEG conversion program ended with status " + std::to_string(run.exitCode) + ";  '" + target +
           "'  was not written.";
}

} // namespace orv
