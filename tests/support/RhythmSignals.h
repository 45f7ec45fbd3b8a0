#pragma once
// Short rhythmic pieces made in code with known beats and bar starts: a kick, a snare, hats, a bass
// note and chords on a beat grid, optionally swung or led in by a pickup or a free-time intro, and a
// scoring of found beats against the known ones. The standard library only. Test thread.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <vector>

namespace testsupport {

struct RhythmPiece {
    std::vector<float> samples;
    double rate = 22050;
    std::vector<double> beats;     // seconds
    std::vector<double> downbeats; // seconds
};

struct RhythmPlan {
    double bpm = 120;
    int beatsPerBar = 4;
    int bars = 8;
    int pickupBeats = 0;      // beats of melody before the first bar
    double introSeconds = 0;  // pulseless held chords before the count
    bool drums = true;        // kick on 1 (and 3 of four), snare off it, hats
    double swing = 0;         // 0: straight eighth hats; 1/6: the off-beat at two thirds of the beat
    bool brightSnare = false; // a snare with no low end, as a drum kit's: the bass band hears only the kick
    double rate = 22050;
};

namespace rhythm {

inline void addTone(std::vector<float>& out, double rate, double at, double hz, double level, double seconds,
                    double decay) {
    const auto from = std::size_t(std::max(0.0, at * rate));
    const auto to = std::min(out.size(), from + std::size_t(seconds * rate));
    for (std::size_t n = from; n < to; ++n) {
        const double t = double(n - from) / rate;
        out[n] += float(level * std::exp(-t / decay) * std::sin(2 * std::numbers::pi * hz * t));
    }
}

// A burst of deterministic noise: a snare (long) or a hat (short); bright: differenced, so that it has
// next to nothing below a few hundred hertz.
inline void addNoise(std::vector<float>& out, double rate, double at, double level, double decay,
                     bool bright = false) {
    const auto from = std::size_t(std::max(0.0, at * rate));
    const auto to = std::min(out.size(), from + std::size_t(6 * decay * rate));
    unsigned seed = unsigned(from) * 2654435761u;
    double last = 0;
    for (std::size_t n = from; n < to; ++n) {
        seed = seed * 1664525u + 1013904223u;
        const double white = double(seed >> 8) / double(1u << 24) - 0.5;
        const double sample = bright ? white - last : white;
        last = white;
        out[n] += float(level * 2 * sample * std::exp(-double(n - from) / rate / decay));
    }
}

inline void addChord(std::vector<float>& out, double rate, double at, double rootHz, double level,
                     double seconds) {
    for (const double ratio : {1.0, 1.26, 1.5, 2.0})
        addTone(out, rate, at, rootHz * ratio, level / 4, seconds, seconds / 2);
}

} // namespace rhythm

// The piece: bars with a bass note on 1 and a chord that changes every bar, drums when asked.
inline RhythmPiece rhythmPiece(const RhythmPlan& plan) {
    RhythmPiece piece;
    piece.rate = plan.rate;
    const double beat = 60.0 / plan.bpm;
    const double start = plan.introSeconds > 0 ? plan.introSeconds : 0.5;
    const int beats = plan.pickupBeats + plan.bars * plan.beatsPerBar;
    piece.samples.assign(std::size_t((start + (beats + 2) * beat) * plan.rate), 0.0f);
    auto& out = piece.samples;
    const double rate = plan.rate;

    // Held chords at uneven times: nothing a beat could be counted from.
    for (double at = 0.0, step = 1.3; at + 0.5 < plan.introSeconds; at += step, step = step > 1.5 ? 0.9 : 1.7)
        rhythm::addChord(out, rate, at, 220 * (step > 1.5 ? 1.0 : 1.19), 0.3, step * 1.2);

    const double roots[] = {110, 146.8, 98, 130.8};
    for (int i = 0; i < beats; ++i) {
        const double at = start + i * beat;
        piece.beats.push_back(at);
        if (i < plan.pickupBeats) {
            rhythm::addTone(out, rate, at, 660, 0.25, beat * 0.8, 0.2);
            continue;
        }
        const int position = (i - plan.pickupBeats) % plan.beatsPerBar;
        const int bar = (i - plan.pickupBeats) / plan.beatsPerBar;
        const double root = roots[bar % 4];
        if (position == 0) {
            piece.downbeats.push_back(at);
            rhythm::addTone(out, rate, at, root / 2, 0.5, beat * 0.9, 0.25);
            rhythm::addChord(out, rate, at, root * 2, 0.25, beat * plan.beatsPerBar);
        } else {
            rhythm::addChord(out, rate, at, root * 2, 0.12, beat * 0.5);
        }
        if (!plan.drums) continue;
        const bool kick = position == 0 || (plan.beatsPerBar == 4 && position == 2);
        if (kick)
            rhythm::addTone(out, rate, at, 55, position == 0 ? 0.8 : 0.6, 0.25, 0.06);
        else
            rhythm::addNoise(out, rate, at, 0.25, 0.05, plan.brightSnare);
        rhythm::addNoise(out, rate, at, 0.08, 0.01);
        rhythm::addNoise(out, rate, at + beat * (0.5 + plan.swing), 0.06, 0.01);
    }
    // Below full scale, so that any file format takes it.
    const float loudest =
        *std::max_element(out.begin(), out.end(), [](float a, float b) { return std::abs(a) < std::abs(b); });
    for (float& sample : out)
        sample *= 0.9f / std::max(0.9f, std::abs(loudest));
    return piece;
}

// How many of `truths` a time of `found` meets within `tolerance`, one to one.
inline std::size_t metWithin(const std::vector<double>& found, const std::vector<double>& truths,
                             double tolerance = 0.07) {
    std::size_t hits = 0, next = 0;
    for (const double truth : truths) {
        while (next < found.size() && found[next] < truth - tolerance)
            ++next;
        if (next < found.size() && std::abs(found[next] - truth) <= tolerance) {
            ++hits;
            ++next;
        }
    }
    return hits;
}

// The beats' F-measure: found beats that meet a true one, weighed against both counts.
inline double beatFMeasure(const std::vector<double>& found, const std::vector<double>& truths,
                           double tolerance = 0.07) {
    const double hits = double(metWithin(found, truths, tolerance));
    if (hits == 0) return 0;
    return 2 * hits / double(found.size() + truths.size());
}

} // namespace testsupport
