// Writing a whole file so that a failure never leaves half of it: the bytes go to a temporary
// file in the same folder that is renamed over the target only when complete. Outputs that belong
// together can be held back and renamed into place together.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv {

// A file written piece by piece into a temporary file beside the target, which commit() renames
// over the target. Destroyed without commit (a failure on the way), it leaves no trace and the
// target as it was. Writes raise RuntimeError 61 (disk full) or 75 (path/file access).
//
// The target is the file a symbolic link names (the link stays a link); an existing target keeps
// its permission bits, a new one gets 0666 less the umask. An existing target that is not a
// regular file (a folder, a FIFO, a device) is never replaced: 75. The temporary name stays
// within the folder's file-name limit however long the target's name is.
class AtomicFile {
public:
    explicit AtomicFile(std::string path); // 70 or 75 when the temporary file cannot be made
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const void* data, std::size_t size);
    // Renames the finished file into place, or, while an AtomicFileGroup collects on this thread,
    // hands it to the group, which renames it with the others.
    void commit();

    // The file that commit() replaces (the path given, links followed).
    const std::string& target() const { return target_; }

private:
    std::string target_;
    std::string tmp_;
    int fd_ = -1;
    int mode_ = -1; // the existing target's permission bits, -1 for a new file
    bool committed_ = false;
};

// Outputs that belong together, so that they appear together or not at all. While collect()
// runs its function, every AtomicFile committed on this thread (and so every picture and text
// writer, unchanged) only finishes its temporary file and hands it to the group; commitAll() then
// renames them all into place. A group destroyed without commitAll() removes every temporary file
// it holds and leaves every target as it was.
class AtomicFileGroup {
public:
    AtomicFileGroup() = default;
    ~AtomicFileGroup();
    AtomicFileGroup(const AtomicFileGroup&) = delete;
    AtomicFileGroup& operator=(const AtomicFileGroup&) = delete;

    // Runs `write` with this group collecting; exceptions pass through (what `write` finished
    // before stays held).
    void collect(const std::function<void()>& write);

    // Renames every held file into place, in the order they were finished. Raises RuntimeError
    // 75 when a rename fails; the files not renamed by then are removed.
    void commitAll();

    std::size_t size() const { return staged_.size(); }

private:
    friend class AtomicFile;
    struct Staged {
        std::string tmp;
        std::string target;
    };
    std::vector<Staged> staged_;
};

// Raises RuntimeError 70 (permission), 61 (disk full) or 75 (path/file access) on failure; the
// target is then unchanged and no temporary file is left behind.
void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The file a path names once symbolic links are followed (at most 40 of them); the path itself
// when it is no link. The result need not exist (a link may name a file still to be written).
std::string followLinks(const std::string& path);

// The name of a temporary file for `target` in the same folder: the target's file name + ".tmp"
// + `tag`, the file name shortened first when the whole would pass `nameMax` bytes.
std::string temporaryNameFor(const std::string& target, const std::string& tag, std::size_t nameMax);

} // namespace orv
