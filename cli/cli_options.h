// The command line of orvanta-cli: parsing into an options record, and the help text.
#pragma once

#include "cli/progress_report.h"
#include "engine/focus_method.h"
#include "engine/montage.h"

#include <optional>
#include <string>
#include <vector>

namespace orv {

struct CliOptions {
    std::string firstFile;
    std::string incrementText = "20";
    int method = 0;
    std::string output;     // empty: the default name beside the first file; "-": standard output
    std::string mapFile;
    std::string depthMapFile; // empty: no depth map
    bool align = false;       // align the pictures automatically first
    bool colourMatch = false; // and match their colours to the reference
    std::string reportFile; // empty: standard output
    IgnoreTicks ignored{};
    bool useOffsets = false;
    std::vector<ImageOffset> offsets; // picture order
    DisplayArea area = DisplayArea::Same;
    bool quiet = false; // -q or --progress none
    ProgressStyle progress = ProgressStyle::Bar;
    int maxPictures = 0; // --max-pictures: read no more than this many pictures; 0: as many as the method reads
    bool help = false;
    bool version = false;

    // Smoothing and comparisons.
    bool smooth = false;
    float edgeFactor = 0.1f;
    float focusFactor = 0.1f;
    int diffFactor = 100;
    float edgeFactor2 = 4.0f;
    bool score = false;
    std::string evaluate; // "", "increments", "methods" or "all"

    // Picture output.
    std::string format; // --format: bmp, png, tiff, jpg or gif whatever the name; needed by "-o -"
    bool transparent = false;
    int quality = 90;
    bool qualityGiven = false; // --quality was named
    int depth = 0; // bits per sample of a TIFF or PNG output; 0: the series' own

    // Projects: write one for the montage made, or make the montage a project describes.
    std::string saveProject; // a ".mon" file
    std::string openProject; // a ".mon" file; it names the series, so FIRST_FILE is not given

    // Retouching: a strokes file painted into the montage before it is written.
    std::string retouchFile;
    bool retouchGiven = false; // named by --retouch (a project's own strokes are not)
    int projectPictureCount = 0; // the pictures the opened project was made from
};

struct CliParse {
    std::optional<CliOptions> options;
    std::string error; // set when the command line is not usable (exit status 2)
    // Said on standard error before the run: a value option given more than once with different
    // values, of which the last is used.
    std::vector<std::string> notices;
};

CliParse parseCliOptions(const std::vector<std::string>& args);

std::string cliHelpText();

// What the options ask that the picture's format cannot do, each a line said on standard error
// while the montage is written as it can be: --transparent for a picture that is not GIF,
// --quality for one that is not JPEG, --depth 16 for one that is neither TIFF nor PNG.
std::vector<std::string> optionNotices(const CliOptions& o);

// The usage messages for an increment, method or offset pair the command line refuses, also given
// for such a value read from a project. incrementRefusal: none when the text is usable.
std::optional<std::string> incrementRefusal(const std::string& text);
std::string methodRefusal(const std::string& text);
std::string offsetRefusal(const std::string& text);

// The default output name: the first file's folder and file name up to the file name's first dot,
// + " montage.bmp".
std::string defaultMontageName(const std::string& firstFile);

} // namespace orv
