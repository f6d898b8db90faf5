#include "fusion/brightness_evening.h"

#include "engine/properties_text.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

namespace orv {

double medianOf(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t m = values.size() / 2;
    return values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2;
}

std::vector<EvenedPicture> brightnessGains(const std::vector<int>& pictures, const std::vector<double>& brightness) {
    std::vector<double> values;
    for (int n : pictures)
        if (n >= 0 && std::size_t(n) < brightness.size()) values.push_back(brightness[std::size_t(n)]);
    if (values.size() < 2) return {};
    const double median = medianOf(std::move(values));
    // The middle picture's light, as alignment and colour matching take it, unless that shot is
    // itself off (a flash in the middle of the series): then the median's.
    const int middle = pictures[(pictures.size() - 1) / 2];
    const double middleBrightness = middle >= 0 && std::size_t(middle) < brightness.size() ? brightness[std::size_t(middle)] : 0;
    const double reference =
        median > 0 && std::fabs(middleBrightness / median - 1) <= kMiddleReach ? middleBrightness : median;
    std::vector<EvenedPicture> gains;
    for (int n : pictures) {
        if (n < 0 || std::size_t(n) >= brightness.size()) continue;
        const double b = brightness[std::size_t(n)];
        if (!(b > 0)) continue;
        const double gain = reference / b;
        if (std::fabs(gain - 1) <= kEvenTolerance || gain < 0.5 || gain > 2) continue;
        gains.push_back(EvenedPicture{n, gain});
    }
    return gains;
}

std::string evenedNote(const EvenedPicture& e) {
    // The picture's brightness against the series', in whole percent.
    const double against = 1 / e.gain - 1;
    const int percent = int(std::lround(std::fabs(against) * 100));
    return "image " + std::to_string(e.picture) + " is " + std::to_string(percent) + " % " +
           (against > 0 ? "brighter" : "darker") + " than the series and is evened out";
}

std::string leftOutNote(int picture) {
    return "image " + std::to_string(picture) + " has no detail and was left out";
}

std::string withEvenedLines(const std::string& properties, const std::vector<EvenedPicture>& evened,
                            const std::vector<int>& leftOut) {
    if (evened.empty() && leftOut.empty()) return properties;
    std::string lines;
    for (int n : leftOut) lines += "  Note: " + leftOutNote(n) + "\r\n";
    for (const EvenedPicture& e : evened) lines += "  Note: " + evenedNote(e) + "\r\n";
    // Before the increment's line: the same words inside the first file name do not start a line.
    const std::size_t at = propertiesLine(properties, "  Increment size =");
    if (at == std::string::npos) return properties + lines;
    return properties.substr(0, at) + lines + properties.substr(at);
}

namespace pyramid {

void evenLuminance(cv::Mat& luminance, double gain) {
    luminance.convertTo(luminance, luminance.type(), gain);
    cv::min(luminance, cv::Scalar::all(8 * 255), luminance);
}

cv::Mat evenedPicture(const cv::Mat& picture, double gain, cv::Mat& buffer) {
    picture.convertTo(buffer, picture.type(), gain);
    return buffer;
}

const DeepPicture& evenedDeep(const DeepPicture& picture, double gain, DeepPicture& buffer) {
    if (buffer.width != picture.width || buffer.height != picture.height || buffer.channels != picture.channels)
        buffer.reshape(picture.width, picture.height, picture.channels, picture.bitsPerSample);
    buffer.bitsPerSample = picture.bitsPerSample;
    const int columns = picture.width * picture.channels;
    const cv::Mat from(picture.height, columns, CV_16UC1, const_cast<std::uint16_t*>(picture.samples.data()));
    cv::Mat to(picture.height, columns, CV_16UC1, buffer.samples.data());
    from.convertTo(to, CV_16U, gain);
    return buffer;
}

} // namespace pyramid

} // namespace orv
