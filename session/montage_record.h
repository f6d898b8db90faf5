// A montage the session owns: the main montage and each comparison montage is one record, with its
// picture, dominant-image map, properties text and the request it was made from. Windows and
// output files show or write a record; smoothing and projects change it.
#pragma once

#include "align/align_series.h"
#include "base/deep_picture.h"
#include "engine/picture_surface.h"
#include "fusion/picture_choices.h"
#include "output/picture_metadata.h"
#include "retouch/retouch.h"
#include "session/montage_request.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// "Compare All Montage Methods" keeps one montage for each of the five block methods.
inline constexpr int kComparisonMontages = 5;
// The main montage and the comparison montages.
inline constexpr int kMontageRecords = 1 + kComparisonMontages;

// Which montage a command works on: the main montage, or comparison montage k (0 to 4).
struct MontageChoice {
    std::optional<int> comparison; // none: the main montage
    bool operator==(const MontageChoice&) const = default;
    // The record's place: 0 the main montage, 1 + k comparison montage k.
    int index() const { return comparison ? 1 + *comparison : 0; }
    static MontageChoice ofIndex(int i) { return i == 0 ? MontageChoice{} : MontageChoice{i - 1}; }
};

// The strokes painted into a montage, each with the pixels it replaced, and the strokes undone
// since (Redo paints them again, last undone first).
struct RetouchStep {
    retouch::Stroke stroke;
    std::shared_ptr<retouch::StrokeRecord> kept; // the montage's pixels before the stroke
};
// A smoothing pass run over painted strokes: the blocks it replaced, each cell the picture it
// took the block from (0 where it left the block), after the first `strokes` strokes. A montage at
// full depth paints its strokes again and replaces these blocks in between, in the same order.
struct SmoothedOverStrokes {
    int strokes = 0;
    PictureChoices blocks;
};
// The same pass's blocks as it wrote them at 8 bits: undoing a stroke painted before the pass puts
// back the pixels the stroke replaced, tiles around it included, and then these blocks over them,
// so that the pass's blocks stay as the map and the choices say they are.
struct SmoothedPixels {
    int strokes = 0;
    struct Block {
        int x = 0, y = 0;           // rows counted from the bottom, as the pass walks them
        int columns = 0, rows = 0;  // the part the pass copied
        std::vector<std::uint8_t> bgr; // its pixels, rows from the bottom
    };
    std::vector<Block> blocks;
};
struct RetouchHistory {
    std::vector<RetouchStep> done;
    std::vector<retouch::Stroke> undone;
    std::vector<SmoothedOverStrokes> smoothed; // in the order the passes ran
    std::vector<SmoothedPixels> smoothedPixels; // the same passes, in the same order
    // The oldest strokes (0, or 2 and more) whose kept pixels were folded into the first stroke's
    // record when the history grew past its budget: they come off only all together (Clear
    // Strokes, the montage at full depth), never by Undo one at a time.
    int folded = 0;

    int count() const { return int(done.size()); }
    // Undo can take a stroke off while more are painted than were folded.
    bool canUndo() const { return count() > folded; }
    // Everything kept for Undo and the full-depth save: the strokes' tiles and what the smoothing
    // passes run over them keep (their blocks' choices and pixels).
    std::size_t bytesKept() const {
        std::size_t n = 0;
        for (const RetouchStep& d : done) n += d.kept ? d.kept->bytesKept() : 0;
        for (const SmoothedOverStrokes& p : smoothed) n += p.blocks.pictures.size() * sizeof(std::uint16_t);
        for (const SmoothedPixels& p : smoothedPixels)
            for (const SmoothedPixels::Block& b : p.blocks) n += sizeof(b) + b.bgr.size();
        return n;
    }
    // Folds the oldest strokes' kept pixels together until the history keeps at most `budget`
    // bytes or only the newest stroke is left to fold. Each tile is then kept once, as it was
    // before the first stroke touched it, so the history never holds much more than the budget
    // and one montage's pixels, however long the retouching goes on.
    void keepWithin(std::size_t budget) {
        std::size_t bytes = bytesKept();
        while (bytes > budget && std::max(folded, 1) + 1 < count() && done.front().kept) {
            const int next = std::max(folded, 1);
            retouch::StrokeRecord& first = *done.front().kept;
            retouch::StrokeRecord& later = *done[std::size_t(next)].kept;
            bytes -= first.bytesKept() + later.bytesKept();
            later.foldInto(first);
            bytes += first.bytesKept() + later.bytesKept();
            folded = next + 1;
        }
    }
    // After a stroke is undone, the passes run over it count as run after the strokes left.
    void passesAfterAtMost(int strokes) {
        for (SmoothedOverStrokes& p : smoothed) p.strokes = std::min(p.strokes, strokes);
        for (SmoothedPixels& p : smoothedPixels) p.strokes = std::min(p.strokes, strokes);
    }
    // The strokes in the order they were painted.
    std::vector<retouch::Stroke> strokes() const {
        std::vector<retouch::Stroke> s;
        for (const RetouchStep& d : done) s.push_back(d.stroke);
        return s;
    }
};

