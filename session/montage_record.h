// A montage the session owns: the main montage and each comparison montage is one record, with its
// picture, dominant-image map, properties text and the request it was made from. Windows and
// output files show or write a record; smoothing and projects change it.
#pragma once

#include "engine/picture_surface.h"
#include "fusion/picture_choices.h"
#include "retouch/retouch.h"
#include "session/montage_request.h"

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
    std::shared_ptr<const retouch::StrokeRecord> kept; // the montage's pixels before the stroke
};
struct RetouchHistory {
    std::vector<RetouchStep> done;
    std::vector<retouch::Stroke> undone;

    int count() const { return int(done.size()); }
    // The strokes in the order they were painted.
    std::vector<retouch::Stroke> strokes() const {
        std::vector<retouch::Stroke> s;
        for (const RetouchStep& d : done) s.push_back(d.stroke);
        return s;
    }
};

struct MontageRecord {
    MemorySurface picture;      // W x H, the montage as shown, saved, printed and copied
    std::string map;            // the dominant-image map
    std::string properties;     // the properties text
    std::string firstFileName;  // the first file name as typed for the Make Montage that made it
    MontageRequest request;     // what it was made from
    int increment = 0;          // the block side it was made with
    PictureChoices choices;     // Pyramid Focus: the picture each pixel came from (empty otherwise)
    RetouchHistory retouch;     // the strokes painted into the picture, with their undo
    // Made, smoothed or changed since it was last saved, copied, printed or handed to the editor.
    bool unsaved = false;

    bool empty() const { return picture.empty(); }
};

} // namespace orv
