// Fuzzes the reading of a project file (".mon"): its keys through the profile reader and the
// leading-number rule, exactly as opening a project reads them, and its dominant-image map as the
// lines after the marker line. Any file must read without a crash or a hang, and every number
// read must be one the program can hold.
#include "fuzz_input.h"

#include "base/leading_number.h"
#include "settings/profile_file.h"
#include "settings/project_file.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void mustBeFinite(double v) {
    if (!std::isfinite(v)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = orv::fuzz::asFile(data, size);
    // Opening a project: every number checked before it is converted, the offsets within 16 bits.
    const orv::ProjectSettings settings = orv::readProjectSettings(path);
    for (const auto& t : settings.targets)
        if (t && (t->first < -32768 || t->first > 32767 || t->second < -32768 || t->second > 32767)) std::abort();
    for (const auto& bad : settings.outOfRange)
        if (bad.key.empty()) std::abort();
    const orv::ProfileFile file(path);
    orv::readProfileText(file, "project", "first file name");
    mustBeFinite(orv::readProfileNumber(file, "project", "Montage method used"));
    mustBeFinite(orv::readProfileNumber(file, "project", "Increment size"));
    orv::readProfileText(file, "project", "Offset display method");
    // Pictures 1, 2 and 30 stand for all.
    for (int i : {1, 2, 30}) {
        mustBeFinite(orv::readProfileNumber(file, "project", "Image " + std::to_string(i) + " offset X"));
        mustBeFinite(orv::readProfileNumber(file, "project", "Image " + std::to_string(i) + " offset Y"));
    }
    // "Ignore image number": comma-separated picture numbers.
    const std::string ignored = orv::readProfileText(file, "project", "Ignore image number");
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = ignored.find(',', from);
        mustBeFinite(orv::leadingValue(std::string_view(ignored).substr(from, comma == std::string::npos ? std::string::npos : comma - from)));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    // The properties text and the map: every line after the first, the map after its marker.
    std::ifstream in(path, std::ios::binary);
    std::string line, properties, map;
    bool first = true, inMap = false;
    while (std::getline(in, line)) {
        if (first) {
            first = false;
            continue;
        }
        properties += line + "\r\n";
        if (inMap) map += line + "\r\n";
        if (line.find("dominant image numbers") != std::string::npos) inMap = true;
    }
    if (properties.size() < map.size()) std::abort();
    return 0;
}
