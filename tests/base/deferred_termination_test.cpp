// The first SIGTERM or SIGHUP reaches the event loop through the pipe and ends nothing; a second
// ends the program at once, removing the temporary files, with 128 + the signal's number.
#include "base/atomic_file.h"
#include "base/deferred_termination.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv;

namespace {

// Runs in a child: the first signal is read from the pipe and reported to the parent through
// `report` as one byte; then the same signal comes again.
[[noreturn]] void childSignalledTwice(int signal, int report) {
    const int pipe = deferTerminationSignals();
    if (pipe < 0) ::_exit(3);
    ::raise(signal);
    pollfd p{pipe, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) ::_exit(4);
    const unsigned char got = static_cast<unsigned char>(takeDeferredSignal(pipe));
    if (::write(report, &got, 1) != 1) ::_exit(5);
    ::raise(signal);
    ::_exit(6); // the second signal should have ended the child
}

class DeferredTermination : public ::testing::TestWithParam<int> {};

TEST_P(DeferredTermination, TheFirstSignalReachesThePipeAndTheSecondEndsTheProgram) {
    const int signal = GetParam();
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        childSignalledTwice(signal, report[1]);
    }
    ::close(report[1]);
    unsigned char got = 0;
    EXPECT_EQ(::read(report[0], &got, 1), 1);
    ::close(report[0]);
    EXPECT_EQ(int(got), signal);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
}

TEST_P(DeferredTermination, ASignalIgnoredAtStartStaysIgnored) {
    const int signal = GetParam();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(signal, SIG_IGN);
        removeTemporaryFilesOnTermination();
        const int pipe = deferTerminationSignals();
        if (pipe < 0) ::_exit(3);
        ::raise(signal);
        pollfd p{pipe, POLLIN, 0};
        ::_exit(::poll(&p, 1, 200) == 0 ? 0 : 4); // nothing handed to the loop either
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, DeferredTermination, ::testing::Values(SIGTERM, SIGHUP),
                         [](const auto& info) { return info.param == SIGTERM ? std::string("sigterm") : std::string("sighup"); });

} // namespace
