// The recent-file list.
#include "settings/recent_files.h"

namespace orv {

namespace {

// A name with every "/./" and "//" made one "/": the same file however it was typed.
std::string plainSpelling(std::string name) {
    for (std::size_t at; (at = name.find("/./")) != std::string::npos;) name.erase(at, 2);
    for (std::size_t at; (at = name.find("//")) != std::string::npos;) name.erase(at, 1);
    return name;
}

} // namespace

std::array<std::string, RecentFiles::kCount> RecentFiles::listIn(const ProfileFile& prefs) {
    std::array<std::string, kCount> list;
    for (int i = 0; i < kCount; ++i) {
        std::string v = readProfileText(prefs, "preferences", keyName(i));
        list[std::size_t(i)] = v == "0" ? "" : nameOfProfileValue(v);
    }
    return list;
}

void RecentFiles::load(const ProfileFile& prefs) {
    captions_ = listIn(prefs);
    inFile_ = captions_;
}

void RecentFiles::catchUp(const ProfileFile& prefs) {
    const std::array<std::string, kCount> now = listIn(prefs);
    if (now != inFile_) captions_ = now;
}

void RecentFiles::add(const std::string& name, ProfileFile& prefs) {
    catchUp(prefs);
    // A name already listed under another spelling ("/pics/./a01.bmp", "/pics//a01.bmp") is that
    // entry, which moves up under the new spelling instead of a second entry for one series.
    const std::string plain = plainSpelling(name);
    int position = kCount;
    for (int i = 0; i < kCount; ++i)
        if (captions_[std::size_t(i)] == name || (!name.empty() && plainSpelling(captions_[std::size_t(i)]) == plain)) {
            position = i;
            break;
        }
    for (int p = std::min(position, kCount - 1); p >= 1; --p) {
        captions_[std::size_t(p)] = captions_[std::size_t(p - 1)];
        prefs.tryWrite("preferences", keyName(p), profileNameValue(captions_[std::size_t(p)]));
    }
    captions_[0] = name;
    prefs.tryWrite("preferences", keyName(0), profileNameValue(name));
    inFile_ = listIn(prefs);
}

void RecentFiles::blank(const std::string& name, ProfileFile& prefs) {
    catchUp(prefs);
    for (int i = 0; i < kCount; ++i)
        if (!name.empty() && captions_[std::size_t(i)] == name) {
            captions_[std::size_t(i)].clear();
            prefs.tryWrite("preferences", keyName(i), "");
        }
    inFile_ = listIn(prefs);
}

} // namespace orv
