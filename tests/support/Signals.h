#pragma once
// Test signals made in code and measurements of what was rendered: sines, noise and ramps; level, peak,
// onset, frequency by zero crossings, and the amplitude of one component by least squares or Goertzel.
// The standard library only, so that any test program can use it, and independent of the Sigpro FFT on
// purpose. Test thread.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace testsupport {

// amplitude * sin(2 pi hz n / rate + phase), n = 0 ... frames - 1.
inline std::vector<float> sine(std::size_t frames, double hz, double rate, double amplitude = 1.0,
                               double phase = 0.0) {
    std::vector<float> samples(frames);
    for (std::size_t n = 0; n < frames; ++n)
        samples[n] =
            static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * double(n) / rate + phase));
    return samples;
}

// White noise, uniform in [-level, level), the same for the same seed.
inline std::vector<float> noise(std::size_t frames, unsigned seed, float level = 1.0f) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> distribution(-level, level);
    std::vector<float> samples(frames);
    for (float& sample : samples)
        sample = distribution(generator);
    return samples;
}

// Noise in [-0.5, 0.5) from a linear congruential generator: the same on every standard library.
inline std::vector<float> lcgNoise(std::size_t frames, std::uint32_t seed) {
    std::vector<float> samples(frames);
    for (float& sample : samples) {
        seed = seed * 1664525u + 1013904223u;
        sample = float(seed >> 8) / float(1u << 24) - 0.5f;
    }
    return samples;
}

// first + step * n: every sample differs, so a dropped or repeated frame shows.
inline std::vector<float> ramp(std::size_t frames, float first, float step) {
    std::vector<float> samples(frames);
    for (std::size_t n = 0; n < frames; ++n)
        samples[n] = first + step * float(n);
    return samples;
}

inline double toDecibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

// Root mean square of samples[from, to) (to the end by default).
inline double rms(const std::vector<float>& samples, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    to = std::min(to, samples.size());
    if (from >= to) return 0.0;
    double sum = 0.0;
    for (std::size_t n = from; n < to; ++n)
        sum += double(samples[n]) * samples[n];
    return std::sqrt(sum / double(to - from));
}

// Largest magnitude in samples[from, to).
inline float peak(const std::vector<float>& samples, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    to = std::min(to, samples.size());
    float largest = 0.0f;
    for (std::size_t n = from; n < to; ++n)
        largest = std::max(largest, std::fabs(samples[n]));
    return largest;
}

// The first index at or after `from` whose magnitude exceeds `threshold`, or the size.
inline std::size_t onset(const std::vector<float>& samples, float threshold = 0.0f, std::size_t from = 0) {
    for (std::size_t n = from; n < samples.size(); ++n)
        if (std::fabs(samples[n]) > threshold) return n;
    return samples.size();
}

inline int risingZeroCrossings(const std::vector<float>& samples, std::size_t from = 0) {
    int count = 0;
    for (std::size_t n = from + 1; n < samples.size(); ++n)
        if (samples[n - 1] < 0.0f && samples[n] >= 0.0f) ++count;
    return count;
}

