// What a file name stands for on the disk, so that two spellings of one file (another path to it,
// "./", a symbolic link, a hard link) are known for one, and a file still to be made is known by
// its folder's real path. Used to keep every output off the other outputs and off the pictures a
// montage is made of.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace orv {

struct FileIdentity {
    // A regular file (or one still to be made), a device or FIFO written through, or a name of a
    // standard descriptor (/dev/stdout and the like).
    enum Kind { File, Through, Descriptor } kind = File;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string resolved; // a file still to be made: its folder's real path + its name
    int descriptor = -1;
};

// Links are followed; a name that does not exist yet is known by where it would be made.
FileIdentity identifyFile(const std::string& path);

// Whether both stand for one regular file (existing, or both still to be made at one place).
bool sameRegularFile(const FileIdentity& a, const FileIdentity& b);

// The number (from 1) of the file in `pictures` that `path` names, however it spells it; 0 when
// it names none of them.
int pictureNamed(const std::string& path, const std::vector<std::string>& pictures);

} // namespace orv
