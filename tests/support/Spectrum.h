#pragma once
// The frequency of the strongest spectral peak of rendered audio: a Hann-windowed radix-2 FFT of the
// first power-of-two samples, refined by a parabola through the log magnitudes around the peak bin. The
// standard library only. Test thread.

#include <cmath>
#include <complex>
#include <numbers>
#include <utility>
#include <vector>

namespace testsupport {

// The largest power of two ≤ samples.size() - from samples from `from` on; bins below `minimumHz` are
// skipped (DC and rumble). 0 for fewer than 64 samples.
inline double spectralPeakFrequency(const std::vector<float>& samples, std::size_t from, double rate,
                                    double minimumHz = 20.0) {
    std::size_t n = 1;
    while (from + n * 2 <= samples.size())
        n *= 2;
    if (n < 64 || from + n > samples.size()) return 0.0;
    std::vector<std::complex<double>> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = samples[from + i] * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(n)));
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t length = 2; length <= n; length *= 2) {
        const auto turn = std::polar(1.0, -2.0 * std::numbers::pi / double(length));
        for (std::size_t start = 0; start < n; start += length) {
            std::complex<double> w = 1.0;
            for (std::size_t k = 0; k < length / 2; ++k, w *= turn) {
                const auto a = x[start + k], b = x[start + k + length / 2] * w;
                x[start + k] = a + b;
                x[start + k + length / 2] = a - b;
            }
        }
    }
    const auto first = std::size_t(std::ceil(minimumHz * double(n) / rate)) + 1;
    std::size_t best = first;
    for (std::size_t k = first; k + 1 < n / 2; ++k)
        if (std::abs(x[k]) > std::abs(x[best])) best = k;
    const double l = std::log(std::abs(x[best - 1]) + 1e-30), c = std::log(std::abs(x[best]) + 1e-30),
                 r = std::log(std::abs(x[best + 1]) + 1e-30);
    const double denominator = l - 2.0 * c + r;
    const double shift = denominator != 0.0 ? 0.5 * (l - r) / denominator : 0.0;
    return (double(best) + shift) * rate / double(n);
}

} // namespace testsupport
