#include "SlimSlider/Scale.h"

#include <algorithm>

namespace slimslider {

std::vector<double> Scale::lineXs(double width, double maxX) const {
    std::vector<double> xs;
    if (count <= 0 || minSpacing <= 1.0) return xs;
    const double spacing = std::max(width / (double(count) + 1.0), minSpacing);
    for (int k = 1; k <= count; ++k) {
        const double x = k * spacing;
        if (k > 1 && x > maxX) break;
        xs.push_back(x);
    }
    return xs;
}

std::vector<ScaleLayer> scaleLayers(int steps, double scaleLength, double secondaryScaleLength) {
    if (steps > 0) return {ScaleLayer{Scale{steps}, ScaleTone::main, scaleLength}};
    std::vector<ScaleLayer> layers{ScaleLayer{Scale{49}, ScaleTone::fine, secondaryScaleLength}};
    if (steps == 0) layers.push_back(ScaleLayer{Scale{9}, ScaleTone::main, scaleLength});
    return layers;
}

} // namespace slimslider
