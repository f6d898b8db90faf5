// Window-menu bookkeeping.
#include "ui/window_list.h"

#include <algorithm>

namespace orv {

void WindowMenuList::rebuild(const std::vector<std::string>& visibleCaptions) {
    entries_.assign(visibleCaptions.begin(),
                    visibleCaptions.begin() + std::min<std::size_t>(visibleCaptions.size(), std::size_t(capacity_)));
}

void WindowMenuList::remove(const std::string& caption) {
    const auto it = std::find(entries_.begin(), entries_.end(), caption);
    if (it != entries_.end()) entries_.erase(it);
}

std::vector<std::string> montageWindowCaptions(const std::optional<std::string>& mainMontage,
                                               const std::vector<std::optional<std::string>>& comparison,
                                               bool previewVisible) {
    std::vector<std::string> out;
    if (mainMontage) out.push_back(*mainMontage);
    for (const auto& c : comparison)
        if (c) out.push_back(*c);
    if (previewVisible) out.push_back(kPreviewEntry);
    if (out.size() > std::size_t(kMontageWindowEntries)) out.resize(std::size_t(kMontageWindowEntries));
    return out;
}

} // namespace orv
