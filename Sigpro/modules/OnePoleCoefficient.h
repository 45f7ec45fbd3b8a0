#pragma once
// The pole of the one-pole filters sp_tone and sp_atone for a half-power point: b = 2 - cos(w),
// c2 = b - sqrt(b^2 - 1), with the cosine and root in double and b in float. Any thread.

#include <cmath>

namespace sigpro {

inline float onePolePole(float halfPowerPoint, float radiansPerHz) {
    const float b = static_cast<float>(2.0 - std::cos(double(halfPowerPoint * radiansPerHz)));
    return static_cast<float>(b - std::sqrt(double(b * b) - 1.0));
}

} // namespace sigpro
