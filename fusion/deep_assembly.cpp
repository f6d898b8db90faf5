// The assembly is a copy per pixel; rows are independent.
#include "fusion/deep_assembly.h"

#include "base/runtime_error.h"

namespace orv {

DeepPicture assembleDeep(const PictureChoices& choices, const std::vector<DeepSource>& sources, int channels) {
    if ((channels != 1 && channels != 3) || choices.width < 0 || choices.height < 0) throw RuntimeError(5);
    int bits = 8;
    for (const DeepSource& s : sources)
        if (s.picture && s.picture->bitsPerSample == 16) bits = 16;
    DeepPicture out(choices.width, choices.height, channels, bits);
    for (int y = 0; y < choices.height; ++y) {
        std::uint16_t* row = out.row(choices.height - 1 - y);
        for (int x = 0; x < choices.width; ++x) {
            const int n = choices.at(x, y);
            if (n == 0) continue;
            if (std::size_t(n) > sources.size()) throw RuntimeError(5);
            const DeepSource& s = sources[std::size_t(n - 1)];
            if (!s.picture) continue;
            const DeepPicture& p = *s.picture;
            const int px = x + s.ox, cellRow = y + s.oy;
            if (px < 0 || px >= p.width || cellRow < 0 || cellRow >= p.height) continue;
            const std::uint16_t* from = p.row(p.height - 1 - cellRow) + std::size_t(px) * std::size_t(p.channels);
            std::uint16_t* to = row + std::size_t(x) * std::size_t(channels);
            for (int c = 0; c < channels; ++c) to[c] = from[p.channels == 1 ? 0 : c];
        }
    }
    return out;
}

} // namespace orv
