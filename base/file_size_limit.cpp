// SIGXFSZ noted rather than ending the program.
#include "base/file_size_limit.h"

#include <csignal>
#include <sys/resource.h>

namespace orv {

namespace {

volatile std::sig_atomic_t limitPassed = 0;

extern "C" void noteFileSizeLimit(int) { limitPassed = 1; }

} // namespace

void catchFileSizeLimit() {
    struct sigaction was{};
    if (::sigaction(SIGXFSZ, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) return;
    struct sigaction sa{};
    sa.sa_handler = noteFileSizeLimit;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGXFSZ, &sa, nullptr);
}

std::string fileSizeLimitReason() {
    struct rlimit limit{};
    if (!limitPassed || ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return {};
    return "File too large: the file size limit (ulimit -f) lets a file of this run have at most " +
           std::to_string(limit.rlim_cur) + " bytes";
}

} // namespace orv
