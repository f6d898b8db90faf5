// The numbers and names orvanta-cli writes while a session runs.
#include "cli/cli_observer.h"

#include "input/series_naming.h"

#include <climits>
#include <cstdio>
#include <unistd.h>

namespace orv {

// A score as the program writes a single-precision number: up to 7 significant digits.
std::string formatScore(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", double(v));
    return buf;
}

std::string nameTooLongNote(const std::string& name) {
    if (name.size() >= PATH_MAX)
        return ", a name of " + std::to_string(name.size()) + " bytes; the system takes no file by a name longer than " +
               std::to_string(PATH_MAX - 1) + " bytes: run from a folder nearer the root, or give a shorter path";
    // The file name itself may be longer than its folder takes (255 bytes on most file systems).
    const std::size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    const std::size_t length = slash == std::string::npos ? name.size() : name.size() - slash - 1;
    const long most = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (most <= 0 || length <= std::size_t(most)) return {};
    return ", a file name of " + std::to_string(length) + " bytes; its folder takes no file name longer than " +
           std::to_string(most) + " bytes: give a shorter name";
}

std::string seriesNumberOf(const std::string& name) {
    const std::size_t dot = firstDotOfFileName(name);
    if (dot == std::string::npos) return {};
    std::size_t start = dot;
    while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9') --start;
    return name.substr(start, dot - start);
}

// The phase as --progress names it.
const char* phaseName(RunPhase phase) {
    switch (phase) {
    case RunPhase::Reading: return "reading";
    case RunPhase::Aligning: return "aligning";
    case RunPhase::Fusing: return "fusing";
    case RunPhase::Smoothing: return "smoothing";
    case RunPhase::Saving: return "saving";
    }
    return "working";
}

} // namespace orv
