// The crossfades between the stretched sound and the input passed through, lined up by
// cross-correlation so that the fade does not cancel itself out. Render thread.

#include "platform/audio/TimePitchKernel.h"

namespace platform {

std::int64_t TimePitchKernel::bestLag(const std::vector<std::vector<float>>& fixed,
                                      const std::vector<std::vector<float>>& sliding, std::int64_t frames,
                                      std::int64_t lags, std::int64_t preferred) const {
    auto score = [&](std::int64_t lag) {
        double dot = 0.0, energy = 0.0;
        for (std::size_t c = 0; c < channels_; ++c)
            for (std::int64_t k = 0; k < frames; ++k) {
                const double x = sliding[c][std::size_t(lag + k)];
                dot += x * fixed[c][std::size_t(k)];
                energy += x * x;
            }
        return energy > 0.0 ? dot / std::sqrt(energy) : 0.0;
    };
    std::int64_t best = preferred;
    double bestScore = score(preferred);
    for (std::int64_t lag = 0; lag <= lags; ++lag) {
        const double candidate = score(lag);
        if (candidate > bestScore * 1.000001 + 1e-12) {
            best = lag;
            bestScore = candidate;
        }
    }
    return best;
}

std::array<float*, AudioFormat::maxChannels>
TimePitchKernel::pointers(std::vector<std::vector<float>>& buffers) const {
    std::array<float*, AudioFormat::maxChannels> to{};
    for (std::size_t c = 0; c < channels_; ++c)
        to[c] = buffers[c].data();
    return to;
}

std::int64_t TimePitchKernel::alignedWithStretched(std::int64_t position) {
    const auto n = std::int64_t(output_.peek(pointers(alignStretched_).data(), 0, timePitchCrossfade));
    const std::int64_t from = std::max(position - timePitchAlignWindow, input_.begin());
    const std::int64_t to = std::min(position + timePitchAlignWindow + n, input_.end());
    if (n == 0 || position < from || position + n > to) return position;
    input_.copy(from, std::size_t(to - from), pointers(alignInput_).data(), 0);
    return from + bestLag(alignStretched_, alignInput_, n, to - from - n, position - from);
}

void TimePitchKernel::alignStretchedWith(std::int64_t position) {
    const std::int64_t n = timePitchCrossfade;
    if (!input_.holds(position) || position + n > input_.end()) return;
    input_.copy(position, std::size_t(n), pointers(alignInput_).data(), 0);
    const auto stretched = std::int64_t(
        output_.peek(pointers(alignStretched_).data(), 0, std::size_t(n + timePitchAlignWindow / 2)));
    if (stretched < n) return;
    const std::int64_t lag = bestLag(alignInput_, alignStretched_, n, stretched - n, 0);
    output_.skip(std::size_t(lag));
    advance(std::size_t(lag));
}

void TimePitchKernel::blendOutStretched(float* const* out, std::uint32_t buffers, std::size_t offset,
                                        std::size_t frames) {
    if (fadeLeft_ == 0 || !fadeFromStretcher_) return;
    const std::size_t blended = std::min(frames, fadeLeft_);
    std::array<float*, AudioFormat::maxChannels> fading{};
    for (std::size_t c = 0; c < channels_; ++c)
        fading[c] = fading_[c].data();
    const std::size_t stretched = output_.read(fading.data(), 0, blended);
    advance(stretched);
    for (std::size_t c = 0; c < std::min<std::size_t>(buffers, channels_); ++c)
        for (std::size_t k = 0; k < blended; ++k) {
            const float in = timePitchFadeIn(timePitchCrossfade - fadeLeft_ + k);
            const float old = k < stretched ? fading_[c][k] : 0.0f;
            out[c][offset + k] = in * out[c][offset + k] + (1.0f - in) * old;
        }
    fadeLeft_ -= blended;
}

} // namespace platform
