// What an alignment means for the rest of Make Montage: the montage size and placement for each
// display area, and the lines that record the alignment in the properties text.
#pragma once

#include "align/align_series.h"
#include "engine/montage.h"

#include <string>
#include <vector>

namespace orv {

// Sets the montage size and placement for an aligned series, in place of the offsets' display
// areas. Same and Maximum keep the reference frame; Minimum crops the montage to the common
// rectangle, its sides cut down to multiples of 4. Returns MinimumEmpty, changing nothing, when
// no rectangle of at least 4 x 4 pixels is left. Raises RuntimeError 6 when a value does not fit
// 16 bits.
AreaOutcome applyAlignedArea(MontageGeometry& g, const AlignmentReport& report, DisplayArea area);

// "  Image 3 scale =0.9804 , rotation =-0.12 , shift =12.5 , -3.0"
std::string alignmentLine(const PictureAlignment& p);

// "image 3 could not be aligned automatically and is used as loaded"
std::string alignmentWarning(int picture);

// Why a picture was not moved by its own measured map, empty when it was:
// "image 3 showed no clear move and is used as loaded",
// "image 3 showed no clear move against image 4 and is placed as image 4 is",
// "image 3 is too small to measure a move and is used as loaded";
// and for a picture its map turns by a quarter turn or more:
// "image 3 lay turned by 90 degrees and is turned back".
std::string alignmentNote(const PictureAlignment& p);

// "image 2 is measured against image 4: image 3 matched too weakly to be its neighbour" for a
// picture measured past a neighbour whose own match was weak (a picture far out of focus); empty
// otherwise.
std::string weakNeighbourNote(const PictureAlignment& p);

// "image 4, the middle picture, shows no detail to align to: image 3 is the reference" when the
// middle picture was passed over; empty otherwise.
std::string referenceNote(const AlignmentReport& report);

// "the colours of image 3 are too far from the reference's to be matched" for a colour-matched
// picture with a channel whose fit lies beyond a drift (that channel keeps its values); empty
// otherwise.
std::string colourWarning(const PictureAlignment& p);

// What a front end tells on standard error after an alignment, one line each (without a line
// end): the reference note when there is one, then the warning of every picture that could not be
// aligned and the note of every picture kept as loaded or at its neighbour's place, then the note
// of a picture measured past a weak neighbour, then its colour warning when it has one.
std::vector<std::string> alignmentNotices(const AlignmentReport& report);

// The lines an aligned montage adds to its properties text, each ended by CR LF: the line
// "  Automatic alignment =yes", then "  Note: " + referenceNote(report) when there is one, then
// for every picture in use its alignment line, followed by the warning line
// "  Warning: " + alignmentWarning(n) for a picture whose alignment did not converge,
// or the line "  Note: " + alignmentNote(p) for a picture kept as loaded or at its neighbour's place,
// then "  Note: " + weakNeighbourNote(p) for a picture measured past a weak neighbour,
// and "  Warning: " + colourWarning(p) for a picture whose colours could not be matched.
std::string alignmentPropertiesLines(const AlignmentReport& report);

// `properties` with the alignment lines after its method line (before the increment line when
// there is no method line; at the end when there is neither).
std::string withAlignmentLines(const std::string& properties, const AlignmentReport& report);

} // namespace orv
