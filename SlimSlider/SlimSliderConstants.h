#pragma once
// Measures shared by the slider and its styles, in points. Any thread.

namespace slimslider {

inline constexpr double defaultMinHeight = 24.0;
inline constexpr double labelPadding = 6.0;
inline constexpr double cornerRadius = 4.0;
inline constexpr double scaleLength = 5.0;
inline constexpr double secondaryScaleLength = 3.0;
inline constexpr double scaleLineWidth = 0.5;

} // namespace slimslider
