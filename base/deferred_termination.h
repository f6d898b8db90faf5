// SIGTERM and SIGHUP for a program with an event loop: the first of them is handed to the loop
// through a pipe, so that the program can end as a user closing it would (the work kept, files
// being written finished); a second ends the program at once, as removeTemporaryFilesOnTermination
// does, so a program that does not get round to ending still ends.
#pragma once

namespace orv {

// Installs the handler for SIGTERM and SIGHUP and returns the read end of the pipe (non-blocking,
// closed on exec) the first signal's number is written to as one byte; -1 when no pipe could be
// made (the signals then end the program at once). SIGINT is left as it was, and so is a signal the
// program was started ignoring (a desktop program started under nohup outlives its terminal).
int deferTerminationSignals();

// The signal the read end holds (SIGTERM or SIGHUP), or 0 when it holds none. Reads the byte.
int takeDeferredSignal(int readEnd);

} // namespace orv
