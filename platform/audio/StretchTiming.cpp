#include "platform/audio/StretchTiming.h"

namespace platform {

void StretchTimingCell::publish(const StretchTiming& timing) {
    // Odd while the fields change; the release stores carry the odd count to a reader that sees one.
    const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
    sequence_.store(sequence + 1, std::memory_order_relaxed);
    valid_.store(true, std::memory_order_release);
    sampleTime_.store(timing.sampleTime, std::memory_order_release);
    inputFrames_.store(timing.inputFrames, std::memory_order_release);
    outputFrames_.store(timing.outputFrames, std::memory_order_release);
    heardInputFrame_.store(timing.heardInputFrame, std::memory_order_release);
    sampleRate_.store(timing.sampleRate, std::memory_order_release);
    sequence_.store(sequence + 2, std::memory_order_release);
}

void StretchTimingCell::clear() {
    const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
    sequence_.store(sequence + 1, std::memory_order_relaxed);
    valid_.store(false, std::memory_order_release);
    sequence_.store(sequence + 2, std::memory_order_release);
}

std::optional<StretchTiming> StretchTimingCell::read() const {
    for (;;) {
        const std::uint32_t before = sequence_.load(std::memory_order_acquire);
        if (before & 1) continue;
        const bool valid = valid_.load(std::memory_order_acquire);
        StretchTiming timing;
        timing.sampleTime = sampleTime_.load(std::memory_order_acquire);
        timing.inputFrames = inputFrames_.load(std::memory_order_acquire);
        timing.outputFrames = outputFrames_.load(std::memory_order_acquire);
        timing.heardInputFrame = heardInputFrame_.load(std::memory_order_acquire);
        timing.sampleRate = sampleRate_.load(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) != before) continue;
        if (!valid) return std::nullopt;
        return timing;
    }
}

} // namespace platform
