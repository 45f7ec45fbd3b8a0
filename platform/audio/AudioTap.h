#pragma once
// Taps on a node's output busses (stands in for the platform's bus taps). The render thread copies
// each rendered bus into a preallocated lock-free ring and never waits; the process's tap thread
// cuts each stream into buffers of the requested size and calls the tap's block with each of them,
// in order, with the time of its first frame. install() and remove() may be called from any thread but
// the render thread, remove() also from inside the tap's own block; after remove() returns the block
// never runs again.

#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioTime.h"
#include "platform/audio/PcmBuffer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

using AudioTapBlock = std::function<void(std::shared_ptr<PcmBuffer> buffer, const AudioTime& when)>;

class AudioNodeTaps {
public:
    // Busses at or beyond this cannot be tapped.
    static constexpr std::uint32_t maxBusses = 8;

    AudioNodeTaps() = default;
    ~AudioNodeTaps();
    AudioNodeTaps(const AudioNodeTaps&) = delete;
    AudioNodeTaps& operator=(const AudioNodeTaps&) = delete;

    // False, installing nothing, when the bus already carries a tap, the bus is out of range, the
    // buffer size is 0 or the format has no channels. Buffers come in `format`'s channel count and
    // rate as standard float.
    bool install(std::uint32_t bus, std::uint32_t bufferSize, const AudioFormat& format, AudioTapBlock block);
    // Nothing when the bus carries no tap.
    void remove(std::uint32_t bus);
    bool isInstalled(std::uint32_t bus) const;
    // Frames the render thread had to drop because a tap thread fell behind.
    std::uint64_t droppedFrames(std::uint32_t bus) const;
    // Buffers the tap thread has handed on (or found no block for after removal began).
    std::uint64_t deliveredBuffers(std::uint32_t bus) const;

    // Render thread: the rendered frames of a bus and the time of the cycle.
    void feed(std::uint32_t bus, const AudioBufferList& list, std::uint32_t frames,
              const AudioTime& when) noexcept;

    struct Stream;

private:
    std::array<std::atomic<Stream*>, maxBusses> live_{};
    std::atomic<int> feeding_{0};
    mutable std::mutex mutex_;
    std::array<std::shared_ptr<Stream>, maxBusses> owners_;
};

} // namespace platform
