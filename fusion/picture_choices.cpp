// Reading the block methods' choices back from the dominant-image map.
#include "fusion/picture_choices.h"

#include "base/numbers.h"
#include "base/runtime_error.h"

#include <vector>

namespace orv {

namespace {

// The map's lines, top row of blocks first, without their CR LF; error 5 when the text is not a
// sequence of CR LF-ended lines.
std::vector<std::string> mapLines(const std::string& map) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < map.size()) {
        const std::size_t end = map.find("\r\n", at);
        if (end == std::string::npos) throw RuntimeError(5);
        lines.push_back(map.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// The picture the block loop chose for block (x, y) among those whose number ends in `digit`.
int resolveDigit(const BlockChoiceContext& ctx, FocusMeasure& measure, int x, int y, int digit) {
    const MontageGeometry& g = *ctx.geometry;
    float best = -99999.0f;
    int winner = 0;
    for (int n = digit == 0 ? 10 : digit; n <= ctx.pictureCount; n += 10) {
        std::int16_t px = 0, py = 0;
        const float score = measure.gotFocusMeasure(*ctx.arrays, *ctx.focus, x, add16(y, g.dY),
                                                    ctx.increment, g.shiftX, g.shiftY, px, py, n, n);
        if (score > best) {
            best = score;
            winner = n;
        }
    }
    return winner;
}

} // namespace

PictureChoices blockChoices(const std::string& map, const BlockChoiceContext& ctx) {
    if (!ctx.geometry || ctx.increment <= 0 || ctx.pictureCount < 1) throw RuntimeError(5);
    const MontageGeometry& g = *ctx.geometry;
    const bool ambiguous = ctx.pictureCount > 10;
    if (ambiguous && (!ctx.arrays || !ctx.focus)) throw RuntimeError(5);

    PictureChoices c;
    c.width = std::max(0, roundToInt32(double(g.W)));
    c.height = std::max(0, roundToInt32(double(g.H)));
    c.cell = ctx.increment;
    c.columns = blockCount(g.W, ctx.increment);
    c.rows = blockCount(g.H, ctx.increment);
    const std::vector<std::string> lines = mapLines(map);
    if (int(lines.size()) != c.rows) throw RuntimeError(5);
    c.pictures.assign(std::size_t(c.columns) * std::size_t(c.rows), 0);

    FocusMeasure measure;
    if (ambiguous) measure.allocate(ctx.increment);
    for (int r = 0; r < c.rows; ++r) {
        const std::string& line = lines[std::size_t(c.rows - 1 - r)]; // the first line is the top row
        if (int(line.size()) != c.columns) throw RuntimeError(5);
        for (int b = 0; b < c.columns; ++b) {
            const char ch = line[std::size_t(b)];
            if (ch < '0' || ch > '9') throw RuntimeError(5);
            const int digit = ch - '0';
            int picture = digit == 0 ? 10 : digit;
            if (ambiguous)
                picture = resolveDigit(ctx, measure, b * ctx.increment, r * ctx.increment, digit);
            if (picture < 1 || picture > ctx.pictureCount) throw RuntimeError(5);
            // An ignored picture is named only for a block that every picture refused, picture 1
            // first among them; such a block was left black, so no picture supplied it.
            if (ctx.focus && isIgnored(ctx.focus->ignored, picture)) picture = 0;
            c.pictures[std::size_t(r) * c.columns + b] = std::uint16_t(picture);
        }
    }
    return c;
}

} // namespace orv
