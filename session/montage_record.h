// A montage the session owns: the main montage and each comparison montage is one record, with its
// picture, dominant-image map, properties text and the request it was made from. Windows and
// output files show or write a record; smoothing and projects change it.
#pragma once

#include "engine/picture_surface.h"
#include "fusion/picture_choices.h"
#include "output/picture_metadata.h"
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

struct MontageRecord {
    MemorySurface picture;      // W x H, the montage as shown, saved, printed and copied
    std::string map;            // the dominant-image map
    std::string properties;     // the properties text
    std::string firstFileName;  // the first file name as typed for the Make Montage that made it
    MontageRequest request;     // what it was made from
    int increment = 0;          // the block side it was made with
    PictureChoices choices;     // Pyramid Focus: the picture each pixel came from (empty otherwise)
    // The first picture's EXIF, XMP and ICC profile, written into JPEG, TIFF and PNG outputs
    // (null: none read), and what was wrong with them when they were read (a damaged block).
    std::shared_ptr<const PictureMetadata> metadata;
    std::vector<std::string> metadataProblems;

    bool empty() const { return picture.empty(); }
};

} // namespace orv
