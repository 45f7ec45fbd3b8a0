#include "RozezEru/Taps/FFTTap.h"

#include "Sigpro/modules/sp_fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rozezeru {

double rawValue(FFTValidBinCount count) {
    return double(int(count));
}

std::optional<FFTValidBinCount> fftValidBinCount(double raw) {
    for (int v = 2; v <= 8192; v *= 2)
        if (raw == double(v)) return FFTValidBinCount(v);
    return std::nullopt;
}

FFTSetupForBinCount::FFTSetupForBinCount(FFTValidBinCount count)
    : log2n(std::uint64_t(std::lround(std::log2(rawValue(count))))), binCount(std::int64_t(count)) {}

FFTTap::FFTTap(std::shared_ptr<Node> input, std::uint32_t bufferSize,
               std::optional<FFTValidBinCount> binCount, platform::DispatchQueue& callbackQueue,
               Handler handler)
    : BaseTap(std::move(input), bufferSize, callbackQueue),
      fftData_(binCount ? std::size_t(*binCount) : std::size_t(bufferSize), 0.0f),
      handler_(std::move(handler)) {
    if (binCount) setup_.emplace(*binCount);
}

std::vector<float> FFTTap::fftData() const {
    std::lock_guard lock(mutex_);
    return fftData_;
}
void FFTTap::setFftData(std::vector<float> data) {
    std::lock_guard lock(mutex_);
    fftData_ = std::move(data);
}
bool FFTTap::isNormalized() const {
    std::lock_guard lock(mutex_);
    return isNormalized_;
}
void FFTTap::setIsNormalized(bool normalized) {
    std::lock_guard lock(mutex_);
    isNormalized_ = normalized;
}
std::uint32_t FFTTap::zeroPaddingFactor() const {
    std::lock_guard lock(mutex_);
    return zeroPaddingFactor_;
}
void FFTTap::setZeroPaddingFactor(std::uint32_t factor) {
    std::lock_guard lock(mutex_);
    zeroPaddingFactor_ = factor;
}
std::optional<FFTSetupForBinCount> FFTTap::fftSetupForBinCount() const {
    return setup_;
}

std::uint32_t FFTTap::fftLog2n(std::uint32_t frameCount, const std::optional<FFTSetupForBinCount>& setup) {
    if (setup && setup->binCount <= std::int64_t(frameCount)) return std::uint32_t(setup->log2n + 1);
    return frameCount == 0 ? 0 : std::uint32_t(std::lround(std::log2(double(frameCount))));
}

std::vector<float> FFTTap::magnitudeSpectrum(const platform::PcmBuffer& buffer, bool isNormalized,
                                             std::uint32_t zeroPaddingFactor,
                                             const std::optional<FFTSetupForBinCount>& setup) {
    const float* const* channels = buffer.floatChannelData();
    const std::uint32_t frames = buffer.frameLength();
    if (!channels || frames == 0 || buffer.format().isInterleaved()) return {};
    const std::uint64_t total = std::uint64_t(frames) * (std::uint64_t(zeroPaddingFactor) + 1);
    const std::uint32_t log2n = fftLog2n(std::uint32_t(std::min<std::uint64_t>(total, 1u << 30)), setup);
    if (log2n > 30) return {};
    const std::size_t n = std::size_t(1) << log2n;
    const std::size_t half = n / 2;
    if (half == 0) return {};
    std::vector<float> input(n, 0.0f);
    const std::size_t windowed = std::min<std::size_t>(frames, n);
    const float* samples = channels[0];
    for (std::size_t i = 0; i < windowed; ++i)
        input[i] = samples[i] * float(0.8165 * (1.0 - std::cos(2.0 * std::numbers::pi * double(i) / frames)));

    sigpro::sp_fft fft{};
    if (log2n >= 3) sigpro::sp_fft_init(&fft, int(log2n));
    sigpro::sp_fftr(&fft, input.data(), int(n));
    sigpro::sp_fft_destroy(&fft);

    std::vector<float> spectrum(half, 0.0f);
    const double scale = (4.0 / double(n)) * (4.0 / double(n));
    spectrum[0] = float(scale * (double(input[0]) * input[0] + double(input[1]) * input[1]));
    for (std::size_t k = 1; k < half; ++k) {
        const double re = input[2 * k], im = input[2 * k + 1];
        spectrum[k] = float(scale * (re * re + im * im));
    }
    if (isNormalized) {
        const float largest = *std::max_element(spectrum.begin(), spectrum.end());
        // A silent buffer stays all zeros rather than turning into NaN.
        if (largest > 0.0f && std::isfinite(largest))
            for (float& v : spectrum)
                v *= 1.0f / largest;
    }
    return spectrum;
}

void FFTTap::stop() {
    BaseTap::stop();
    std::lock_guard lock(mutex_);
    std::fill(fftData_.begin(), fftData_.end(), 0.0f);
}

void FFTTap::handleBuffer(const Buffer& buffer, const platform::AudioTime&) {
    if (!buffer->floatChannelData() || buffer->frameLength() == 0) return;
    bool normalized;
    std::uint32_t padding;
    {
        std::lock_guard lock(mutex_);
        normalized = isNormalized_;
        padding = zeroPaddingFactor_;
    }
    std::vector<float> spectrum = magnitudeSpectrum(*buffer, normalized, padding, setup_);
    {
        std::lock_guard lock(mutex_);
        fftData_ = spectrum;
    }
    if (handler_) handler_(spectrum);
}

} // namespace rozezeru
