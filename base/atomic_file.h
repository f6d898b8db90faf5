// Writing a whole file so that a failure never leaves half of it: the bytes go to a temporary
// file in the same folder that is renamed over the target only when complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// Raises RuntimeError 70 (permission), 61 (disk full) or 75 (path/file access) on failure; the
// target is then unchanged and no temporary file is left behind.
void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace orv
