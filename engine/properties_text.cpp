// Building and updating the properties text.
#include "engine/properties_text.h"

#include <algorithm>

namespace orv {

namespace {
const std::string kMapHeading = "  Montage made from dominant image numbers:";
} // namespace

std::string buildPropertiesText(const PropertiesInput& in) {
    const std::string crlf = "\r\n";
    std::string t = crlf;
    t += "  First file name =" + in.firstFileName + crlf;
    t += "  Number of files found =" + std::to_string(in.pictureCount) + crlf;
    bool ignoreLine = false;
    for (int n = 1; n <= 10; ++n) {
        if (!in.ignored[std::size_t(n - 1)]) continue;
        t += (ignoreLine ? ", " : "  Ignore image number =") + std::to_string(n);
        ignoreLine = true;
    }
    if (ignoreLine) t += crlf;
    if (in.method >= 0 && in.method < kMethodCount)
        t += "  Montage method used =" + std::to_string(in.method) + " (" +
             methodCaption(in.method) + ")" + crlf;
    t += "  Increment size =" + trimBlanks(in.incrementText) + crlf;
    t += in.autoSmooth ? "  Smoothing =yes" + crlf : "  Smoothing =no " + crlf;
    if (in.useOffsets) {
        if (in.areaSame) t += "  Offset display method =Same" + crlf;
        if (in.areaMinimum) t += "  Offset display method =Minimum" + crlf;
        if (in.areaMaximum) t += "  Offset display method =Maximum" + crlf;
        for (int n = 1; n <= in.pictureCount && n <= kMaxPictures; ++n) {
            if (isIgnored(in.ignored, n)) continue;
            const ImageOffset o = in.offsets[std::size_t(n)];
            t += "  Image " + std::to_string(n) + " offset X =" + std::to_string(o.x) + crlf;
            t += "  Image " + std::to_string(n) + " offset Y =" + std::to_string(o.y) + crlf;
        }
    }
    t += kMapHeading + crlf + in.map + crlf;
    return t;
}

std::size_t propertiesLine(const std::string& text, const std::string& key) {
    if (text.compare(0, key.size(), key) == 0) return 0;
    const std::size_t at = text.find("\n" + key);
    return at == std::string::npos ? at : at + 1;
}

std::size_t propertiesMapHeading(const std::string& text) { return text.rfind(kMapHeading); }

std::string updatePropertiesAfterSmoothing(const std::string& text, const std::string& map) {
    std::string t = text;
    // The map's heading is the last line before the map, whose lines hold only digits: its
    // "image numbers:" is the last one, whatever the first file name's folders are called.
    const std::string marker = "image numbers:";
    const auto m = t.rfind(marker);
    // Everything up to the two characters after the marker (its line break) stays; the new map
    // replaces the rest.
    if (m != std::string::npos) t = t.substr(0, std::min(t.size(), m + marker.size() + 2)) + map;
    const std::string smoothing = "  Smoothing =";
    const auto s = propertiesLine(t, smoothing);
    if (s != std::string::npos) t.replace(s + smoothing.size(), 3, "yes");
    return t;
}

} // namespace orv
