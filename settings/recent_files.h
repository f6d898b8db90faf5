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
    // whose caption changed. Names are kept as typed: file names are case-sensitive here; one
    // that holds a line end is stored encoded (profileNameValue).
    void add(const std::string& name, ProfileFile& prefs);

    // Blanks every entry equal to `name` and writes its key empty (a series that has gone).
    void blank(const std::string& name, ProfileFile& prefs);

    const std::array<std::string, kCount>& captions() const { return captions_; }
    const std::string& caption(int i) const { return captions_[std::size_t(i)]; }

    static std::string keyName(int i) { return "recent file " + std::to_string(i); }

private:
    std::array<std::string, kCount> captions_{};
};

} // namespace orv
