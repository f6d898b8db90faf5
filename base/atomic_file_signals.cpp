// The temporary files of the atomic file write, listed where a termination signal's handler can
// remove them, and the handler that waits while a group renames its files.
#include "base/atomic_file.h"
#include "base/atomic_file_parts.h"

#include "base/runtime_error.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

namespace orv {

namespace atomic_parts {

namespace {

// The temporary files that exist now, kept where a signal handler can read them without locks.
constexpr int kSlots = 128;
struct TemporarySlot {
    std::atomic<int> state{0}; // 0 free, 1 being filled, 2 holds a file's name, 3 a folder's
    char path[PATH_MAX];
};
TemporarySlot temporaries[kSlots];

// 0: no group is renaming; 1: a group is renaming; 2: and a termination signal waits for it;
// 3: a group writes through to devices, FIFOs or standard output while it keeps the old files:
// a termination signal stops the writing, and the old files are put back before the program ends.
std::atomic<int> commitState{0};
volatile std::sig_atomic_t waitingSignal = 0;

// SIGQUIT (Ctrl-\) and SIGXCPU (the CPU time limit, ulimit -t) end the program by the signal
// itself, as they always did, with the core dump where one is allowed, once the temporary files
// are gone and the old files back: whoever waits for the program still sees which signal ended it.
bool endsByTheSignalItself(int signal) { return signal == SIGQUIT || signal == SIGXCPU; }

void endProgramAfterSignal(int signal) {
    removeTemporaryFilesNow();
    if (endsByTheSignalItself(signal)) {
        struct sigaction fallBack{};
        fallBack.sa_handler = SIG_DFL;
        sigemptyset(&fallBack.sa_mask);
        ::sigaction(signal, &fallBack, nullptr);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        ::raise(signal);
    }
    ::_exit(128 + signal);
}

void onTermination(int signal) {
    waitingSignal = signal;
    int expected = 1;
    if (commitState.compare_exchange_strong(expected, 2) || expected == 2 || expected == 3) return;
    endProgramAfterSignal(signal);
}

} // namespace

int rememberTemporary(const std::string& path, int kind) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (temporaries[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(temporaries[i].path, path.c_str(), path.size() + 1);
            temporaries[i].state.store(kind);
            return i;
        }
    }
    return -1;
}

void forgetTemporary(int& slot) {
    if (slot >= 0) temporaries[slot].state.store(0);
    slot = -1;
}

bool signalWaitsForRenames() { return commitState.load() == 2; }

bool signalWaiting() { return waitingSignal != 0; }

void stopIfTerminated() {
    if (commitState.load() == 3 && waitingSignal != 0) throw RuntimeError(75);
}

RenamesUnderway::RenamesUnderway() {
    int expected = 0;
    owner_ = commitState.compare_exchange_strong(expected, 1);
    // Taking over from the writing through: a signal that came during it still ends the program.
    if (!owner_ && expected == 3) owner_ = afterThrough_ = commitState.compare_exchange_strong(expected, 1);
}

RenamesUnderway::~RenamesUnderway() {
    if (!owner_) return;
    const int was = commitState.exchange(0);
    if (was == 2 || (afterThrough_ && waitingSignal != 0)) endProgramAfterSignal(waitingSignal);
}

ThroughUnderway::ThroughUnderway() {
    int expected = 0;
    commitState.compare_exchange_strong(expected, 3);
}

ThroughUnderway::~ThroughUnderway() {
    int expected = 3;
    commitState.compare_exchange_strong(expected, 0);
}

} // namespace atomic_parts

using namespace atomic_parts;

void removeTemporaryFilesNow() {
    for (TemporarySlot& slot : temporaries)
        if (slot.state.load() == 2) ::unlink(slot.path);
    // Folders last: the files in them went first. One that still holds anything stays.
    for (TemporarySlot& slot : temporaries)
        if (slot.state.load() == 3) ::rmdir(slot.path);
}

int removeFolderWhenEmptyAtTermination(const std::string& path) { return rememberTemporary(path, 3); }

void forgetFolderAtTermination(int slot) {
    if (slot >= 0 && slot < kSlots) forgetTemporary(slot);
}

// The signals that end the program and leave it the time to clean up first.
constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU};

void removeTemporaryFilesOnTermination() {
    struct sigaction sa{};
    sa.sa_handler = onTermination;
    sigemptyset(&sa.sa_mask);
    for (int s : kTerminationSignals) sigaddset(&sa.sa_mask, s);
    for (int s : kTerminationSignals) {
        if (signalIgnored(s)) continue;
        ::sigaction(s, &sa, nullptr);
    }
}

// A signal the program was started ignoring stays ignored: `nohup` ignores SIGHUP, and a shell
// script's background job SIGINT, so that a logout or a Ctrl-C meant for the script does not end
// the run.
bool signalIgnored(int signal) {
    struct sigaction was{};
    return ::sigaction(signal, nullptr, &was) == 0 && was.sa_handler == SIG_IGN;
}

void endProgramOnTerminationSignal(int signal) { onTermination(signal); }

} // namespace orv
