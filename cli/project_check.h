// The values of a project that orvanta-cli opens, held to the ranges of the options they stand for.
#pragma once

#include "settings/project_file.h"

#include <optional>
#include <string>

namespace orv {

// The command line's message for the first value of the project it would refuse as an option
// (a method other than 0 to 5, an increment beyond 16 bits, an offset beyond -32768 to 32767);
// none when every value is usable.
std::optional<std::string> projectRefusal(const ProjectSettings& s);

} // namespace orv
