// The list of twelve recently used series and projects, newest first, kept equal to the
// "recent file 0" to "recent file 11" keys of the preferences file.
#pragma once

#include "settings/profile_file.h"

#include <array>
#include <string>

namespace orv {

class RecentFiles {
public:
    static constexpr int kCount = 12;

    // Fills the captions from the preferences file ("0", the default, shows as empty).
    void load(const ProfileFile& prefs);

    // Moves `name` to the top (no duplicate) or pushes the oldest entry out, writing each key
    // whose caption changed. A list that another copy of the program changed in the file since this
    // one last read or wrote it is taken from the file first, so its entries are not written over. Names are kept as typed: file names are case-sensitive here; one
    // that holds a line end is stored encoded (profileNameValue).
    void add(const std::string& name, ProfileFile& prefs);

    // Blanks every entry equal to `name` and writes its key empty (a series that has gone).
    void blank(const std::string& name, ProfileFile& prefs);

    const std::array<std::string, kCount>& captions() const { return captions_; }
    const std::string& caption(int i) const { return captions_[std::size_t(i)]; }

    static std::string keyName(int i) { return "recent file " + std::to_string(i); }

private:
    static std::array<std::string, kCount> listIn(const ProfileFile& prefs);
    // Takes the file's list when it is no longer the one this list last read or wrote there.
    void catchUp(const ProfileFile& prefs);

    std::array<std::string, kCount> captions_{};
    // The list as the file held it when this one last read or wrote it. While the file cannot be
    // written it stays so, and the list in memory goes on growing alone.
    std::array<std::string, kCount> inFile_{};
};

} // namespace orv
