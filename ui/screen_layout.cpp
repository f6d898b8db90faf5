// Scale factors and window geometry.
#include "ui/screen_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace orv {

std::int16_t twipsPerPixelFor(double logicalDpi) {
    if (!(logicalDpi > 0)) return 15;
    return std::int16_t(std::clamp(std::nearbyint(1440.0 / logicalDpi), 1.0, 1440.0));
}

void computeScreenScale(LayoutRecord& layout, ScreenSize screen, std::optional<ScreenSize> resolution) {
    if (resolution && resolution->width > 0 && resolution->height > 0) screen = *resolution;
    const double tx = layout.twipsPerPixel, ty = layout.twipsPerPixelY;
    // The sizes go through twips and back, as the window layout counts them.
    const double width = std::nearbyint(screen.width * tx / tx);
    const double height = std::nearbyint(screen.height * ty / ty);
    if (width >= 1004 && width <= 1044 && height >= 748 && height <= 788) {
        layout.scaleX = tx / 15;
        layout.scaleY = ty / 15;
    } else {
        layout.scaleX = (width / 1024) * tx / 15;
        layout.scaleY = (height / 768) * ty / 15;
    }
}

Geometry scaleControlGeometry(const std::string& name, const Geometry& g, double fontRatio,
                              const LayoutRecord& layout) {
    std::string n = name;
    std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    Geometry r{g.left * layout.scaleX, g.top * layout.scaleY, g.width, g.height};
    if (n == "textincrement") {
        r.width = g.width * fontRatio;
        r.height = g.height * fontRatio;
    } else if (n != "label1" && n != "labelsmooth") {
        r.width = g.width * layout.scaleX;
        r.height = g.height * layout.scaleY;
    }
    return r;
}

Geometry scaleWindowGeometry(const Geometry& g, const LayoutRecord& layout) {
    return {g.left * layout.scaleX, g.top * layout.scaleY, g.width * layout.scaleX,
            g.height * layout.scaleY};
}

Placement cascadePlacement(int k, int fileBoxBottom, int pictureWidth, int pictureHeight,
                           const LayoutRecord& layout) {
    Placement p;
    p.left = (k - 1) * 20;
    p.top = fileBoxBottom + layout.captionHeight + layout.menuBarHeight + k * 20;
    p.outerWidth = pictureWidth + 2 * layout.sizingFrameHeight;
    p.outerHeight = pictureHeight + layout.captionHeight + 2 * layout.dialogFrameHeight;
    return p;
}

} // namespace orv
