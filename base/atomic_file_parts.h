// What the parts of the atomic file write share among themselves (not for use outside base/):
// the temporary files a termination signal removes and the signal state of a group's commit
// (atomic_file_signals.cpp), and the names and bytes of the temporary files
// (atomic_file_io.cpp).
#pragma once

#include <csignal>
#include <cstddef>
#include <string>
#include <sys/types.h>

namespace orv::atomic_parts {

// --- The temporary files and the termination signals (atomic_file_signals.cpp) ---

// Lists `path` for removal on a termination signal (kind 2: a file, 3: a folder removed when
// empty); the slot to forget it by, -1 when there was no room.
int rememberTemporary(const std::string& path, int kind = 2);
// Takes the slot's path off the list and sets `slot` to -1.
void forgetTemporary(int& slot);

// A termination signal waits for the group's renames (commitState 2).
bool signalWaitsForRenames();
// A termination signal has come (during a commit, where it waits).
bool signalWaiting();

// A termination signal came while a group writes through: the writing stops there (RuntimeError
// 75). (The handler returns, so a write or open that waits on a reader ends with EINTR.)
void stopIfTerminated();

// Holds termination signals back while a group renames its files.
class RenamesUnderway {
public:
    RenamesUnderway();
    ~RenamesUnderway();
    RenamesUnderway(const RenamesUnderway&) = delete;
    RenamesUnderway& operator=(const RenamesUnderway&) = delete;

private:
    bool owner_ = false;
    bool afterThrough_ = false;
};

// Marks the writing through of a group that keeps its old files: a termination signal stops the
// writing, and the old files are put back before the program ends.
class ThroughUnderway {
public:
    ThroughUnderway();
    ~ThroughUnderway();
    ThroughUnderway(const ThroughUnderway&) = delete;
    ThroughUnderway& operator=(const ThroughUnderway&) = delete;
};

// --- Names and bytes (atomic_file_io.cpp) ---

// The folder of a path ("." for a bare name, "/" for a file at the root).
std::string folderOf(const std::string& path);
// The folder's file-name limit in bytes (255 when the system does not say).
std::size_t nameMaxOf(const std::string& folder);
// Six random digits that tell one temporary name from another.
std::string randomTag();
// The RuntimeError number of a system error: 61 a full disk, 70 a refusal, 75 anything else.
int errorFor(int err);

// A new file beside `target` named by temporaryNameFor, opened for writing; -1 with errno set.
// The name is listed for removal on a termination signal before the file is made, so that no
// moment leaves a file a signal would not remove.
int createBeside(const std::string& target, const std::string& prefix, mode_t mode, std::string& name, int& slot);
// Gives a file made with O_TMPFILE a temporary name beside `target`; false with errno set.
bool nameUnnamed(int fd, const std::string& target, std::string& name, int& slot);
// A file without a name in the temporary folder: it disappears with the program however it ends.
int unnamedFile();

// `systemReason`: the error carries the system's own words ("Broken pipe", "No space left on
// device") rather than the error number's description, for standard output and error, where the
// number's description ("Path/File access error") says nothing of what went wrong.
void writeAll(int fd, const void* data, std::size_t size, bool systemReason = false);
// Copies the whole of `from` (read from its start) to `to` at its current position.
void copyAll(int from, int to, bool systemReason = false);
// Flushes a folder's entries to the disk (nothing when it cannot be opened).
void syncFolder(const std::string& folder);

} // namespace orv::atomic_parts
