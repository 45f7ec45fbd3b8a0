#pragma once
// From where a single-value slider fills its progress bar; a range slider ignores it. Any thread.

namespace slimslider {

enum class SlimSliderDirection {
    leading,  // from the leading edge to the value
    center,   // between the middle and the value, on whichever side it lies
    trailing, // from the value to the trailing edge
};

} // namespace slimslider
