// The program's beep for a key or command it refuses (another command runs, no picture window to
// zoom). Counted, so that a test can tell a key that did nothing quietly from one that beeped.
#pragma once

namespace orv {

void beep();
// How many times the program has beeped since it started.
int beepCount();

} // namespace orv
