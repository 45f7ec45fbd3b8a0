#pragma once
// The four-point cubic interpolation of the delay-line modules sp_vdelay and sp_revsc. Any thread.

namespace sigpro {

// Value at fraction a (0 <= a <= 1) past y0, from the points ym1, y0, y1, y2 around it.
inline float delayCubic(float a, float ym1, float y0, float y1, float y2) {
    const auto d = static_cast<float>((a * a - 1.0f) * 0.1666666667);
    const float c = (a + 1.0f) * 0.5f;
    return y0 + a * (d * y2 + (c - 3.0f * d) * y1 + (c - 1.0f - d) * ym1 + (3.0f * d - a) * y0);
}

} // namespace sigpro
