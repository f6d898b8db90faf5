// Loading a numbered series file by file: the shared loop of the Load command and Make Montage,
// and the texts of their messages.
#pragma once

#include "input/picture_file.h"
#include "input/series_naming.h"

#include "base/prompt.h"

#include <climits>
#include <functional>
#include <memory>
#include <vector>
#include <string>

namespace orv {

inline constexpr const char* kRenameTextMontage =
    "You must have a number as the last letter in the file name,  eg "
    "c:\\thisdirectory\\myfile1.bmp, or c:\\myotherfile6";
inline constexpr const char* kRenameTextLoad =
    "You must have a number as the last letter in the file name,  eg c:\\myfile1.bmp, or "
    "c:\\myotherfile6";
inline constexpr const char* kRenameTitle = "Rename the file and try again";
inline constexpr const char* kMissingFileText = "So very sorry, but I can't find that file.";
inline constexpr const char* kMissingFileTitle = "roll the dice again";
inline constexpr const char* kLimitText =
    "I can only cope with  30 pictures, so I will use the first ones.";
inline constexpr const char* kLimitTitle = "No wuckas mate";
inline constexpr const char* kInvalidPictureText = "This is not a valid picture file that I can read.";
inline constexpr const char* kInvalidPictureTitle = "Try a different format";
inline constexpr const char* kTooLargePictureTitle = "Shrink it and try again";

// The message about a series file that exists but was refused: the invalid-picture message, or,
// for a picture whose sides pass the largest the engine takes, one that says so with its sides:
// "This picture (40000,300) is too large for me: I can only cope with pictures of up to 32764
// pixels a side." The prompt's details name the file.
Prompt refusedPicturePrompt(const std::string& file);

// The most pictures a series read one picture at a time (Pyramid Focus in a batch run) may have:
// the file numbers stay within 4 digits.
inline constexpr int kMaxSeriesPictures = 9999;

// The files of the series `completedFirst` names that are there now, picture 1 first, up to the
// first that is missing or not a regular file (or `limit` of them); none when the name is no
// series name or its number does not fit.
std::vector<std::string> seriesFilesThere(const std::string& completedFirst, int limit = kMaxSeriesPictures);

struct SeriesResult {
    int count = 0;               // pictures loaded, 0 to 30
    std::string currentFileName; // the name last built
    bool limitReached = false;   // a 31st file was about to be tried
    bool invalidPicture = false; // file `count + 1` exists but is not a readable picture
    // A failure that ended the series and must be reported as an error: 7 when memory ran out
    // while file `count + 1` was loaded, 6 when not even the first file's number fits 16 bits.
    int failure = 0;
};

// Loads file k = 1, 2, ... through `load` until a file does not load, 30 are loaded or `maxCount`
// are (that limit ends the series without a word). `onLimit` runs when the count would exceed 30
// (also for a series of exactly 30 files) and `maxCount` allows more. An Invalid status
// ends the series with invalidPicture set; Missing ends it normally. Running out of memory in
// `load` (std::bad_alloc or RuntimeError 7) ends it with failure 7; other errors pass through.
SeriesResult loadSeriesFiles(const SeriesName& series,
                             const std::function<DecodeStatus(int k, const std::string& name)>& load,
                             const std::function<void()>& onLimit = {}, int maxCount = INT_MAX);

// Loads a series into in-memory surfaces, as the batch front end keeps it: file k + 1 is decoded
// on a second thread while file k is decoded, and the pictures are stored in series order, so the
// series rules and the order of messages are those of loadSeriesFiles. `onPicture(k)` follows
// each stored picture. With `shown`, picture k as a window shows it goes to (*shown)[k - 1],
// made on the decoding thread too (see decodeToSurface). Every picture is turned upright by
// `orientation`, the first picture's camera orientation tag.
SeriesResult loadSeriesSurfaces(const SeriesName& series,
                                std::vector<std::unique_ptr<MemorySurface>>& out,
                                const std::function<void(int k)>& onPicture = {},
                                const std::function<void()>& onLimit = {},
                                std::vector<QImage>* shown = nullptr, int maxCount = INT_MAX, int orientation = 1);

} // namespace orv
