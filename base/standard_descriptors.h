// Standard input, output and error held open for a program started with them closed.
#pragma once

namespace orv {

// Standard input, output or error started closed (`2>&-`, a daemon's launcher) would be the
// first descriptor a later open returns: a picture's temporary file or the preferences could then
// take the messages Qt and the libraries write. Each closed one is opened on /dev/null in the
// direction it cannot be used (input for writing, output and error for reading), so that a write
// to it fails as it would have, and no file of the program takes its number.
void holdClosedStandardDescriptors();

} // namespace orv
