// The project commands: "Save a Project" (the main montage) and a montage window's "Save project",
// and "Load a Project" (also run by a recent entry beginning with "project "), which hands the
// project to the session and shows what it opened.
#pragma once

#include "ui/command_context.h"

namespace orv {

class FormMontagePicture;

inline constexpr const char* kNoProjectMontageText = "You have to have a Montage image visible in order to save a project.";
inline constexpr const char* kNoProjectMontageTitle = "Sorry...";
inline constexpr const char* kMissingProjectText =
    "There is a problem in reading that file.   It appears not to exist.   Try another project file.";
inline constexpr const char* kMissingProjectTitle = "Do you always have bad luck like this?";
// A file without a first file name in its project section: empty, cut short, or no project at all.
inline constexpr const char* kNotProjectText =
    "There is a problem in reading that file.   It names no series of pictures: it is not a project file, or it "
    "has been cut short.   Try another project file.";

class ProjectCommands {
public:
    explicit ProjectCommands(const CommandContext& c) : c_(c) {}

    // The montage of `window`; `fromMain` for the File menu's entry (the main montage).
    void save(FormMontagePicture* window, bool fromMain);
    // Opens the project the file-name box names as a recent entry, or one chosen in the dialog
    // (`chosen`, when given, is taken as the dialog's choice: a project dropped on the window);
    // `current` is the request the controls make now.
    void open(const MontageRequest& current, const std::optional<std::string>& chosen = std::nullopt);

private:
    CommandContext c_;
};

} // namespace orv
