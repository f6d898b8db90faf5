// The display areas of an aligned montage and its properties lines.
#include "align/alignment_report.h"

#include "base/numbers.h"

#include <cmath>
#include <cstdio>

namespace orv {

AreaOutcome applyAlignedArea(MontageGeometry& g, const AlignmentReport& r, DisplayArea area) {
    int W = r.frameWidth, H = r.frameHeight;
    int left = 0, dY = 0;
    if (area == DisplayArea::Minimum) {
        W = r.common.width / 4 * 4;
        H = r.common.height / 4 * 4;
        if (W <= 0 || H <= 0) return AreaOutcome::MinimumEmpty;
        left = r.common.left;
        // Stack rows count from the bottom: the montage's bottom row is the frame row that lies
        // H - 1 rows below the rectangle's top.
        dY = r.frameHeight - r.common.top - H;
    }
    try {
        // A montage block at (x, y) is read from the pictures at (x - shiftX, y + dY + shiftY).
        const std::int16_t shiftX = toInt16(-left), rowAdjust = toInt16(dY);
        g.W = float(toInt16(W));
        g.H = float(toInt16(H));
        g.shiftX = shiftX;
        g.shiftY = 0;
        g.dY = rowAdjust;
    } catch (RuntimeError& e) {
        throw e.atLine(8100);
    }
    return AreaOutcome::Ready;
}

namespace {

// Fixed decimals without a minus sign on a value that rounds to zero.
std::string fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    std::string s = text;
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

} // namespace

std::string alignmentLine(const PictureAlignment& p) {
    const align::Similarity& s = p.similarity;
    return "  Image " + std::to_string(p.picture) + " scale =" + fixed(s.scale, 4) + " , rotation =" +
           fixed(s.rotation, 2) + " , shift =" + fixed(s.shiftX, 1) + " , " + fixed(s.shiftY, 1);
}

std::string alignmentWarning(int picture) {
    return "image " + std::to_string(picture) + " could not be aligned automatically and is used as loaded";
}

std::string alignmentNote(const PictureAlignment& p) {
    if (!p.aligned || !p.converged || p.reference) return {};
    const std::string image = "image " + std::to_string(p.picture);
    switch (p.placement) {
    case PicturePlacement::Measured: {
        // A picture saved on its side or upside down is turned back, and said so.
        const int quarters = int(std::lround(std::fabs(p.similarity.rotation) / 90));
        if (quarters == 0) return {};
        return image + " lay turned by " + std::to_string(90 * quarters) + " degrees and is turned back";
    }
    case PicturePlacement::AsLoaded: return image + " showed no clear move and is used as loaded";
    case PicturePlacement::TooSmall: return image + " is too small to measure a move and is used as loaded";
    case PicturePlacement::Neighbour: {
        const std::string other = "image " + std::to_string(p.neighbour);
        return image + " showed no clear move against " + other + " and is placed as " + other + " is";
    }
    }
    return {};
}

std::string weakNeighbourNote(const PictureAlignment& p) {
    if (!p.aligned || !p.converged || p.reference || p.pastWeak == 0) return {};
    return "image " + std::to_string(p.picture) + " is measured against image " + std::to_string(p.neighbour) +
           ": image " + std::to_string(p.pastWeak) + " matched too weakly to be its neighbour";
}

std::string referenceNote(const AlignmentReport& report) {
    if (report.passedOver == 0 || report.reference == 0) return {};
    return "image " + std::to_string(report.passedOver) + ", the middle picture, shows no detail to align to: image " +
           std::to_string(report.reference) + " is the reference";
}

std::string colourWarning(const PictureAlignment& p) {
    if (!p.aligned || !p.colourRefused) return {};
    return "the colours of image " + std::to_string(p.picture) +
           " are too far from the reference's to be matched";
}

std::vector<std::string> alignmentNotices(const AlignmentReport& report) {
    std::vector<std::string> lines;
    if (const std::string note = referenceNote(report); !note.empty()) lines.push_back(note);
    for (const PictureAlignment& p : report.pictures) {
        if (!p.aligned) continue;
        if (!p.converged) lines.push_back(alignmentWarning(p.picture));
        else if (const std::string note = alignmentNote(p); !note.empty()) lines.push_back(note);
        if (const std::string weak = weakNeighbourNote(p); !weak.empty()) lines.push_back(weak);
        if (const std::string colour = colourWarning(p); !colour.empty()) lines.push_back(colour);
    }
    return lines;
}

std::string alignmentPropertiesLines(const AlignmentReport& report) {
    std::string out = "  Automatic alignment =yes\r\n";
    if (const std::string note = referenceNote(report); !note.empty()) out += "  Note: " + note + "\r\n";
    for (const PictureAlignment& p : report.pictures) {
        if (!p.aligned) continue;
        out += alignmentLine(p) + "\r\n";
        if (!p.converged) out += "  Warning: " + alignmentWarning(p.picture) + "\r\n";
        else if (const std::string note = alignmentNote(p); !note.empty()) out += "  Note: " + note + "\r\n";
        if (const std::string weak = weakNeighbourNote(p); !weak.empty()) out += "  Note: " + weak + "\r\n";
        if (const std::string colour = colourWarning(p); !colour.empty()) out += "  Warning: " + colour + "\r\n";
    }
    return out;
}

std::string withAlignmentLines(const std::string& properties, const AlignmentReport& report) {
    const std::string lines = alignmentPropertiesLines(report);
    std::size_t at = std::string::npos;
    const std::size_t method = properties.rfind("  Montage method used =");
    if (method != std::string::npos) {
        const std::size_t end = properties.find("\r\n", method);
        at = end == std::string::npos ? properties.size() : end + 2;
    } else {
        at = properties.find("  Increment size =");
    }
    if (at == std::string::npos) return properties + lines;
    return properties.substr(0, at) + lines + properties.substr(at);
}

} // namespace orv
