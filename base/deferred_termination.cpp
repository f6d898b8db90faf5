// The first SIGTERM or SIGHUP handed to the event loop, the second ending the program at once.
#include "base/deferred_termination.h"

#include "base/atomic_file.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace orv {

namespace {

int writeEnd = -1;
volatile std::sig_atomic_t firstSignal = 0;

void onSignal(int signal) {
    if (firstSignal == 0 && writeEnd >= 0) {
        firstSignal = signal;
        const int saved = errno;
        const unsigned char byte = static_cast<unsigned char>(signal);
        if (::write(writeEnd, &byte, 1) == 1) {
            errno = saved;
            return;
        }
        errno = saved;
    }
    endProgramOnTerminationSignal(signal);
}

} // namespace

int deferTerminationSignals() {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return -1;
    writeEnd = fds[1];
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, s);
    for (int s : {SIGTERM, SIGHUP})
        if (!signalIgnored(s)) ::sigaction(s, &sa, nullptr);
    return fds[0];
}

int takeDeferredSignal(int readEnd) {
    unsigned char byte = 0;
    return ::read(readEnd, &byte, 1) == 1 ? int(byte) : 0;
}

} // namespace orv