// Frequency from rising zero crossings, linearly interpolated between samples; 0 with fewer than two.
inline double zeroCrossingFrequency(const std::vector<float>& samples, std::size_t from, double rate) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (std::size_t i = from + 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            const double at = double(i - 1) + samples[i - 1] / double(samples[i - 1] - samples[i]);
            if (first < 0.0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

// Where samples[from, to) depart most from one unbroken sine of `hz` (of any amplitude and phase), and
// by how much: a sine keeps x[n - 1] + x[n + 1] = 2 cos(w) x[n], which a skipped, repeated or silent
// stretch breaks at its edges.
struct SineBreak {
    std::size_t at = 0;
    double size = 0.0;
};
inline SineBreak largestSineBreak(const std::vector<float>& samples, double hz, double rate,
                                  std::size_t from = 0, std::size_t to = SIZE_MAX) {
    const double twiceCos = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    to = std::min(to, samples.size());
    SineBreak largest;
    for (std::size_t n = std::max<std::size_t>(from, 1); n + 1 < to; ++n) {
        const double size = std::fabs(double(samples[n - 1]) + samples[n + 1] - twiceCos * samples[n]);
        if (size > largest.size) largest = {n, size};
    }
    return largest;
}

// Power of samples[from ...] at `hz` (Goertzel), normalised by the length.
inline double goertzelPower(const std::vector<float>& samples, std::size_t from, double hz, double rate) {
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    double previous = 0.0, beforePrevious = 0.0;
    for (std::size_t i = from; i < samples.size(); ++i) {
        const double current = samples[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    const double length = double(samples.size() - from);
    return power / (length * length);
}

// The component at `hz` in y[first ...] as a least-squares fit a sin + b cos, returned as a + i b: its
// magnitude is the amplitude, its argument the phase relative to sin.
inline std::complex<double> toneComponent(const std::vector<float>& y, double rate, double hz,
                                          std::size_t first = 0) {
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (std::size_t n = first; n < y.size(); ++n) {
        const double phase = 2.0 * std::numbers::pi * hz * double(n) / rate;
        const double s = std::sin(phase);
        const double c = std::cos(phase);
        ss += s * s;
        cc += c * c;
        sc += s * c;
        ys += y[n] * s;
        yc += y[n] * c;
    }
    const double det = ss * cc - sc * sc;
    return {(ys * cc - yc * sc) / det, (yc * ss - ys * sc) / det};
}

// Amplitude of the component at `hz` in y[first ...].
inline double toneAmplitude(const std::vector<float>& y, double rate, double hz, std::size_t first = 0) {
    const auto component = toneComponent(y, rate, hz, first);
    return std::hypot(component.real(), component.imag());
}

// The mean square of samples over the `width` samples ending at each index: a level envelope, for
// timing a slow modulation of a tone.
inline std::vector<double> powerEnvelope(const std::vector<float>& samples, std::size_t width) {
    std::vector<double> envelope(samples.size());
    double sum = 0.0;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        sum += double(samples[n]) * samples[n];
        if (n >= width) sum -= double(samples[n - width]) * samples[n - width];
        envelope[n] = sum / double(std::min(n + 1, width));
    }
    return envelope;
}

// The phase, against sin(w n), of the component of angular frequency `w` (radians per sample) in
// y[from, to), fitted by least squares with the mean removed. Two windows of a stretched modulation
// give how far the audio between them moved from its expected timing: (phase2 - phase1) / w samples.
inline double componentPhase(const std::vector<double>& y, std::size_t from, std::size_t to, double w) {
    double s1 = 0, c1 = 0, y1 = 0, ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (std::size_t n = from; n < to; ++n) {
        const double s = std::sin(w * double(n)), c = std::cos(w * double(n));
        s1 += s;
        c1 += c;
        y1 += y[n];
        ss += s * s;
        cc += c * c;
        sc += s * c;
        ys += y[n] * s;
        yc += y[n] * c;
    }
    const double count = double(to - from);
    ss -= s1 * s1 / count;
    cc -= c1 * c1 / count;
    sc -= s1 * c1 / count;
    ys -= y1 * s1 / count;
    yc -= y1 * c1 / count;
    const double det = ss * cc - sc * sc;
    return std::atan2((yc * ss - ys * sc) / det, (ys * cc - yc * sc) / det);
}

// Renders `samples` outputs of a one-sample step function.
inline std::vector<float> renderSamples(std::size_t samples, const std::function<float(float)>& step,
                                        const std::function<float(std::size_t)>& input) {
    std::vector<float> y(samples);
    for (std::size_t n = 0; n < samples; ++n)
        y[n] = step(input(n));
    return y;
}

// Steady gain at `hz` of a linear(ised) filter fed a sine of `level`: fit over the second half of a
// render of `samples` samples.
inline double steadyGain(double rate, double hz, const std::function<float(float)>& step, double level = 1.0,
                         std::size_t samples = 44100) {
    const auto y = renderSamples(samples, step, [&](std::size_t n) {
        return static_cast<float>(level * std::sin(2.0 * std::numbers::pi * hz * double(n) / rate));
    });
    return toneAmplitude(y, rate, hz, samples / 2) / level;
}

// Mean power per DFT bin of Hann-windowed segments of `segment` samples (bins 0 ... segment / 2).
inline std::vector<double> averagedPowerSpectrum(const std::function<float()>& source, std::size_t segment,
                                                 int segments) {
    std::vector<double> power(segment / 2 + 1, 0.0);
    std::vector<double> window(segment), cosTable(segment), sinTable(segment), x(segment);
    for (std::size_t n = 0; n < segment; ++n) {
        window[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(n) / double(segment));
        cosTable[n] = std::cos(2.0 * std::numbers::pi * double(n) / double(segment));
        sinTable[n] = std::sin(2.0 * std::numbers::pi * double(n) / double(segment));
    }
    for (int s = 0; s < segments; ++s) {
        for (std::size_t n = 0; n < segment; ++n)
            x[n] = source() * window[n];
        for (std::size_t k = 0; k < power.size(); ++k) {
            double re = 0, im = 0;
            std::size_t turn = 0;
            for (std::size_t n = 0; n < segment; ++n) {
                re += x[n] * cosTable[turn];
                im -= x[n] * sinTable[turn];
                turn = (turn + k) % segment;
            }
            power[k] += (re * re + im * im) / segments;
        }
    }
    return power;
}

// Mean of power[first, last).
inline double bandPower(const std::vector<double>& power, std::size_t first, std::size_t last) {
    double sum = 0;
    for (std::size_t k = first; k < last; ++k)
        sum += power[k];
    return sum / double(last - first);
}

} // namespace testsupport
