#include "RozezEru/Taps/RawTaps.h"

#include <algorithm>

namespace rozezeru {

RawBufferTap::RawBufferTap(std::shared_ptr<Node> input, std::uint32_t bufferSize,
                           platform::DispatchQueue& callbackQueue, Handler handler)
    : BaseTap(std::move(input), bufferSize, callbackQueue), handler_(std::move(handler)) {}

void RawBufferTap::handleBuffer(const Buffer& buffer, const platform::AudioTime& when) {
    if (handler_) handler_(buffer, when);
}

RawDataTap::RawDataTap(std::shared_ptr<Node> input, std::uint32_t bufferSize,
                       platform::DispatchQueue& callbackQueue, Handler handler)
    : BaseTap(std::move(input), bufferSize, callbackQueue), data_(bufferSize, 0.0f),
      handler_(std::move(handler)) {}

std::vector<float> RawDataTap::data() const {
    std::lock_guard lock(mutex_);
    return data_;
}

void RawDataTap::setData(std::vector<float> data) {
    std::lock_guard lock(mutex_);
    data_ = std::move(data);
}

void RawDataTap::stop() {
    BaseTap::stop();
    std::lock_guard lock(mutex_);
    std::fill(data_.begin(), data_.end(), 0.0f);
}

void RawDataTap::handleBuffer(const Buffer& buffer, const platform::AudioTime&) {
    const float* const* channels = buffer->floatChannelData();
    if (!channels || buffer->format().isInterleaved()) return;
    // The last bufferSize delivered frames; what lies past frameLength was never delivered.
    const std::uint32_t length = buffer->frameLength();
    const std::uint32_t start = length > bufferSize() ? length - bufferSize() : 0;
    std::vector<float> samples(bufferSize(), 0.0f);
    std::copy(channels[0] + start, channels[0] + length, samples.begin());
    {
        std::lock_guard lock(mutex_);
        data_ = samples;
    }
    if (handler_) handler_(samples);
}

} // namespace rozezeru
