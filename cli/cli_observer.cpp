// The numbers and names orvanta-cli writes while a session runs.
#include "cli/cli_observer.h"

#include "input/series_naming.h"

#include <climits>
#include <cstdio>

namespace orv {

// A score as the program writes a single-precision number: up to 7 significant digits.
std::string formatScore(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", double(v));
    return buf;
}

// The digits before the first dot of a series name's file name ("IMG_40000.jpg" gives "40000").
std::string nameTooLongNote(const std::string& name) {
    if (name.size() < PATH_MAX) return {};
    return ", a name of " + std::to_string(name.size()) + " bytes; the system takes no file by a name longer than " +
           std::to_string(PATH_MAX - 1) + " bytes: run from a folder nearer the root, or give a shorter path";
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
