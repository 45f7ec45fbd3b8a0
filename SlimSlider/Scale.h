#pragma once
// Tick marks of the slider: where the lines of one scale fall, and which scales a step count draws.
// Plain values, any thread.

#include <vector>

namespace slimslider {

// A row of evenly spaced vertical lines, `count` of them, never closer than minSpacing.
struct Scale {
    int count = 0;
    double minSpacing = 3.0;

    // x of each line inside a rectangle of the given width whose right edge is maxX. Lines are counted from
    // x = 0; the first is always drawn, later ones only while they stay within maxX.
    std::vector<double> lineXs(double width, double maxX) const;
};

// Main ticks use the appearance's scale colour, fine ticks its secondary scale colour.
enum class ScaleTone { main, fine };

struct ScaleLayer {
    Scale scale;
    ScaleTone tone;
    double length; // height of the lines from the top; 0 or less: the slider's full height
};

// The scales a slider with `steps` inner step boundaries shows, back to front: one main tick per boundary,
// or for a continuous slider 49 fine ticks under 9 main ones.
std::vector<ScaleLayer> scaleLayers(int steps, double scaleLength, double secondaryScaleLength);

} // namespace slimslider
