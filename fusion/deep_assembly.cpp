// The assembly is a copy per pixel; rows are independent.
#include "fusion/deep_assembly.h"

#include "base/runtime_error.h"

#include <algorithm>

namespace orv {

void assembleDeepFrom(DeepPicture& out, const PictureChoices& choices, int n, const DeepSource& s) {
    if (out.width != choices.width || out.height != choices.height) throw RuntimeError(5);
    if (!s.picture || n <= 0 || choices.cell <= 0) return;
    const DeepPicture& p = *s.picture;
    const int channels = out.channels, cell = choices.cell;
    const int heldWidth = s.cellsWidth > 0 ? std::min(p.width, s.cellsWidth) : p.width;
    const int heldHeight = s.cellsHeight > 0 ? std::min(p.height, s.cellsHeight) : p.height;
    // The pixels a picture's cells cover, as runs: the columns of the picture within the montage.
    const int x0 = std::max(0, -s.ox), x1 = std::min(choices.width, heldWidth - s.ox);
    for (int y = 0; y < choices.height; ++y) {
        const int cellRow = y + s.oy;
        if (cellRow < 0 || cellRow >= heldHeight || x0 >= x1) continue;
        const std::uint16_t* chosen = choices.pictures.data() + std::size_t(y / cell) * std::size_t(choices.columns);
        std::uint16_t* row = out.row(choices.height - 1 - y);
        const std::uint16_t* pictureRow = p.row(p.height - 1 - cellRow);
        for (int column = x0 / cell; column * cell < x1; ++column) {
            if (chosen[column] != n) continue;
            for (int x = std::max(x0, column * cell), end = std::min(x1, (column + 1) * cell); x < end; ++x) {
                const std::uint16_t* from = pictureRow + std::size_t(x + s.ox) * std::size_t(p.channels);
                std::uint16_t* to = row + std::size_t(x) * std::size_t(channels);
                for (int c = 0; c < channels; ++c) to[c] = from[p.channels == 1 ? 0 : c];
            }
        }
    }
}

int largestChoice(const PictureChoices& choices) {
    return choices.pictures.empty() ? 0 : int(*std::max_element(choices.pictures.begin(), choices.pictures.end()));
}

DeepPicture spreadToColour(const DeepPicture& grey) {
    DeepPicture out(grey.width, grey.height, 3, grey.bitsPerSample);
    for (std::size_t i = 0; i < grey.samples.size(); ++i)
        std::fill_n(out.samples.begin() + std::ptrdiff_t(3 * i), 3, grey.samples[i]);
    return out;
}

DeepPicture assembleDeep(const PictureChoices& choices, const std::vector<DeepSource>& sources, int channels) {
    if ((channels != 1 && channels != 3) || choices.width < 0 || choices.height < 0) throw RuntimeError(5);
    if (std::size_t(largestChoice(choices)) > sources.size()) throw RuntimeError(5);
    int bits = 8;
    for (const DeepSource& s : sources)
        if (s.picture && s.picture->bitsPerSample == 16) bits = 16;
    DeepPicture out(choices.width, choices.height, channels, bits);
    for (int n = 1; n <= int(sources.size()); ++n) assembleDeepFrom(out, choices, n, sources[std::size_t(n - 1)]);
    return out;
}

} // namespace orv
