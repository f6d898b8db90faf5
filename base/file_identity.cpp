// Telling file names apart by what they stand for on the disk.
#include "base/file_identity.h"

#include "base/atomic_file.h"
#include "base/runtime_error.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace orv {

namespace {

std::string resolvedNew(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    char real[PATH_MAX];
    if (!::realpath(folder.c_str(), real)) return target;
    return std::string(real) + (std::strcmp(real, "/") == 0 ? "" : "/") + name;
}

} // namespace

FileIdentity identifyFile(const std::string& path) {
    FileIdentity id;
    if ((id.descriptor = descriptorNamed(path)) >= 0) {
        id.kind = FileIdentity::Descriptor;
        return id;
    }
    std::string target = path;
    try {
        target = followLinks(path);
    } catch (const RuntimeError&) {
    }
    struct stat st{};
    if (::stat(target.c_str(), &st) == 0) {
        id.exists = true;
        id.kind = S_ISREG(st.st_mode) ? FileIdentity::File : FileIdentity::Through;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    id.resolved = resolvedNew(target);
    return id;
}

bool sameRegularFile(const FileIdentity& a, const FileIdentity& b) {
    if (a.kind != FileIdentity::File || b.kind != FileIdentity::File || a.exists != b.exists) return false;
    return a.exists ? a.device == b.device && a.inode == b.inode : a.resolved == b.resolved;
}

int pictureNamed(const std::string& path, const std::vector<std::string>& pictures) {
    const FileIdentity id = identifyFile(path);
    for (std::size_t k = 0; k < pictures.size(); ++k)
        if (sameRegularFile(id, identifyFile(pictures[k]))) return int(k + 1);
    return 0;
}

} // namespace orv
