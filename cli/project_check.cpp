// Checking a project's numbers as the options' own values are checked.
#include "cli/project_check.h"

#include "cli/cli_options.h"
#include "engine/focus_method.h"

namespace orv {

std::optional<std::string> projectRefusal(const ProjectSettings& s) {
    for (const ProjectSettings::OutOfRange& bad : s.outOfRange) {
        const std::string where = "\"" + bad.key + "=" + bad.text + "\": ";
        if (bad.key.rfind("Image ", 0) == 0) return where + offsetRefusal(bad.text);
        return where + methodRefusal(bad.text);
    }
    if (s.method < 0 || s.method >= kMethodCount)
        return "\"Montage method used=" + std::to_string(s.method) + "\": " + methodRefusal(std::to_string(s.method));
    if (const auto refusal = incrementRefusal(s.incrementText)) return "\"Increment size=" + s.incrementText + "\": " + *refusal;
    return std::nullopt;
}

} // namespace orv
