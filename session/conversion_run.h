// The JPEG conversion program run to its end: started without a shell, waited for without any
// event loop, its standard error kept for the message when it fails.
#pragma once

#include <string>

namespace orv {

struct ConversionRun {
    bool started = false;
    bool crashed = false;
    int exitCode = -1;
    std::string message; // its standard error, trimmed

    bool succeeded() const { return started && !crashed && exitCode == 0; }
};

// Runs programFolder + "orvantajpeg" with the single argument "TEMP,TARGET" and waits for it.
ConversionRun runConversion(const std::string& programFolder, const std::string& tempBmp, const std::string& target);

// What the user is told when the run did not write `target`.
std::string conversionFailureText(const ConversionRun& run, const std::string& programFolder, const std::string& target);

inline constexpr const char* kJpegFailedTitle = "The JPEG file was not written";

} // namespace orv
