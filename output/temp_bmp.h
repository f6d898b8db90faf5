// The temporary BMP handed to the JPEG conversion program, and the conversion program's start:
// program folder + "orvantajpeg" with the single argument "TEMP,TARGET", started without a shell.
#pragma once

#include "output/bmp_writer.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

// The folder of the temporary BMP: $TMPDIR when it names a folder whose path holds no comma (the
// conversion program splits its argument at the first comma), else "/tmp".
std::string temporaryBmpFolder();

// Creates a new empty file temporaryBmpFolder() + "/vrktemp" + three random lower-case letters +
// ".bmp" exclusively (mode 0600), drawing new letters when the name is taken, and returns its
// path. No existing file is ever opened or replaced. Raises RuntimeError 75 when no name can be
// created.
std::string createTempBmp();

// createTempBmp (in `folder` when one is given), then the picture written into that file as a
// 24-bit BMP; the path. The file is removed again when writing fails or `progress`, told the rows
// written after each band, stops it (RuntimeError kUserInterrupt).
std::string writeTempBmp(const BgrView& view, const WriteProgress& progress = {}, const std::string& folder = {});

// A PNG file's bytes written into a new file `folder` + "/vrktemp" + three random letters +
// ".png", made as createTempBmp makes its file; the path. The file is removed again when writing
// fails (RuntimeError 61 or 75).
std::string writeTempPng(const std::vector<std::uint8_t>& png, const std::string& folder);

// A new folder "orvanta-" + six random characters in temporaryBmpFolder() that only this user
// may enter (mode 0700); its path. Raises RuntimeError 61 (disk full) or 75.
std::string makePrivateTemporaryFolder();

// The source of the letters: uniform in [0, 1); each letter is the character
// round(random * 25 + 97). Tests script it; an empty function restores the default generator.
void setTempBmpRandom(std::function<double()> uniform);

struct ProgramStart {
    std::string program;
    std::vector<std::string> arguments;
    bool operator==(const ProgramStart&) const = default;
};

// programFolder + "orvantajpeg" (a "/" is put between them when the folder lacks one) and the one
// argument tempBmp + "," + target; paths are passed as they are, blanks and commas included.
ProgramStart conversionStart(const std::string& programFolder, const std::string& tempBmp,
                             const std::string& target);

// How a program started detached ended: `ended` is set once it has (at once when a replaced
// starter ran it), and `status` is then its wait status (0 for a replaced starter). `onEnd`, set
// before the program starts, is called once a spawned program has ended, on the thread that
// waited for it, after `ended` is set (not for a replaced starter).
struct ProgramEnd {
    std::atomic<int> status{0};
    std::atomic<bool> ended{false};
    std::function<void()> onEnd;
};
using ProgramEnded = std::shared_ptr<ProgramEnd>;

// Starts a program detached (not waited for), without a shell, its name and arguments passed as
// the bytes they are; true when it started. `ended`, when given, is set once the program has
// ended. When it could not be started, `failure` (when given) is set to the system's error number
// (0 when a replaced starter refused it). The default spawns it in a session of its own; tests
// replace it (an empty function restores the default).
using DetachedStarter = std::function<bool(const ProgramStart&)>;
void setDetachedStarter(DetachedStarter starter);
bool startDetached(const ProgramStart& start, const ProgramEnded& ended = {}, int* failure = nullptr);

} // namespace orv
