// Keeping a program's files off the numbers of standard descriptors it was started without.
#pragma once

namespace orv {

// Standard input, output or error started closed (`2>&-`, a daemon's launcher) would be the
// first descriptor a later open returns: a temporary file could then take the messages, the
// report or a protocol line. Each closed one is opened on /dev/null in the direction it cannot be
// used (input for writing, output and error for reading), so that a write to it fails as it
// would have, and no file of the program takes its number. Call before anything opens a file.
void holdClosedStandardDescriptors();

} // namespace orv
