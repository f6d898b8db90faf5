// The desktop program's command line: an optional first file of a series, then options for the
// increment ("/i25", "/i 25", "-i 25", "--increment 25"), the layout screen size
// ("/resolution 800x600"), --help and --version.
#pragma once

#include <functional>
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

// A file:// address of this machine stands for its local name. `namesFile` tells whether a name
// is on the disk. An argument that holds a blank or starts with
// "/" and names a file there is that file whole: a file manager hands over a path such as
// "/pics/Shots --best/rock1.bmp" as one argument, and its words are not options.
CommandLine parseCommandLine(const std::vector<std::string>& args,
                             const std::function<bool(const std::string&)>& namesFile = {});

// "800x600" (case-blind "x", blanks before the numbers skipped, text after the digits ignored);
// false when either side is not a positive number.
bool parseResolution(const std::string& text, int& width, int& height);

// Whether a file name ends in ".jpg", ".bmp" or ".gif", case-blind: the pictures the program
// opens itself when named on the command line.
bool isSeriesPictureName(const std::string& name);

std::string commandLineHelpText();

} // namespace orv
