// The file size limit (ulimit -f, a batch queue's): a write that would pass it fails as any other
// write that fails, and the failure names the limit, where the signal's default action would end
// the program half way through its files and leave their temporaries behind.
#pragma once

#include <string>

namespace orv {

// Catches SIGXFSZ, noting that a write passed the limit; a program started with the signal ignored
// keeps it so (its writes fail all the same, said by the error's own description).
void catchFileSizeLimit();

// "File too large: the file size limit (ulimit -f) lets a file of this run have at most N bytes"
// once a write has passed the limit, else empty.
std::string fileSizeLimitReason();

} // namespace orv
