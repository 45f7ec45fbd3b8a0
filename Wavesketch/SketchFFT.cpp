#include "Wavesketch/SketchFFT.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <numbers>
#include <numeric>

namespace wavesketch {

std::optional<SketchFFTWindowType> sketchFFTWindowType(int rawValue) {
    if (rawValue < 0 || rawValue > 2) return std::nullopt;
    return SketchFFTWindowType(rawValue);
}

std::unique_ptr<SketchFFT> SketchFFT::make(std::int64_t size, float sampleRate) {
    if (size < 2 || size > (std::int64_t{1} << 20) || !std::has_single_bit(std::uint64_t(size)))
        return nullptr;
    return std::unique_ptr<SketchFFT>(new SketchFFT(size, sampleRate, std::countr_zero(std::uint64_t(size))));
}

SketchFFT::SketchFFT(std::int64_t n, float rate, int order)
    : size(n), sampleRate(rate), halfSize(n / 2), log2Size(order), work_(std::size_t(n)) {
    // Orders below 3 transform without tables.
    if (order >= 3) sigpro::sp_fft_init(&setup_, order);
}

SketchFFT::~SketchFFT() {
    sigpro::sp_fft_destroy(&setup_);
}

void SketchFFT::fftForward(std::span<const float> samples) {
    if (std::int64_t(samples.size()) != size) return;
    std::copy(samples.begin(), samples.end(), work_.begin());
    if (windowType != SketchFFTWindowType::none) {
        if (window_.empty() || windowMade_ != windowType) {
            // Periodic windows; the Hann window is scaled to a mean square of 1.
            window_.resize(std::size_t(size));
            const double step = 2.0 * std::numbers::pi / double(size);
            for (std::size_t i = 0; i < window_.size(); ++i)
                window_[i] = windowType == SketchFFTWindowType::hanning
                                 ? float(std::sqrt(2.0 / 3.0) * (1.0 - std::cos(step * double(i))))
                                 : float(0.54 - 0.46 * std::cos(step * double(i)));
            windowMade_ = windowType;
        }
        std::transform(work_.begin(), work_.end(), window_.begin(), work_.begin(), std::multiplies<>());
    }
    sigpro::sp_fftr(&setup_, work_.data(), int(size));
    // The packed real transform this object stands by yields twice each bin of the discrete transform,
    // so its powers are four times those of the plain sums.
    magnitudes.assign(std::size_t(halfSize), 0.0f);
    for (std::size_t k = 0; k < magnitudes.size(); ++k)
        magnitudes[k] = 4.0f * (work_[2 * k] * work_[2 * k] + work_[2 * k + 1] * work_[2 * k + 1]);
    hasPerformedFFT = true;
}

void SketchFFT::calculateLinearBands(float minFrequency, float maxFrequency, std::int64_t bands) {
    if (!hasPerformedFFT || bands <= 0 || !(minFrequency >= 0.0f) || !(minFrequency <= maxFrequency)) return;
    const auto m = std::int64_t(magnitudes.size());
    const float nyquist = sampleRate * 0.5f;
    numberOfBands = bands;
    bandMagnitudes.emplace(std::size_t(bands), 0.0f);
    bandFrequencies.emplace(std::size_t(bands), 0.0f);
    // A minimum at the Nyquist frequency would name the bin past the last.
    const auto lo = std::min(std::int64_t(minFrequency * float(m) / nyquist), m - 1);
    const auto hi = std::int64_t(std::min(maxFrequency, nyquist) * float(m) / nyquist);
    const float width = float(hi - lo) / float(bands);
    for (std::int64_t i = 0; i < bands; ++i) {
        const auto start = std::int64_t(std::floor(float(i) * width)) + lo;
        const auto end = std::int64_t(std::floor(float(i + 1) * width)) + lo;
        (*bandMagnitudes)[std::size_t(i)] =
            start == end ? magnitudes[std::size_t(start)]
                         : std::accumulate(magnitudes.begin() + start, magnitudes.begin() + end, 0.0f) /
                               float(end - start);
        (*bandFrequencies)[std::size_t(i)] = (float(end + start) * nyquist / float(m)) / 2.0f;
    }
    bandMinFreq = bandFrequencies->front();
    bandMaxFreq = bandFrequencies->back();
}

} // namespace wavesketch
