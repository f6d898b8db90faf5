// Evening out a picture taken brighter or darker than the rest of its series (a flash that gave more
// or less light, a lamp that flickers or drifts, the light falling off at the near end of a macro
// series): Pyramid Focus would otherwise take the brighter picture's coefficients wherever the
// pictures are close in sharpness, since its contrast is larger, and patch the montage with its
// brightness. Each such picture is scaled by one gain onto the series' light before it is
// decomposed: the middle picture's, as alignment and colour matching take it, or the median's when
// the middle shot is itself off. A picture within a percent or two of it, and one so far from it
// that no gain within 2 would bring it there (a frame taken with the cap on), is used as it is.
#pragma once
#include "base/deep_picture.h"

#include <string>
#include <vector>

namespace cv {
class Mat;
}

namespace orv {

struct EvenedPicture {
    int picture = 0;  // 1 to N
    double gain = 1;  // what its values are multiplied by
};

// Pictures whose brightness lies within this fraction of the series' are used as they are.
inline constexpr double kEvenTolerance = 0.015;
// The middle picture gives the series' light while it lies within this fraction of the median.
inline constexpr double kMiddleReach = 0.05;

// The median of `values` (the mean of the middle two for an even count; 0 for none).
double medianOf(std::vector<double> values);

// The gains for the pictures `pictures` (numbers, in series order) of mean brightness `brightness`
// (by picture number, 0 to 255): those that differ from 1 by more than the tolerance and lie within
// 0.5 to 2, the middle picture and the median taken over `pictures`.
std::vector<EvenedPicture> brightnessGains(const std::vector<int>& pictures, const std::vector<double>& brightness);

// What a run says of an evened picture: "image 3 is 15 % brighter than the series and is evened out".
std::string evenedNote(const EvenedPicture& e);
// What a run says of a picture it left out: "image 3 has no detail and was left out".
std::string leftOutNote(int picture);
// The properties text with a "  Note: " line for each picture left out, then for each evened
// picture, before its increment line.
std::string withEvenedLines(const std::string& properties, const std::vector<EvenedPicture>& evened,
                            const std::vector<int>& leftOut = {});

namespace pyramid {
// The evened copies: luminance values (eight times the pixel scale) kept within eight times 255,
// 8-bit and 16-bit samples within their range.
void evenLuminance(cv::Mat& luminance, double gain);
cv::Mat evenedPicture(const cv::Mat& picture, double gain, cv::Mat& buffer);
const DeepPicture& evenedDeep(const DeepPicture& picture, double gain, DeepPicture& buffer);
} // namespace pyramid

} // namespace orv
