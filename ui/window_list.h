// The entries of the "Window" menus: a list of window captions rebuilt from the visible windows
// and kept in step when a window closes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orv {

class WindowMenuList {
public:
    explicit WindowMenuList(int capacity) : capacity_(capacity) {}

    // The captions of the visible windows in slot order; the first `capacity` are listed.
    void rebuild(const std::vector<std::string>& visibleCaptions);

    // A window closed: its entry goes and the entries after it move up by one.
    void remove(const std::string& caption);

    const std::vector<std::string>& entries() const { return entries_; }
    int capacity() const { return capacity_; }

private:
    int capacity_;
    std::vector<std::string> entries_;
};

inline constexpr int kSourceWindowEntries = 12;
inline constexpr int kMontageWindowEntries = 10;
inline constexpr const char* kPreviewEntry = "Preview";

// The montage list: the main montage window's caption when it is visible, the visible
// comparison montage windows in slot order, then "Preview" when the preview window is visible.
std::vector<std::string> montageWindowCaptions(const std::optional<std::string>& mainMontage,
                                               const std::vector<std::optional<std::string>>& comparison,
                                               bool previewVisible);

} // namespace orv
