// Writing a whole file so that a failure never leaves half of it: the bytes go to a temporary
// file in the same folder that is renamed over the target only when complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// A file written piece by piece into a temporary file beside the target, which commit() renames
// over the target. Destroyed without commit (a failure on the way), it leaves no trace and the
// target as it was. Writes raise RuntimeError 61 (disk full) or 75 (path/file access).
class AtomicFile {
public:
    explicit AtomicFile(std::string path); // 70 or 75 when the temporary file cannot be made
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const void* data, std::size_t size);
    void commit();

private:
    std::string path_;
    std::string tmp_;
    int fd_ = -1;
    bool committed_ = false;
};

// Raises RuntimeError 70 (permission), 61 (disk full) or 75 (path/file access) on failure; the
// target is then unchanged and no temporary file is left behind.
void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace orv
