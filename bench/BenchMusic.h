#pragma once
// The music the playback benchmarks play: a chord progression over a beat with noisy hits, different
// on the two channels. Music keeps a stretcher as busy as songs do, where a pure tone or silence
// would flatter it.

#include "tests/platform/files/AudioFileFixtures.h"

#include <cmath>
#include <random>

namespace benchmusic {

inline fixtures::Channels music(double seconds, int rate = 44100) {
    const auto frames = std::size_t(seconds * rate);
    fixtures::Channels out(2, std::vector<float>(frames));
    std::mt19937 noise(11);
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    const double chords[4][3] = {
        {220.0, 277.2, 329.6}, {196.0, 246.9, 293.7}, {174.6, 220.0, 261.6}, {196.0, 246.9, 311.1}};
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double* chord = chords[std::size_t(t / 2.0) % 4];
        const double beat = std::exp(-14.0 * std::fmod(t, 0.5));
        const double offbeat = std::exp(-30.0 * std::fmod(t + 0.25, 0.5));
        const double tones = std::sin(2 * M_PI * chord[0] * t) + std::sin(2 * M_PI * chord[1] * t) +
                             std::sin(2 * M_PI * chord[2] * t);
        const double bass = std::sin(2 * M_PI * chord[0] / 2 * t) * beat;
        out[0][i] = float(0.12 * tones + 0.3 * bass + 0.25 * beat * spread(noise));
        out[1][i] = float(0.12 * tones + 0.3 * bass + 0.2 * offbeat * spread(noise));
    }
    return out;
}

} // namespace benchmusic
