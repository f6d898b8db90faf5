// Save As for a picture window (SaveAsSub) and the main window's "Save Montage As": the proposed
// name, the save dialog, and the branches by the chosen name's ending: GIF through FormGIF, every
// other format through the caller's writer (the session's for a montage).
#pragma once

#include "base/deep_picture.h"
#include "base/prompt.h"
#include "ui/common_dialog.h"
#include "output/write_progress.h"
#include "session/conversion_run.h"
#include "session/montage_record.h"
#include "ui/picture_source.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orv {

// The save dialog's filter: BMP, JPG and GIF first, then PNG and TIFF.
inline constexpr const char* kSavePictureFilter =
    "*.bmp|*.bmp|*.jpg|*.jpg|*.gif|*.gif|*.png|*.png|*.tif|*.tif;*.tiff|";

inline constexpr const char* kSavedTitle = "Orvanta";
// "File  NAME  created."
std::string fileCreatedText(const std::string& fileName);

inline constexpr const char* kGifColoursTitle = "A BMP or JPG format is much better";
inline constexpr const char* kGifColoursText =
    "GIF format can only cope with a 256 color palette, ie not as many as your screen.   I use a 256 "
    "half tone palette.   You may find the picture colours skewed because of this.   Do you really "
    "want to make this GIF file?";
inline constexpr const char* kGifSizeTitle = "You can always save under both formats";
// The question for a picture larger than its window, with the picture's width and height.
std::string gifSizeText(int width, int height);

// The numbered steps of SaveAsSub that its error message names.
enum SaveStep : int {
    kStepSetUp = 8000,     // proposed name, filter, folder
    kStepDialog = 8300,    // showing the dialog and reading its file name
    kStepJpegStart = 8500, // the JPG branch up to starting the conversion program
    kStepWrite = 8600,     // writing the picture, the GIF window, the wait, the clean-up
};

struct SaveServices {
    Prompter& prompter;
    CommonDialog& dialog;       // CommonDialog1
    std::string programFolder;  // ends in "/": the dialog's folder and orvantajpeg's
    // The number of the picture of the series a name stands for (0: none): such a name is
    // refused with a message and the dialog shown again, so that no photograph is replaced.
    std::function<int(const std::string& path)> seriesPicture = {};
};

// Writes the picture being saved to a BMP, JPEG, PNG or TIFF file; returns what to tell the user
// when the conversion program did not write the JPEG, else an empty text. Raises RuntimeError
// when the file cannot be written.
using PictureWrite = std::function<std::string(const std::string& path)>;

// The file a source window's picture was read from, for its save.
struct PictureOrigin {
    std::string file; // empty: the picture is no file's as the window holds it
    // `file` as it was when the window's picture was read from it (which file, and its bits per
    // sample); none when not known. A file changed since lends the copy neither its metadata nor
    // its 16 bits per sample: it holds another picture than the window's.
    std::optional<PictureFileStamp> read;
    // The picture as `file` holds it at 16 bits per sample, upright as the window shows it; null,
    // with the reason in `why`, when it cannot be had so. Asked for a file that was 16-bit when
    // the window read it, saved as TIFF or PNG only.
    std::function<std::shared_ptr<const DeepPicture>(std::string& why)> fullDepth;
    // Told what the save has to say besides the file's creation, one line each (a metadata block
    // left out, a 16-bit picture saved at 8 bits and why); standard error when empty.
    std::function<void(const std::string&)> note;
};

// The writer of a picture that is not a montage record (a source window's): the montage's
// writers, JPEG through the conversion program in `programFolder`, telling `progress` how far
// they are. A picture of a file keeps that file's metadata in a JPEG, TIFF or PNG copy, and a
// picture of a 16-bit file its 16 bits per sample in a TIFF or PNG copy, as a montage does.
PictureWrite pictureWriter(const QImage& picture, const std::string& programFolder, WriteProgress progress = {},
                           PictureOrigin origin = {});

enum class SaveOutcome {
    Saved,     // the file was written
    Declined,  // the dialog was cancelled or a question answered No: nothing written, nothing said
    Failed,    // a message told the user what went wrong
    Stopped,   // Cancel or Esc while the file was written: the target as it was, nothing said
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Declined;
    std::string fileName; // the name last chosen in the dialog (empty when none was)
};

// Saves the window's picture whole under a name the user chooses. `suffix` is kMontageSuffix for
// montage windows, kCopySuffix for source windows. Never throws: failures end in a message.
// `write` writes every format but GIF, which the GIF window writes from the source's picture.
SaveResult SaveAsSub(const PictureSource& source, const std::string& suffix, const SaveServices& services,
                     const PictureWrite& write);

// The main window's "Save Montage As": the no-montage message when the montage window is not
// visible, else SaveAsSub with " montage" between hiding and showing the taskbar again.
SaveResult saveMontageAs(bool montageVisible, const PictureSource& montage, const SaveServices& services,
                         const PictureWrite& write);

} // namespace orv
