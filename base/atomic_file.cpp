// The atomic file write used for pictures, projects and preferences, and the group that commits
// several of them together. The temporary files' names and bytes are in atomic_file_io.cpp, the
// termination signals in atomic_file_signals.cpp.
#include "base/atomic_file.h"
#include "base/atomic_file_parts.h"

#include "base/runtime_error.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

using namespace atomic_parts;

namespace {

thread_local AtomicFileGroup* currentGroup = nullptr;

void release(AtomicFileGroup::Staged& s) {
    if (!s.tmp.empty()) ::unlink(s.tmp.c_str());
    s.tmp.clear();
    forgetTemporary(s.slot);
    if (!s.backup.empty()) ::unlink(s.backup.c_str());
    s.backup.clear();
    forgetTemporary(s.backupSlot);
    if (s.spool >= 0) ::close(s.spool);
    s.spool = -1;
}

// Keeps the existing target's contents under a second name while the renames run: a hard link,
// or a copy where the file system has none (or, `copy`, for a file to be rewritten in place,
// whose hard link would change with it).
bool keepOld(AtomicFileGroup::Staged& s, bool copy = false) {
    struct stat st{};
    if (::lstat(s.target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true; // nothing to keep
    const std::size_t nameMax = nameMaxOf(folderOf(s.target));
    for (int attempt = 0; attempt < 100 && !copy; ++attempt) {
        std::string name = temporaryNameFor(s.target, "old" + randomTag(), nameMax);
        int slot = rememberTemporary(name);
        if (::link(s.target.c_str(), name.c_str()) == 0) {
            s.backup = name;
            s.backupSlot = slot;
            return true;
        }
        const int err = errno;
        forgetTemporary(slot);
        if (err != EEXIST) break;
    }
    const int in = ::open(s.target.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    std::string name;
    int slot = -1;
    const int out = createBeside(s.target, "old", 0600, name, slot);
    if (out < 0) {
        ::close(in);
        return false;
    }
    s.backup = name;
    s.backupSlot = slot;
    bool ok = true;
    try {
        copyAll(in, out);
    } catch (const RuntimeError&) {
        ok = false;
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    return ok;
}

// Writes the held bytes over the contents of a file that has other names.
void rewriteInPlace(AtomicFileGroup::Staged& s) {
    const int in = ::open(s.tmp.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw RuntimeError(75);
    struct stat st{};
    ::fstat(in, &st);
    const int out = ::open(s.target.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        throw RuntimeError(errorFor(err));
    }
    // The room is taken first, so a full disk stops the write before the old contents change.
    const int room = st.st_size > 0 ? ::posix_fallocate(out, 0, st.st_size) : 0;
    if (room != 0 && room != EOPNOTSUPP && room != EINVAL) {
        ::close(in);
        ::close(out);
        throw RuntimeError(errorFor(room));
    }
    try {
        copyAll(in, out);
        if (::ftruncate(out, st.st_size) != 0 || ::fsync(out) != 0) throw RuntimeError(75);
    } catch (...) {
        ::close(in);
        ::close(out);
        throw;
    }
    ::close(in);
    if (::close(out) != 0) throw RuntimeError(61);
}

void writeThrough(AtomicFileGroup::Staged& s) {
    if (s.kind == TargetKind::Descriptor) {
        copyAll(s.spool, s.descriptor, true);
        return;
    }
    // A FIFO waits here for its reader, as any program writing to it would.
    int out;
    do {
        stopIfTerminated();
        out = ::open(s.target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    } while (out < 0 && errno == EINTR);
    if (out < 0) throw RuntimeError(errorFor(errno));
    try {
        copyAll(s.spool, out);
    } catch (...) {
        ::close(out);
        throw;
    }
    if (::close(out) != 0) throw RuntimeError(61);
}

} // namespace

AtomicFile::AtomicFile(std::string path) : given_(path) {
    descriptor_ = descriptorNamed(path);
    if (descriptor_ >= 0) {
        kind_ = TargetKind::Descriptor;
        target_ = path;
        fd_ = unnamedFile();
        return;
    }
    target_ = followLinks(path);
    struct stat st{};
    if (::stat(target_.c_str(), &st) == 0) {
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            kind_ = TargetKind::Stream;
            fd_ = unnamedFile();
            return;
        }
        if (!S_ISREG(st.st_mode)) throw RuntimeError(75);
        // A file its owner has write-protected is not replaced behind the protection's back.
        if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) throw RuntimeError(70);
        mode_ = int(st.st_mode & 07777);
        uid_ = int(st.st_uid);
        gid_ = int(st.st_gid);
        if (st.st_nlink > 1) kind_ = TargetKind::InPlace;
    }
    // Refused now rather than after the whole file is written.
    if (const int refused = replacementRefusal(target_)) throw RuntimeError(refused);
    // A new file gets what the umask leaves of 0666; a replaced one is given its old bits when
    // it is complete, and until then only its owner can read it.
    const mode_t createMode = mode_ < 0 ? 0666 : 0600;
    // Written without a name where the file system allows it, so that even a kill that cannot be
    // caught leaves nothing behind; it is named only when complete.
    // (It is named through /proc, so only where /proc is there.)
    static const bool procThere = ::access("/proc/self/fd", X_OK) == 0;
    if (procThere) fd_ = ::open(folderOf(target_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode);
    if (fd_ >= 0) return;
    fd_ = createBeside(target_, "", createMode, tmp_, slot_);
    if (fd_ < 0) throw RuntimeError(errno == EACCES || errno == EROFS ? 70 : 75);
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !tmp_.empty()) ::unlink(tmp_.c_str());
    if (!committed_) forgetTemporary(slot_);
}

void AtomicFile::write(const void* data, std::size_t size) { writeAll(fd_, data, size); }

void AtomicFile::commit() {
    AtomicFileGroup::Staged s;
    s.kind = kind_;
    s.given = given_;
    s.target = target_;
    s.descriptor = descriptor_;
    const int fd = fd_;
    fd_ = -1;
    if (kind_ == TargetKind::Stream || kind_ == TargetKind::Descriptor) {
        s.spool = fd;
    } else {
        if (kind_ == TargetKind::Replace && mode_ >= 0) {
            // The owner and group where this user may set them; then the bits (a change of owner
            // clears set-user-ID bits).
            if (::fchown(fd, uid_t(uid_), gid_t(gid_)) != 0) (void)::fchown(fd, uid_t(-1), gid_t(gid_));
            if (::fchmod(fd, mode_t(mode_)) != 0) {
                ::close(fd);
                throw RuntimeError(75);
            }
        }
        if (::fsync(fd) != 0) {
            const int err = errno;
            ::close(fd);
            throw RuntimeError(err == ENOSPC || err == EDQUOT ? 61 : 75);
        }
        if (tmp_.empty() && !nameUnnamed(fd, target_, tmp_, slot_)) {
            const int err = errno;
            ::close(fd);
            throw RuntimeError(errorFor(err));
        }
        if (::close(fd) != 0) throw RuntimeError(61);
        s.tmp = tmp_;
        s.slot = slot_;
    }
    committed_ = true;
    slot_ = -1;
    if (currentGroup) {
        currentGroup->staged_.push_back(std::move(s));
        return;
    }
    AtomicFileGroup alone;
    alone.staged_.push_back(std::move(s));
    alone.commitAll();
}

AtomicFileGroup::~AtomicFileGroup() {
    for (Staged& s : staged_) release(s);
}

void AtomicFileGroup::collect(const std::function<void()>& write) {
    struct Current {
        AtomicFileGroup* outer = currentGroup;
        explicit Current(AtomicFileGroup* g) { currentGroup = g; }
        ~Current() { currentGroup = outer; }
    } current(this);
    write();
}

void AtomicFileGroup::holdWhileCommitting(const std::string& given, CommitHold take) {
    holds_.emplace_back(given, std::move(take));
}

bool holdWhileGroupCommits(const std::string& given, AtomicFileGroup::CommitHold take) {
    if (!currentGroup) return false;
    currentGroup->holdWhileCommitting(given, std::move(take));
    return true;
}

void AtomicFileGroup::commitAll() {
    failed_.clear();
    // Let go last, once every file is in place, put back or removed.
    std::vector<std::shared_ptr<void>> held;
    {
        const auto holds = std::move(holds_);
        holds_.clear();
        for (const auto& [given, take] : holds) {
            try {
                held.push_back(take());
            } catch (...) {
                failed_ = given;
                for (Staged& each : staged_) release(each);
                staged_.clear();
                throw;
            }
        }
    }
    std::vector<Staged*> renamed, rewritten;
    // The file each rename put in place, so that putting back never takes away a file another
    // run (another orvanta-cli writing the same output) has put there since.
    std::map<const Staged*, std::pair<dev_t, ino_t>> placed;
    auto stillPlaced = [&](const Staged& s) {
        const auto it = placed.find(&s);
        struct stat st{};
        if (it == placed.end() || ::lstat(s.target.c_str(), &st) != 0) return it == placed.end();
        return st.st_dev == it->second.first && st.st_ino == it->second.second;
    };
    // Puts back what the commit changed: the old files renamed back (new ones removed), the
    // rewritten ones' old contents written back. A file replaced by someone else meanwhile is
    // the newer one: it stays, and this run's copy of the old one is let go.
    auto undo = [&] {
        for (auto it = rewritten.rbegin(); it != rewritten.rend(); ++it) {
            Staged& s = **it;
            Staged back;
            back.tmp = s.backup;
            back.target = s.target;
            try {
                rewriteInPlace(back);
            } catch (const RuntimeError&) {
                // Its old contents stay under the temporary name.
                s.backup.clear();
                forgetTemporary(s.backupSlot);
            }
        }
        for (auto it = renamed.rbegin(); it != renamed.rend(); ++it) {
            Staged& s = **it;
            if (!stillPlaced(s)) continue;
            if (!s.backup.empty()) {
                if (::rename(s.backup.c_str(), s.target.c_str()) == 0) {
                    s.backup.clear();
                    forgetTemporary(s.backupSlot);
                }
            } else {
                ::unlink(s.target.c_str());
            }
            // An old file that could not be put back stays under its temporary name.
            s.backup.clear();
            forgetTemporary(s.backupSlot);
        }
    };
    auto fail = [&](const Staged& s, int number) {
        failed_ = s.given;
        for (Staged& each : staged_) release(each);
        staged_.clear();
        throw RuntimeError(number);
    };
    {
        RenamesUnderway holdSignals;
        for (Staged& s : staged_) {
            if (s.kind != TargetKind::Replace) continue;
            if (!keepOld(s)) fail(s, 75);
        }
        for (Staged& s : staged_) {
            if (s.kind != TargetKind::Replace) continue;
            if (struct stat st{}; ::lstat(s.tmp.c_str(), &st) == 0) placed[&s] = {st.st_dev, st.st_ino};
            if (::rename(s.tmp.c_str(), s.target.c_str()) != 0) {
                const int err = errno;
                undo();
                fail(s, errorFor(err));
            }
            s.tmp.clear();
            forgetTemporary(s.slot);
            renamed.push_back(&s);
        }
        std::set<std::string> folders;
        for (const Staged* s : renamed) folders.insert(folderOf(s->target));
        for (const std::string& f : folders) syncFolder(f);
        // A termination signal waits for the renames; the run it ends changes no file.
        if (signalWaitsForRenames()) undo();
    }
    // The regular files are in place; what is written through follows. The old files are kept
    // until it has gone through: a device or FIFO that fails (a full device, a reader gone) puts
    // them back, so a failed run leaves every file as it was.
    const bool throughLater = std::any_of(staged_.begin(), staged_.end(), [](const Staged& s) {
        return s.kind == TargetKind::Stream || s.kind == TargetKind::Descriptor;
    });
    // A termination signal meanwhile (Ctrl-C while a FIFO's reader waits) puts them back too.
    std::optional<ThroughUnderway> through;
    if (throughLater) through.emplace();
    for (TargetKind kind : {TargetKind::InPlace, TargetKind::Stream, TargetKind::Descriptor}) {
        for (Staged& s : staged_) {
            if (s.kind != kind) continue;
            try {
                if (kind == TargetKind::InPlace) {
                    if (throughLater && !keepOld(s, true)) throw RuntimeError(75);
                    // Put back from its copy should the rewriting stop half way (a signal).
                    if (throughLater) rewritten.push_back(&s);
                    rewriteInPlace(s);
                } else {
                    writeThrough(s);
                }
            } catch (...) {
                failed_ = s.given;
                {
                    RenamesUnderway holdSignals;
                    undo();
                }
                for (Staged& each : staged_) release(each);
                staged_.clear();
                throw;
            }
            if (kind != TargetKind::InPlace || !throughLater) release(s);
        }
    }
    if (through) {
        // Written through, but ended meanwhile: the run changes no file. Taking over from the
        // writing through, a signal from here on waits for the files' release.
        RenamesUnderway holdSignals;
        if (signalWaiting()) undo();
    }
    for (Staged& s : staged_) release(s);
    staged_.clear();
}

void writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    AtomicFile f(path);
    f.write(bytes.data(), bytes.size());
    f.commit();
}

} // namespace orv
