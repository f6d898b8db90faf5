// Colour matching of an aligned picture against the reference: a gain and an offset per colour
// channel, fitted on very smooth copies of the area both show. Smoothing far wider than any
// defocus blur keeps differences of focus (which change the fine detail, not the broad light)
// from swaying the fit, so that only a brightness drift between shots is removed.
#pragma once

#include "align/common_area.h"

#include <opencv2/core.hpp>

#include <array>

namespace orv::align {

// The reference picture shrunk to the size the fit works at.
struct ColourReference {
    cv::Mat small; // 3 x 8-bit
    double sx = 1, sy = 1;
};

// The reference's copy the fit works on: broad light needs no more than 160 pixels on the long
// side.
ColourReference makeColourReference(const cv::Mat& referenceBgr);

struct ChannelFit {
    std::array<double, 3> gain{1, 1, 1};   // blue, green, red
    std::array<double, 3> offset{0, 0, 0};
    // A channel had pixels enough, but the gain or offset it needs lies beyond a brightness drift
    // (a picture far darker or brighter than the reference): every channel keeps the identity.
    bool refused = false;
    bool identity() const { return gain == std::array<double, 3>{1, 1, 1} && offset == std::array<double, 3>{0, 0, 0}; }
};

// The fit reference ~ gain * picture + offset for `warped` (the picture already on the reference
// frame, same size and rows as the reference), on the frame pixels `own` covers where neither is
// near black or white (clipped values tell nothing about the gain); both are smoothed over that
// area only. A channel without enough usable pixels keeps the identity; when any channel's fit lies
// beyond a drift, all three keep it (and `refused` is set).
ChannelFit fitColour(const ColourReference& reference, const cv::Mat& warped, const Coverage& own);

// Applies the fit to every pixel (rounded, limited to 0 to 255).
void applyColour(cv::Mat& bgr, const ChannelFit& fit);

} // namespace orv::align
