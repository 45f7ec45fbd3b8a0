#include "platform/audio/CaptureRing.h"

#include <algorithm>
#include <cstring>

namespace platform {

CaptureRing::CaptureRing(std::uint32_t channels, std::uint32_t capacity, std::uint32_t lead)
    : capacity_(std::max<std::uint32_t>(capacity, 1)), lead_(std::min(lead, capacity_)) {
    storage_.reset(channels, capacity_);
}

std::uint32_t CaptureRing::available() const {
    return std::uint32_t(writePosition_.load(std::memory_order_acquire) -
                         readPosition_.load(std::memory_order_acquire));
}

void CaptureRing::write(const float* const* channels, std::uint32_t channelCount, std::uint32_t frames) {
    const std::uint64_t written = writePosition_.load(std::memory_order_relaxed);
    const std::uint64_t room = capacity_ - (written - readPosition_.load(std::memory_order_acquire));
    const std::uint32_t taken = std::uint32_t(std::min<std::uint64_t>(frames, room));
    if (taken < frames) droppedFrames_.fetch_add(frames - taken, std::memory_order_relaxed);
    storage_.store(std::size_t(written % capacity_), channels, channelCount, taken);
    writePosition_.store(written + taken, std::memory_order_release);
}

std::uint32_t CaptureRing::read(float* const* destinations, std::uint32_t frames) {
    const std::uint64_t read = readPosition_.load(std::memory_order_relaxed);
    const std::uint64_t waiting = writePosition_.load(std::memory_order_acquire) - read;
    if (!flowing_ && waiting >= lead_) flowing_ = started_ = true;
    const std::uint32_t taken = flowing_ ? std::uint32_t(std::min<std::uint64_t>(frames, waiting)) : 0;
    storage_.load(std::size_t(read % capacity_), destinations, 0, taken);
    readPosition_.store(read + taken, std::memory_order_release);
    if (taken < frames) {
        for (std::uint32_t c = 0; c < channelCount(); ++c)
            if (destinations[c]) std::memset(destinations[c] + taken, 0, (frames - taken) * sizeof(float));
        flowing_ = false;
        if (started_) {
            underruns_.fetch_add(1, std::memory_order_relaxed);
            missingFrames_.fetch_add(frames - taken, std::memory_order_relaxed);
        }
    }
    return taken;
}

} // namespace platform
