#pragma once
// The hand-over of captured audio from a device's capture thread to the render thread: a fixed ring of
// non-interleaved float frames with one writer and one reader, neither of which ever waits, locks or
// allocates. Made on the main thread; write() belongs to the capture thread, read() to the render
// thread, the counters to anyone.

#include "platform/audio/AudioFrameRing.h"

#include <atomic>
#include <cstdint>

namespace platform {

class CaptureRing {
public:
    // Allocates `channels` × `capacity` floats. The reader waits, hearing silence, until `lead` frames
    // are waiting, and again after an underrun: a capture thread that delivers a period at a time then
    // stays ahead of the render thread instead of racing it at every period.
    CaptureRing(std::uint32_t channels, std::uint32_t capacity, std::uint32_t lead = 0);

    std::uint32_t channelCount() const { return std::uint32_t(storage_.channels()); }
    // Frames waiting to be read.
    std::uint32_t available() const;

    // Capture thread: appends `frames` frames, one pointer per channel for the first `channelCount`
    // channels (null or missing ones are silent). Frames that find no room are dropped and counted:
    // the render thread fell behind, and old input must not pile up as latency.
    void write(const float* const* channels, std::uint32_t channelCount, std::uint32_t frames);

    // Render thread: moves `frames` frames out; `destinations[c]` receives channel c (null drops it).
    // Frames the ring lacks are silence at the end and count as an underrun, once the first lead has
    // come in. Returns the frames read.
    std::uint32_t read(float* const* destinations, std::uint32_t frames);

    // Reads that came up short, and the frames they lacked.
    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }
    std::uint64_t missingFrames() const { return missingFrames_.load(std::memory_order_relaxed); }
    // Captured frames dropped for want of room.
    std::uint64_t droppedFrames() const { return droppedFrames_.load(std::memory_order_relaxed); }

private:
    std::uint32_t capacity_;
    std::uint32_t lead_;
    // Reader's own: whether the lead has come in, and whether it ever had.
    bool flowing_ = false;
    bool started_ = false;
    // Only its positioned copies: the positions below are what the two threads share.
    AudioFrameRing storage_;
    // Frames written and read since construction; each is stored only by its own side.
    alignas(64) std::atomic<std::uint64_t> writePosition_{0};
    alignas(64) std::atomic<std::uint64_t> readPosition_{0};
    alignas(64) std::atomic<std::uint64_t> underruns_{0};
    std::atomic<std::uint64_t> missingFrames_{0};
    std::atomic<std::uint64_t> droppedFrames_{0};
};

} // namespace platform
