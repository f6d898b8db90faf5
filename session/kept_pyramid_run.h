// What a Pyramid Focus run inside a comparison was made from and what it made, so that a later
// montage of the comparison that differs in nothing but the increment takes it again.
#pragma once

#include "fusion/pyramid_focus.h"
#include "session/montage_session.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// What one Pyramid Focus run was made from, and what it made.
struct MontageSession::PyramidRun {
    // Everything the run read but the increment.
    std::string series;
    int orientation = 1;
    int pictures = 0;
    IgnoreTicks ignored{};
    bool useOffsets = false;
    OffsetTable offsets{};
    MontageGeometry geometry;
    std::vector<OwnArea> ownAreas;
    bool align = false, colourMatch = false;
    std::optional<DisplayArea> area;
    SmoothingPreferences smoothing;
    int stackLastColumn = 0, stackLastRow = 0, montageWidth = 0, montageHeight = 0;

    // The montage slot as it left it, its per-pixel choices, its deep picture, the pictures it evened
    // and those it left out.
    std::vector<std::uint8_t> slot;
    PictureChoices choices;
    std::shared_ptr<const DeepPicture> deep;
    std::vector<EvenedPicture> evened;
    std::vector<int> leftOut;

    bool sameSettings(const PyramidRun& o) const {
        const auto sameGeometry = [](const MontageGeometry& a, const MontageGeometry& b) {
            return a.W == b.W && a.H == b.H && a.smallestX == b.smallestX && a.largestX == b.largestX &&
                   a.smallestY == b.smallestY && a.largestY == b.largestY && a.shiftX == b.shiftX &&
                   a.shiftY == b.shiftY && a.dY == b.dY;
        };
        const auto sameAreas = [](const std::vector<OwnArea>& a, const std::vector<OwnArea>& b) {
            if (a.size() != b.size()) return false;
            for (std::size_t i = 0; i < a.size(); ++i)
                if (a[i].frameToPicture != b[i].frameToPicture || a[i].width != b[i].width ||
                    a[i].height != b[i].height || a[i].frameHeight != b[i].frameHeight)
                    return false;
            return true;
        };
        const auto sameSmoothing = [](const SmoothingPreferences& a, const SmoothingPreferences& b) {
            return a.autoSmooth == b.autoSmooth && a.edgeFactor == b.edgeFactor && a.focusFactor == b.focusFactor &&
                   a.diffFactor == b.diffFactor && a.edgeFactor2 == b.edgeFactor2;
        };
        return series == o.series && orientation == o.orientation && pictures == o.pictures && ignored == o.ignored &&
               useOffsets == o.useOffsets && offsets == o.offsets && sameGeometry(geometry, o.geometry) &&
               sameAreas(ownAreas, o.ownAreas) && align == o.align && colourMatch == o.colourMatch && area == o.area &&
               sameSmoothing(smoothing, o.smoothing) && stackLastColumn == o.stackLastColumn &&
               stackLastRow == o.stackLastRow && montageWidth == o.montageWidth && montageHeight == o.montageHeight;
    }
};

} // namespace orv
