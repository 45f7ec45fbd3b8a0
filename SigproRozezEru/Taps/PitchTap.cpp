#include "SigproRozezEru/Taps/PitchTap.h"

#include "Sigpro/modules/PitchTracker.h"
#include "platform/dispatch/MainQueue.h"

#include <algorithm>

namespace rozezeru {

namespace {
constexpr std::uint32_t trackerHopSize = 4096;
constexpr std::uint32_t trackerPeakCount = 20;
} // namespace

PitchTap::PitchTap(std::shared_ptr<Node> input, std::uint32_t bufferSize, Handler handler)
    : BaseTap(std::move(input), bufferSize, platform::mainQueue()), handler_(std::move(handler)) {}

PitchTap::~PitchTap() {
    for (sigpro::PitchTracker* tracker : trackers_)
        sigpro::rzPitchTrackerDestroy(tracker);
}

float PitchTap::amplitude() const {
    if (lastChannels_ == 0) return 0.0f;
    float sum = 0.0f;
    for (std::size_t c = 0; c < lastChannels_; ++c)
        sum += amp_[c];
    return sum / float(lastChannels_);
}

void PitchTap::stop() {
    BaseTap::stop();
    std::fill(pitch_.begin(), pitch_.end(), 0.0f);
}

void PitchTap::handleBuffer(const Buffer& buffer, const platform::AudioTime&) {
    const float* const* channels = buffer->floatChannelData();
    if (!channels || buffer->format().isInterleaved()) return;
    const std::size_t channelCount = buffer->format().channelCount();
    const std::uint32_t frames = buffer->frameLength();
    while (trackers_.size() < channelCount) {
        // The buffer's own rate: the process-wide one may not be the rate this node runs at.
        sigpro::PitchTracker* tracker = sigpro::rzPitchTrackerCreate(
            std::int32_t(std::uint32_t(buffer->format().sampleRate())), trackerHopSize, trackerPeakCount);
        if (!tracker) return;
        trackers_.push_back(tracker);
    }
    while (amp_.size() < channelCount) {
        amp_.push_back(0.0f);
        pitch_.push_back(0.0f);
    }
    for (std::size_t c = 0; c < channelCount; ++c) {
        sigpro::rzPitchTrackerAnalyze(trackers_[c], channels[c], frames);
        float amplitude = 0.0f, pitch = 0.0f;
        sigpro::rzPitchTrackerGetAmplitudeAndPitch(trackers_[c], &amplitude, &pitch);
        amp_[c] = amplitude;
        pitch_[c] = pitch;
    }
    lastChannels_ = channelCount;
    if (handler_) handler_(pitch_, amp_);
}

} // namespace rozezeru
