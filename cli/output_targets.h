// Where orvanta-cli's outputs go: the files the options name, told apart by what they are on the
// disk (a regular file, a device or FIFO, standard output), checked against each other and for
// whether they can be written before any picture is read, and released when a run fails.
#pragma once

#include "base/runtime_error.h"
#include "base/standard_descriptors.h"
#include "cli/cli_options.h"

#include <optional>
#include <string>
#include <vector>

namespace orv {

struct OutputTarget {
    std::string option; // "--output", "--map", ...
    std::string path;   // as it will be written ("-" already turned into /dev/stdout)
};

// The montage's name when -o is not given: FIRST_FILE's folder and file name up to its first dot
// + " montage.bmp", or the ending --format names.
std::string defaultOutputName(const std::string& firstFile, const std::string& format);

// The files --save-project writes: the project (".mon" added when the name has no extension),
// its picture, and beside them, when the montage is retouched, its strokes. A device, FIFO or
// /dev/stdout named as the project gets the project's text as named, and no picture or strokes
// (there is no file beside it to put them in): `picture` and `strokes` are then empty.
struct ProjectTargets {
    std::string project;
    std::string picture;
    std::string strokes;
};
ProjectTargets projectTargets(const std::string& saveProject);

// Whether a name is written through rather than replaced: /dev/stdout and the like, or an existing
// device or FIFO (links followed).
bool isWrittenThrough(const std::string& path);

// Every file the options write, the default montage name and a project's files included (its
// strokes when --retouch, or the project opened, gives the montage strokes).
// "-" names standard output.
std::vector<OutputTarget> outputTargets(const CliOptions& o);

// The name an output option's value is written to: "-" is /dev/stdout.
std::string outputPath(const std::string& value);

// A usage error when two outputs name one regular file, however they spell it (another path to
// it, "./", a symbolic link, a hard link), or when the picture or the depth map goes to a
// descriptor another output writes too. Devices and FIFOs may be named by several options.
std::optional<std::string> outputClash(const std::vector<OutputTarget>& targets);

// The user's pictures no output may replace, by their place in the series' numbering (an empty
// name where none is): the series', and past its end those --ignore names and those after a gap
// in the numbering: they are photographs of the series all the same.
std::vector<std::string> guardedPictures(const std::string& firstFile, const IgnoreTicks& ignored);

// `targets` with standard output added where the report, the score or the recommendation go
// there (the picture does not): it too may have been redirected onto a picture of the series.
std::vector<OutputTarget> withStandardOutputText(const CliOptions& o, std::vector<OutputTarget> targets);

// A usage error when an output names a picture of the series (`pictures`: picture 1 first, an
// empty name for a place without one), however it spells it, ignored pictures included: the run
// would replace a photograph the montage is made of. An output on standard output or standard
// error (/dev/stdout, -) clashes when that is open on such a picture (`>> s04.bmp`): the run would
// write into it.
std::optional<std::string> seriesClash(const std::vector<OutputTarget>& targets, const std::vector<std::string>& pictures);

// A usage error when standard output (or error), redirected onto a regular file, is where an
// output goes (`targets` as withStandardOutputText gives them) and another output names that
// file (`-o m.png --map m.txt > m.txt`): the file put in its place would take the place of what
// was written through the descriptor, or the other way round, and the run would end as if both
// were there.
std::optional<std::string> standardOutputClash(const std::vector<OutputTarget>& targets);

// A usage error when an output other than the project saved names a file the run reads (`inputs`:
// the option that reads it and its name, such as --open-project's project or --retouch's
// strokes), however it spells it: the run would replace it with what it writes.
std::optional<std::string> inputClash(const std::vector<OutputTarget>& targets, const std::vector<OutputTarget>& inputs);

// A usage error when the picture or the depth map names standard error (/dev/stderr, /dev/fd/2,
// or the FIFO or terminal it is), where the messages and the progress go: they would be mixed
// into the picture.
std::optional<std::string> standardErrorClash(const std::vector<OutputTarget>& targets);

// An output whose file cannot be made or replaced, found before any picture is read: its folder
// missing, no folder, or closed to the user, the file itself write-protected or no regular file,
// its name too long, or another user's file in a sticky folder such as /tmp.
// `name` is the output as the run names it when it cannot write it, `error` what writing it would
// raise (70 or 75, as the atomic writers raise them).
struct UnwritableOutput {
    std::string name;
    RuntimeError error;
};

// The first of the run's outputs, in the order the run writes them, that cannot be written:
// `picture` (the montage as the run names it; empty to leave it unchecked), then --map,
// --depth-map, --report and --save-project's picture, strokes and project. Names written through
// (standard output, a device, a FIFO) are left to the writing.
std::optional<UnwritableOutput> firstUnwritableOutput(const CliOptions& o, const std::string& picture);

// Whether the montage picture or the depth map goes to standard output (so everything else,
// the report and the scores included, stays off it).
bool pictureToStandardOutput(const CliOptions& o);

// After a failed run: a FIFO among the outputs whose reader is waiting is opened and closed at
// once, so the reader sees an empty end instead of waiting for ever; nothing is written to it.
void releaseWaitingReaders(const std::vector<OutputTarget>& targets);

// Text for standard output, written through its descriptor and checked, so a full disk or a
// closed pipe is reported instead of lost.
class CheckedOutput {
public:
    explicit CheckedOutput(int descriptor) : fd_(descriptor) {}
    void write(const std::string& text);
    // Empty when every write went through; else the reason of the first that failed.
    std::string failure() const;
    // How the descriptor is named to the atomic writers (/dev/stdout), and to the user
    // ("standard output").
    std::string path() const { return fd_ == 2 ? "/dev/stderr" : "/dev/stdout"; }
    std::string name() const { return fd_ == 2 ? "standard error" : "standard output"; }

private:
    int fd_;
    int error_ = 0;
};

} // namespace orv
