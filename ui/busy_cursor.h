// The hourglass pointer for the length of a command, restored on every way out of it, and the
// count of long commands under way.
#pragma once

#include <QApplication>

namespace orv {

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Counts a long command for its whole length, whatever way it ends.
class RunningCommand {
public:
    explicit RunningCommand(int& counter) : counter_(counter) { ++counter_; }
    ~RunningCommand() { --counter_; }
    RunningCommand(const RunningCommand&) = delete;
    RunningCommand& operator=(const RunningCommand&) = delete;

private:
    int& counter_;
};

} // namespace orv
