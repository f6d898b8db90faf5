// Running the conversion program: posix_spawn with its standard error on a pipe, read to the end,
// then waitpid.
#include "session/conversion_run.h"

#include "base/text.h"
#include "output/temp_bmp.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace orv {

ConversionRun runConversion(const std::string& programFolder, const std::string& tempBmp, const std::string& target) {
    const ProgramStart start = conversionStart(programFolder, tempBmp, target);
    ConversionRun run;
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> args{start.program};
    args.insert(args.end(), start.arguments.begin(), start.arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, start.program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    std::string message;
    if (spawned == 0) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(err[0], buffer, sizeof buffer);
            if (n > 0) message.append(buffer, std::size_t(n));
            else if (n == 0 || errno != EINTR) break;
        }
    }
    ::close(err[0]);
    if (spawned != 0) return run;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.started = true;
    run.crashed = !WIFEXITED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.message = trimBlanks(message, " \t\r\n\v\f");
    return run;
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
