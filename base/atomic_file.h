// Writing a whole file so that a failure never leaves half of it: the bytes go to a temporary
// file in the same folder that is renamed over the target only when complete. Outputs that belong
// together can be held back and renamed into place together.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orv {

// How a target is written when it is committed.
enum class TargetKind {
    Replace,    // a regular file (or a new one): a temporary beside it is renamed over it
    InPlace,    // a regular file with other hard links: its contents are rewritten, so every name sees them
    Stream,     // a character device or a FIFO: opened and written through, never renamed over or removed
    Descriptor, // /dev/stdout, /dev/stderr: written through the program's own descriptor
};

// A file written piece by piece into a temporary file beside the target, which commit() renames
// over the target. Destroyed without commit (a failure on the way), it leaves no trace and the
// target as it was. Writes raise RuntimeError 61 (disk full) or 75 (path/file access).
//
// The target is the file a symbolic link names (the link stays a link); an existing target keeps
// its permission bits and, where the user may set them, its owner and group; a new one gets 0666
// less the umask. An existing regular target the user may not write is refused (70) as cp
// refuses it. A character device or FIFO is written through at commit (what was written is held
// in an unnamed temporary file until then); /dev/stdout and /dev/stderr (and /dev/fd/1, 2) are
// written through the descriptors the program has (their failure carries the system's reason,
// "Broken pipe"). A folder or any other kind of file is never replaced: 75. The temporary name
// stays within the folder's file-name limit however long the target's name is. The temporary is
// flushed to the disk before it is renamed.
class AtomicFile {
public:
    explicit AtomicFile(std::string path); // 70 or 75 when the temporary file cannot be made
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const void* data, std::size_t size);
    // Puts the finished file into place, or, while an AtomicFileGroup collects on this thread,
    // hands it to the group, which puts it into place with the others.
    void commit();

    // The file that commit() replaces (the path given, links followed).
    const std::string& target() const { return target_; }
    TargetKind kind() const { return kind_; }

private:
    std::string given_;
    std::string target_;
    std::string tmp_;
    TargetKind kind_ = TargetKind::Replace;
    int fd_ = -1;
    int slot_ = -1;      // the temporary's entry in the list removed on a termination signal
    int descriptor_ = -1; // TargetKind::Descriptor
    int mode_ = -1;      // the existing target's permission bits, -1 for a new file
    int uid_ = -1, gid_ = -1;
    bool committed_ = false;
};

// Outputs that belong together, so that they appear together or not at all. While collect()
// runs its function, every AtomicFile committed on this thread (and so every picture and text
// writer, unchanged) only finishes its temporary file and hands it to the group; commitAll() then
// puts them all into place. A group destroyed without commitAll() removes every temporary file
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

    // Puts every held file into place: first the regular files, renamed in the order they were
    // finished, then the files with other hard links, rewritten, then the devices, FIFOs and
    // descriptors, written through. When a rename fails, the files renamed before it are put back
    // as they were (an old file restored, a new one removed) and RuntimeError 61, 70 or 75 is
    // raised; failedTarget() then names the file, as it was given. A termination signal that
    // arrives meanwhile takes effect once the renames (or their undoing) are complete. A kill
    // that cannot be caught (SIGKILL, a power cut) during the renames can leave the files renamed
    // by then new and the others old, and a temporary file ".tmpNNNNNN" or ".tmpoldNNNNNN" beside
    // a target; the files are renamed in the order they were added, so a file added last (a
    // project) never names something that is still old. When a file with other hard links or a
    // device, FIFO or descriptor then fails (a full device, a reader gone), the regular files
    // are put back as they were too, their old contents kept until then, and the error raised:
    // only what a device or FIFO took before it failed cannot be taken back.
    void commitAll();

    std::size_t size() const { return staged_.size(); }
    const std::string& failedTarget() const { return failed_; }

    // Something held while the files are put into place, such as a lock that keeps another
    // program from putting the same files into place at the same moment. `take` runs in
    // commitAll() before anything is renamed; what it raises fails the commit with every target
    // as it was (failedTarget() then names `given`); what it returns is let go when commitAll()
    // ends. Holds are taken in the order they were added.
    using CommitHold = std::function<std::shared_ptr<void>()>;
    void holdWhileCommitting(const std::string& given, CommitHold take);

    struct Staged {
        TargetKind kind = TargetKind::Replace;
        std::string given;
        std::string target;
        std::string tmp;
        int slot = -1;
        int spool = -1; // Stream, Descriptor: the unnamed file holding the bytes
        int descriptor = -1;
        std::string backup; // Replace over an existing file: its old contents during the renames
        int backupSlot = -1;
    };

private:
    friend class AtomicFile;
    std::vector<Staged> staged_;
    std::vector<std::pair<std::string, CommitHold>> holds_;
    std::string failed_;
};

// Adds the hold to the group collecting on this thread (within its collect()); false when no
// group collects.
bool holdWhileGroupCommits(const std::string& given, AtomicFileGroup::CommitHold take);

// Raises RuntimeError 70 (permission), 61 (disk full) or 75 (path/file access) on failure; the
// target is then unchanged and no temporary file is left behind.
void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The file a path names once symbolic links are followed (at most 40 of them); the path itself
// when it is no link. The result need not exist (a link may name a file still to be written).
std::string followLinks(const std::string& path);

// The name of a temporary file for `target` in the same folder: the target's file name + ".tmp"
// + `tag`, the file name shortened first when it would pass `nameMax` bytes, or the whole path
// the longest path the system takes.
std::string temporaryNameFor(const std::string& target, const std::string& tag, std::size_t nameMax);

// What the rename that puts a finished file in place would refuse, although the temporary file
// beside `target` (links already followed) can be made: a file name longer than its folder takes,
// or a path longer than the system takes, for the file or for its temporary files (75); another
// user's file in a folder with the sticky bit
// (/tmp), which only the file's or the folder's owner may replace (70). 0 when nothing is refused.
// AtomicFile refuses these before anything is written.
int replacementRefusal(const std::string& target);

// The descriptor a name stands for: 1 for /dev/stdout, /dev/fd/1 and /proc/self/fd/1, 2 for
// /dev/stderr and the like; -1 for any other name.
int descriptorNamed(const std::string& path);

// Removes every temporary file an AtomicFile or a group holds now. Safe in a signal handler.
void removeTemporaryFilesNow();

// Names a folder that removeTemporaryFilesNow removes after the files when it is empty then; the
// slot to forget it by (-1 when there was no room).
int removeFolderWhenEmptyAtTermination(const std::string& path);
void forgetFolderAtTermination(int slot);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files and end the program with status
// 128 + the signal's number (130, 143, 129); SIGQUIT and SIGXCPU (ulimit -t) remove them too and
// then end the program by the signal itself, as without a handler. During a group's renames the
// signal waits until they are complete or undone. A signal the program was started ignoring
// (nohup) stays ignored.
void removeTemporaryFilesOnTermination();

// Whether `signal` is ignored now (as one the program was started ignoring, under nohup).
bool signalIgnored(int signal);

// What those handlers do for `signal` (SIGINT, SIGTERM, SIGHUP, SIGQUIT or SIGXCPU); for a handler of the program's
// own that ends the program on a signal. Safe in a signal handler.
void endProgramOnTerminationSignal(int signal);

} // namespace orv