// What one picture file was on the disk when it was read for a montage: pictures the camera
// software wrote again under the same names (a re-shot series) are not the ones it was made from.
struct PictureFileStamp {
    std::string name;
    bool exists = false;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
    // The bits per sample the file held when the series was read (8 or 16; 0: not known, as in a
    // project's kept stamps). Not part of what tells one file from another.
    int bits = 0;
    bool operator==(const PictureFileStamp& o) const {
        return name == o.name && sameFile(o);
    }
    // The same file in the same state, whatever name each was taken under.
    bool sameFile(const PictureFileStamp& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modifiedSeconds == o.modifiedSeconds && modifiedNanoseconds == o.modifiedNanoseconds;
    }
};

// The stamp of `name` as it is on the disk now (links followed).
PictureFileStamp stampPictureFile(const std::string& name);
// Whether any of the files has changed, gone or been replaced since it was stamped.
bool pictureFilesChanged(const std::vector<PictureFileStamp>& stamps);
// Whether `name` is still the file `stamp` was taken of, unchanged (an existing file only).
bool stillStampedFile(const std::string& name, const PictureFileStamp& stamp);

// A project kept for the next start carries the stamps of the pictures its montage was made from
// in a file of its own beside it ("NAME.stamps"; project readers know nothing of it), so that
// pictures re-shot before it is opened are told from the ones it was made from. One line a
// picture: "exists device inode size seconds nanoseconds length:name" (the name as its bytes).
std::string pictureStampsNameFor(const std::string& project);
// Raises RuntimeError 70, 61 or 75 when the file cannot be written.
void writePictureStamps(const std::string& path, const std::vector<PictureFileStamp>& stamps);
// Empty when the file is not there or is not such a file.
std::vector<PictureFileStamp> readPictureStamps(const std::string& path);

struct MontageRecord {
    MemorySurface picture;      // W x H, the montage as shown, saved, printed and copied
    std::string map;            // the dominant-image map
    std::string properties;     // the properties text
    std::string firstFileName;  // the first file name as typed for the Make Montage that made it
    MontageRequest request;     // what it was made from
    int increment = 0;          // the block side it was made with
    // Pyramid Focus: the picture each pixel came from; a smoothed block montage: each block's
    // picture, as the pass left it (empty otherwise: the map says it)
    PictureChoices choices;
    RetouchHistory retouch;     // the strokes painted into the picture, with their undo
    // Made, smoothed or changed since it was last saved, copied, printed or handed to the editor.
    bool unsaved = false;
    // The keepings (MontageSession::montageKept) since it was last made or changed; one taken back
    // (an editor that never opened it) leaves it unsaved when none is left.
    std::vector<std::uint64_t> keptBy;
    // The first picture's EXIF, XMP and ICC profile, written into JPEG, TIFF and PNG outputs
    // (null: none read), and what was wrong with them when they were read (a damaged block).
    std::shared_ptr<const PictureMetadata> metadata;
    std::vector<std::string> metadataProblems;
    // Pyramid Focus of a 16-bit series: the montage at full depth, made from `deepOf`, a
    // fingerprint of the picture it was made beside (a changed picture leaves it behind).
    std::shared_ptr<const DeepPicture> deep;
    std::uint64_t deepOf = 0;
    // The picture was read from a project file rather than made in this session.
    bool fromProject = false;
    // That project file, as it was named when opened (empty: made in this session).
    std::string project;
    // How the series' pictures were aligned for it (null: they were not, or the stack no longer
    // holds them so): its deep picture is assembled from the deep pictures aligned the same way.
    std::shared_ptr<const AlignmentReport> alignment;
    // The series' picture files as they were when they were read for it (empty: not known).
    std::vector<PictureFileStamp> madeFrom;

    bool empty() const { return picture.empty(); }
};

// The fingerprint of a picture's pixels (FNV-1a over its cells).
inline std::uint64_t pictureFingerprint(const MemorySurface& picture) {
    std::uint64_t h = 14695981039346656037ull;
    for (const std::uint8_t b : picture.rounded()) h = (h ^ b) * 1099511628211ull;
    return h ^ std::uint64_t(picture.pictureWidth()) << 32 ^ std::uint64_t(picture.pictureHeight());
}

} // namespace orv
