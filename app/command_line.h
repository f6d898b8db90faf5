// The desktop program's command line: an optional first file of a series, then options for the
// increment ("/i25", "/i 25", "-i 25", "--increment 25"), the layout screen size
// ("/resolution 800x600"), --help and --version.
#pragma once

#include <string>
#include <vector>

namespace orv {

struct CommandLine {
    std::string argument;      // the arguments joined by single blanks, one pair of enclosing quotes removed
    std::string filePart;      // the text before the first option word, trimmed
    bool hasIncrement = false; // an increment option was given
    std::string incrementText; // its value as typed ("" when none followed)
    bool hasResolution = false;
    int resolutionWidth = 0;   // 0 when the option gave no positive size
    int resolutionHeight = 0;
    bool help = false;
    bool version = false;
    std::string error;         // an unknown "--" option, or empty
};

CommandLine parseCommandLine(const std::vector<std::string>& args);

// "800x600" (case-blind "x", blanks before the numbers skipped, text after the digits ignored);
// false when either side is not a positive number.
bool parseResolution(const std::string& text, int& width, int& height);

// Whether a file name ends in ".jpg", ".bmp" or ".gif", case-blind: the pictures the program
// opens itself when named on the command line.
bool isSeriesPictureName(const std::string& name);

std::string commandLineHelpText();

} // namespace orv
