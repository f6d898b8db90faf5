// The JPEG conversion program run to its end: started without a shell, its standard error kept
// for the message when it fails. It reports its steps on a pipe and puts the JPEG into place only
// when told to, so a run stopped on the way never touches the target.
#pragma once

#include <functional>
#include <string>

namespace orv {

struct ConversionRun {
    bool started = false;
    bool crashed = false;
    bool stopped = false; // stopped on request: the target was not touched
    int exitCode = -1;
    std::string message; // its standard error, trimmed

    bool succeeded() const { return started && !stopped && !crashed && exitCode == 0; }
};

// The conversion program's steps: the BMP read, the JPEG encoded, the JPEG ready to be put into
// place.
inline constexpr int kConversionSteps = 3;

// Asked about every 30 ms while the program runs, with the steps it has done; false stops it: it
// is ended before the JPEG is ready, or told not to put the ready JPEG into place.
using ConversionProgress = std::function<bool(int stepsDone)>;

// Runs programFolder + "orvantajpeg" with the single argument "TEMP,TARGET" and waits for it.
ConversionRun runConversion(const std::string& programFolder, const std::string& tempBmp, const std::string& target,
                            const ConversionProgress& progress = {});

// What the user is told when the run did not write `target`.
std::string conversionFailureText(const ConversionRun& run, const std::string& programFolder, const std::string& target);

// What the user is told when the temporary BMP the program reads (or the metadata file beside it)
// could not be written in the temporary folder `folder`: that folder, not the target's, lacks room
// or permission.
std::string temporaryBmpFailureText(const std::string& why, const std::string& folder, const std::string& target);

inline constexpr const char* kJpegFailedTitle = "The JPEG file was not written";

// The variable that makes the conversion program report its steps on standard output and wait
// for "write" on standard input before it puts the JPEG into place.
inline constexpr const char* kConversionAskVariable = "ORVANTAJPEG_ASK";

} // namespace orv
