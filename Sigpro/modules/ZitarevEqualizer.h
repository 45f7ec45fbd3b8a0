#pragma once
// One peaking equaliser section of sp_zitarev's wet output: a second-order all-pass A of the input x,
// blended as 0.5 ((A - x) G + A + x), so that the gain is G at the centre frequency and 1 far from it;
// at G = 1 the section is the all-pass alone. Render thread (coefficients wherever they are computed).

#include <cmath>
#include <numbers>

namespace sigpro {

struct ZitarevEqualizerCoefficients {
    float k = 0.0f;
    float c = 0.0f;
    float gain = 1.0f; // G, linear
};

struct ZitarevEqualizerState {
    float z1 = 0.0f;
    float z2 = 0.0f;
};

// Centre `frequency` in Hz, `level` in dB, at `sample_rate` Hz.
inline ZitarevEqualizerCoefficients zitarevEqualizerCoefficients(float frequency, float level,
                                                                 float sample_rate) {
    ZitarevEqualizerCoefficients q;
    q.gain = static_cast<float>(std::pow(10.0, 0.05 * level));
    const double t = frequency / std::sqrt(double(q.gain)) * (2.0 * std::numbers::pi) / sample_rate;
    q.k = static_cast<float>((1.0 - t) / (1.0 + t));
    q.c = static_cast<float>(-std::cos(2.0 * std::numbers::pi * frequency / sample_rate) * (1.0 + q.k));
    return q;
}

inline float zitarevEqualizerStep(const ZitarevEqualizerCoefficients& q, ZitarevEqualizerState& s, float x) {
    const float w = x - (q.c * s.z1 + q.k * s.z2);
    const float allpass = q.k * w + q.c * s.z1 + s.z2;
    s.z2 = s.z1;
    s.z1 = w;
    return 0.5f * ((allpass - x) * q.gain + allpass + x);
}

} // namespace sigpro
