#include "RozezEru/Taps/AmplitudeTap.h"

#include "RozezEru/Nodes/Node.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {

AmplitudeTap::AmplitudeTap(std::shared_ptr<Node> input, std::uint32_t bufferSize, StereoMode stereoMode,
                           AnalysisMode analysisMode, platform::DispatchQueue& callbackQueue, Handler handler)
    : BaseTap(input, bufferSize, callbackQueue),
      channelCount_(input ? std::int64_t(input->outputFormat().channelCount()) : 0),
      amp_(std::make_unique<std::atomic<float>[]>(std::size_t(channelCount_))), stereoMode_(stereoMode),
      analysisMode_(analysisMode), handler_(std::move(handler)) {
    for (std::int64_t c = 0; c < channelCount_; ++c)
        amp_[std::size_t(c)] = 0.0f;
}

std::vector<float> AmplitudeTap::amp() const {
    std::vector<float> values(static_cast<std::size_t>(channelCount_));
    for (std::size_t c = 0; c < values.size(); ++c)
        values[c] = amp_[c].load();
    return values;
}

float AmplitudeTap::level(std::int64_t channel) const {
    if (channelCount_ == 0) return 0.0f;
    return amp_[std::size_t(std::min(channel, channelCount_ - 1))].load();
}

float AmplitudeTap::amplitude() const {
    if (channelCount_ == 0) return 0.0f;
    float sum = 0.0f;
    for (std::int64_t c = 0; c < channelCount_; ++c)
        sum += amp_[std::size_t(c)].load();
    return sum / float(channelCount_);
}

float AmplitudeTap::leftChannelAmplitude() const {
    return level(0);
}

float AmplitudeTap::rightChannelAmplitude() const {
    return level(1);
}

void AmplitudeTap::stop() {
    BaseTap::stop();
    for (std::int64_t c = 0; c < channelCount_; ++c)
        amp_[std::size_t(c)] = 0.0f;
}

void AmplitudeTap::handleBuffer(const Buffer& buffer, const platform::AudioTime&) {
    const float* const* data = buffer->floatChannelData();
    if (!data || buffer->format().isInterleaved()) return;
    // A buffer wider than the node's format at construction is measured on the channels we keep.
    const std::int64_t channels = std::min<std::int64_t>(buffer->format().channelCount(), channelCount_);
    const std::uint32_t frames = buffer->frameLength();
    const bool peak = analysisMode() == AnalysisMode::peak;
    for (std::int64_t c = 0; c < channels; ++c) {
        const float* samples = data[c];
        float value = 0.0f;
        if (peak) {
            for (std::uint32_t i = 0; i < frames; ++i)
                value = std::max(value, std::fabs(samples[i]));
        } else if (frames > 0) {
            double sum = 0.0;
            for (std::uint32_t i = 0; i < frames; ++i)
                sum += double(samples[i]) * samples[i];
            value = float(std::sqrt(sum / frames));
        }
        amp_[std::size_t(c)] = value;
    }
    if (!handler_) return;
    switch (stereoMode()) {
    case StereoMode::left:
        handler_(leftChannelAmplitude());
        break;
    case StereoMode::right:
        handler_(rightChannelAmplitude());
        break;
    case StereoMode::center:
        handler_(amplitude());
        break;
    }
}

} // namespace rozezeru
