#pragma once
// Measurements on rendered test signals for the module tests: amplitude of a tone by least-squares fit,
// steady gain of a filter, averaged noise spectra by a direct DFT, zero crossings. Independent of the
// module FFT on purpose. Test thread.

#include <cmath>
#include <cstddef>
#include <functional>
#include <numbers>
#include <vector>

namespace sigprotest {

inline double toDecibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

// Amplitude of the component at `hz` in y[first ...]: least-squares fit of a sine and a cosine.
inline double toneAmplitude(const std::vector<float>& y, double rate, double hz, std::size_t first = 0) {
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
    return std::hypot((ys * cc - yc * sc) / det, (yc * ss - ys * sc) / det);
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

inline int risingZeroCrossings(const std::vector<float>& y, std::size_t first = 0) {
    int count = 0;
    for (std::size_t n = first + 1; n < y.size(); ++n)
        if (y[n - 1] < 0.0f && y[n] >= 0.0f) ++count;
    return count;
}

} // namespace sigprotest
